// The two ways the similar-artists task fills its playlist.
#pragma once

namespace chartloom {

enum class SimilarMode : int { shuffle = 0, charts = 1 };

}  // namespace chartloom
