// A std::string behind the string receiver: how either side takes a text the other hands back.
// Header-only, so each side compiles its own copy and only the receiver crosses.
#pragma once

#include <cstring>
#include <string>

#include "host/string_receiver.h"

class string_value final : public string_receiver {
public:
    void set(const char* text, size_t length = none) override {
        if (!text) {
            value.clear();
            return;
        }
        value.assign(text, length == none ? std::strlen(text) : length);
    }
    std::string value;
};
