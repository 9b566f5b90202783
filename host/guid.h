// GUIDs as the host and plug-ins exchange them. Each is written once as its brace text and
// parsed at compile time, so a malformed one fails the build instead of misrouting a lookup.
#pragma once

#include <cstdint>
#include <cstring>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i])
                return false;
        }
        return true;
    }
    friend constexpr bool operator<(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1)
            return a.Data1 < b.Data1;
        if (a.Data2 != b.Data2)
            return a.Data2 < b.Data2;
        if (a.Data3 != b.Data3)
            return a.Data3 < b.Data3;
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i])
                return a.Data4[i] < b.Data4[i];
        }
        return false;
    }
};

namespace guid_detail {
// Not constexpr-evaluable on purpose: reaching it during constant evaluation is a compile error.
inline void malformed_guid_text() {}

consteval unsigned hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    malformed_guid_text();
    return 0;
}

consteval uint64_t hexRun(const char* text, int from, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 16 + hexDigit(text[from + i]);
    return value;
}
}  // namespace guid_detail

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" -> GUID, at compile time only.
consteval GUID parseGuid(const char (&text)[39]) {
    using namespace guid_detail;
    if (text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-' ||
        text[37] != '}') {
        malformed_guid_text();
    }
    GUID g{};
    g.Data1 = static_cast<uint32_t>(hexRun(text, 1, 8));
    g.Data2 = static_cast<uint16_t>(hexRun(text, 10, 4));
    g.Data3 = static_cast<uint16_t>(hexRun(text, 15, 4));
    g.Data4[0] = static_cast<uint8_t>(hexRun(text, 20, 2));
    g.Data4[1] = static_cast<uint8_t>(hexRun(text, 22, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = static_cast<uint8_t>(hexRun(text, 25 + 2 * i, 2));
    return g;
}

inline constexpr GUID null_guid{};
