// One receiver of console lines; every registered receiver gets every line.
#pragma once

#include <cstddef>

#include "host/service.h"

class ConsoleReceiver : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{90DF5270-65BB-4DBA-BAF5-86BE9E59DC20}");

    // [any thread] One line, UTF-8, `length` none = up to the zero.
    virtual void print(const char* text, size_t length) = 0;

protected:
    ~ConsoleReceiver() = default;
};
