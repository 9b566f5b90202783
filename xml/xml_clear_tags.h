// Delimiters of the sections kept verbatim. The opening one matches in any ASCII case, the
// closing one only exactly as written.
#pragma once

#include <cstddef>

namespace chartloom::xml {

struct ClearTag {
    const char16_t* open;
    size_t openLength;
    const char16_t* close;
    size_t closeLength;
};

inline constexpr ClearTag kClearTags[] = {
    {u"<![CDATA[", 9, u"]]>", 3}, {u"<PRE>", 5, u"</PRE>", 6}, {u"<Script>", 8, u"</Script>", 9},
    {u"<!--", 4, u"-->", 3},      {u"<!DOCTYPE", 9, u">", 1},
};
inline constexpr int kClearTagCount = sizeof(kClearTags) / sizeof(kClearTags[0]);

}  // namespace chartloom::xml
