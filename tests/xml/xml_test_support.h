// Helpers shared by the XML reader tests.
#pragma once

#include <string>
#include <vector>

#include "xml/xml_element.h"
#include "xml/xml_parser.h"

namespace chartloom::testing {

// Readable form of a UTF-16 string: ASCII as is, anything else as \uXXXX, nullptr as "(null)".
std::string show(const char16_t* text);

// An element's texts, clear sections ("<!--: text") and attributes ("name=value" or "name").
std::vector<std::string> textsOf(const XmlElement& element);
std::vector<std::string> clearsOf(const XmlElement& element);
std::vector<std::string> attributesOf(const XmlElement& element);
// Names of all children, in order.
std::vector<std::string> childNamesOf(const XmlElement& element);

// The error code a parse of `text` ends with; the tree, if any, is released.
xml::XmlError parseError(const char16_t* text);

}  // namespace chartloom::testing
