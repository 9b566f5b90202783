// A std::string behind the host's string receiver, for texts the host hands back.
#pragma once

#include <cstring>
#include <string>

#include "host/string_receiver.h"

namespace chartloom {

class StringValue final : public string_receiver {
public:
    void set(const char* text, size_t length) override {
        if (!text) {
            value.clear();
            return;
        }
        value.assign(text, length == none ? std::strlen(text) : length);
    }
    std::string value;
};

}  // namespace chartloom
