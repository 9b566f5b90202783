#include "toolbase/path_text.h"

#include <algorithm>
#include <cstdio>

#include "host/shared_functions.h"
#include "toolbase/ascii_text.h"

namespace chartloom {
namespace {

// The length of the well-formed UTF-8 character at the start of `s`, or 0.
size_t utf8Length(std::string_view s) {
    unsigned cp = 0;
    return utf8_decode_char(s.data(), s.size(), cp);
}

void appendHex(std::string& out, char prefix, unsigned char c) {
    char buf[5];
    std::snprintf(buf, sizeof buf, prefix == '%' ? "%%%02X" : "\\x%02X", c);
    out += buf;
}

}  // namespace

const char* pathProblem(std::string_view path) {
    for (char c : path) {
        if (c == '\n' || c == '\r')
            return "a line break in a path would split its playlist entry";
        if (c == '\0')
            return "a NUL character in a path would cut it short";
    }
    return nullptr;
}

std::string quotedPath(std::string_view path) {
    std::string out = "\"";
    for (size_t i = 0; i < path.size();) {
        auto c = static_cast<unsigned char>(path[i]);
        size_t n = utf8Length(path.substr(i));
        if (n == 0 || c < 0x20 || c == 0x7F) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else
                appendHex(out, '\\', c);
            ++i;
            continue;
        }
        if (c == '"' || c == '\\')
            out += '\\';
        out.append(path.substr(i, n));
        i += n;
    }
    return out + "\"";
}

std::string displayPath(std::string_view path) {
    bool plain = isUtf8(path) && std::none_of(path.begin(), path.end(), [](char c) {
                     return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
                 });
    return plain ? std::string(path) : quotedPath(path);
}

bool isUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        size_t n = utf8Length(text.substr(i));
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string percentEncodeRaw(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8Length(bytes.substr(i));
        if (n == 0 || bytes[i] == '%') {
            appendHex(out, '%', static_cast<unsigned char>(bytes[i]));
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

bool percentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int hi = i + 2 < text.size() ? hexDigitValue(text[i + 1]) : -1;
        int lo = hi >= 0 ? hexDigitValue(text[i + 2]) : -1;
        if (lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

}  // namespace chartloom
