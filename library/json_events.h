// A JSON reader that hands each value to a handler as it reads it, without building a tree:
// memory does not grow with the document, and nesting of any depth is read without recursion.
// Strict RFC 8259 (texts must be UTF-8, no comments, no trailing commas), a UTF-8 byte order
// mark allowed before the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace chartloom::library {

// The handler's calls come in document order. A text or key is lent for the call only; the
// handler may move from it. An exception the handler raises ends the reading.
class JsonEvents {
public:
    virtual void null() = 0;
    virtual void boolean(bool value) = 0;
    virtual void integer(int64_t value) = 0;           // a negative integer
    virtual void unsignedInteger(uint64_t value) = 0;  // a non-negative integer
    // A number with a fraction or an exponent, or an integer beyond 64 bits.
    virtual void floating(double value) = 0;
    virtual void string(std::string& value) = 0;
    virtual void key(std::string& name) = 0;
    virtual void startObject() = 0;
    virtual void endObject() = 0;
    virtual void startArray() = 0;
    virtual void endArray() = 0;

protected:
    ~JsonEvents() = default;
};

// Text that is not JSON. `position` counts the bytes read up to and including the one found
// wrong (for a number, up to its end).
struct JsonSyntaxError : std::runtime_error {
    JsonSyntaxError(size_t at, const std::string& why) : std::runtime_error(why), position(at) {}
    size_t position;
};

// Reads one document from `text`. Raises JsonSyntaxError, or what the handler raises.
void readJsonEvents(std::string_view text, JsonEvents& handler);

}  // namespace chartloom::library
