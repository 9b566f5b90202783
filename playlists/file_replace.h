// Replacing a file's contents so that nothing can be lost or redirected on the way.
#pragma once

#include <filesystem>
#include <string>

namespace chartloom::playlists {

// Whole file or nothing: the new text goes to a temporary file created exclusively under an
// unpredictable name beside the target (never through a planted link), is flushed to disk and
// then renamed over the target. A target that is a symbolic link is written through: the
// link's target gets the text, the link stays. The file keeps its permission bits (and, where
// allowed, its owner); a new file gets the usual ones. Raises std::system_error naming the
// target; no temporary file is left behind.
void replaceFileContents(const std::filesystem::path& target, const std::string& text);

// Reads the whole file into `bytes`; false when it does not exist. Raises std::system_error
// naming the file for anything else, a file that is not a regular one included.
bool readWholeFile(const std::filesystem::path& file, std::string& bytes);

}  // namespace chartloom::playlists
