// Replacing a file's contents so that nothing can be lost or redirected on the way.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace chartloom::playlists {

// The varying part of a temporary file's name: random, unless a test needs to know it.
using NameSuffixes = std::function<std::string()>;
std::string randomNameSuffix();

// Whole file or nothing: the new text goes to a temporary file created exclusively under an
// unpredictable name beside the target (never through a planted link: a name that exists is
// skipped for the next), is flushed to disk and then renamed over the target. A target that is
// a symbolic link is written through (the link's target gets the text, the link stays) when
// the link and what it names both belong to the user running this; otherwise nothing is
// written. The file keeps its permission bits (and, where allowed, its owner); a new file gets
// the usual ones. Raises std::system_error naming the target (and, for a refused link, what it
// names); no temporary file is left behind.
void replaceFileContents(const std::filesystem::path& target, const std::string& text,
                         const NameSuffixes& suffixes = randomNameSuffix);

// Reads the whole file into `bytes`; false when it does not exist. Raises std::system_error
// naming the file for anything else, a file that is not a regular one included.
bool readWholeFile(const std::filesystem::path& file, std::string& bytes);

}  // namespace chartloom::playlists
