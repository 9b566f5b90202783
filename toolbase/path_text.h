// Track paths as they travel through playlists and messages. [any thread]
#pragma once

#include <string>
#include <string_view>

namespace chartloom {

// A path that one playlist line could not hold (a line break or a NUL in it) answers why;
// a path that can be stored answers nothing.
const char* pathProblem(std::string_view path);

// `path` in double quotes, fit for a message: control characters, quotes, backslashes and
// bytes that are not UTF-8 are written as escapes.
std::string quotedPath(std::string_view path);

// `path` as it is when it is plain UTF-8 without control characters, else quotedPath(path).
std::string displayPath(std::string_view path);

// Whether `text` is valid UTF-8.
bool isUtf8(std::string_view text);

// Non-UTF-8 bytes and '%' as %XX, the rest as it is: a text that JSON can carry and that
// turns back into the same bytes.
std::string percentEncodeRaw(std::string_view bytes);
// The reverse; false when `text` holds a '%' not followed by two hex digits.
bool percentDecode(std::string_view text, std::string& out);

}  // namespace chartloom
