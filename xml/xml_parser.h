// Builds the node tree of a whole document.
#pragma once

#include "xml/xml_node.h"

namespace chartloom::xml {

enum class XmlError {
    None = 0,
    UnmatchedEndTagWarning = 1,  // an element was closed implicitly; the tree is kept
    MissingStartTagName = 4,
    MissingEndTagName = 5,
    UnmatchedEndTag = 7,
    UnmatchedClearTagEnd = 8,
    UnexpectedToken = 9,
    UnknownCharacterEntity = 14,
    OutOfMemory = 15,  // storage ran out; what was built is released
};

struct ParseResult {
    // The nameless document node holding one use, or nullptr when the parse failed.
    XmlNode* document;
    XmlError error;
};

// Never throws; a failed parse leaves nothing allocated.
ParseResult parseDocument(const char16_t* text) noexcept;

}  // namespace chartloom::xml
