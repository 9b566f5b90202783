// Node storage shared by the parser and the handles.
#pragma once

#include <cstddef>

namespace chartloom::xml {

struct XmlAttribute {
    const char16_t* name;
    const char16_t* value;  // nullptr for an attribute written without "="
};

struct XmlClear {
    const char16_t* content;
    int tag;  // row of the clear tag table that delimited it
};

// A node is one allocation: the struct, then its arrays, then every string they point to,
// so freeing the node frees all of them.
struct XmlNode {
    const char16_t* name;  // nullptr for the nameless document node
    int childCount;
    int textCount;
    int clearCount;
    int attributeCount;
    bool isDeclaration;
    XmlNode* parent;     // cleared when the parent goes; a list link while destroying
    XmlNode** children;  // each entry holds one use of its child
    const char16_t** texts;
    XmlClear* clears;
    XmlAttribute* attributes;
    int useCount;  // handles plus the parent's entry
};

inline void retainNode(XmlNode* node) noexcept {
    if (node)
        ++node->useCount;
}

// Drops one use; at zero the node and every child nobody else holds are freed, without
// recursion, so any depth is safe.
void releaseNode(XmlNode* node) noexcept;

}  // namespace chartloom::xml
