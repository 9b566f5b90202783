// The events of a JSON reading as one text, for comparing readers: "{k4:name" for a key,
// "s3:abc" for a text, "u7;" "i-7;" for integers, "F" for any other number (its value may round
// differently), "t" "f" "n" for the literals.
#pragma once

#include <string>

#include "library/json_events.h"

namespace chartloom::testing {

struct JsonEventText final : library::JsonEvents {
    std::string out;
    void null() override { out += 'n'; }
    void boolean(bool v) override { out += v ? 't' : 'f'; }
    void integer(int64_t v) override { out += 'i' + std::to_string(v) + ';'; }
    void unsignedInteger(uint64_t v) override { out += 'u' + std::to_string(v) + ';'; }
    void floating(double) override { out += 'F'; }
    void string(std::string& v) override { out += 's' + std::to_string(v.size()) + ':' + v; }
    void key(std::string& v) override { out += 'k' + std::to_string(v.size()) + ':' + v; }
    void startObject() override { out += '{'; }
    void endObject() override { out += '}'; }
    void startArray() override { out += '['; }
    void endArray() override { out += ']'; }
};

}  // namespace chartloom::testing
