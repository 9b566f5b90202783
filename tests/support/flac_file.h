// Tiny real FLAC files with Vorbis comments, for MPD in tests and benchmarks. The audio is
// silence that the `flac` program encodes once per length; the tags are written here, so that
// thousands of files cost little more than copying.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace chartloom::testing {

// ("ARTIST", "Blur"): a field may come more than once.
using FlacTags = std::vector<std::pair<std::string, std::string>>;

// Writes `file` (making its folders): `length` of silence, 8 kHz mono, with `tags`. Raises
// std::runtime_error when `flac` cannot make the audio.
void writeFlac(const std::filesystem::path& file, const FlacTags& tags,
               std::chrono::milliseconds length = std::chrono::seconds(60));

}  // namespace chartloom::testing
