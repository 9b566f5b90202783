#include "tests/xml/xml_test_support.h"

#include <cstdio>

namespace chartloom::testing {

std::string show(const char16_t* text) {
    if (!text)
        return "(null)";
    std::string out;
    for (; *text; ++text) {
        if (*text >= 0x20 && *text < 0x7F) {
            out += static_cast<char>(*text);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(*text));
            out += buffer;
        }
    }
    return out;
}

std::vector<std::string> textsOf(const XmlElement& element) {
    std::vector<std::string> out;
    for (int i = 0; i < element.textCount(); ++i)
        out.push_back(show(element.textAt(i)));
    return out;
}

std::vector<std::string> clearsOf(const XmlElement& element) {
    std::vector<std::string> out;
    for (int i = 0; i < element.clearCount(); ++i) {
        out.push_back(show(element.clearOpenDelimiterAt(i)) + ": " + show(element.clearAt(i)));
    }
    return out;
}

std::vector<std::string> attributesOf(const XmlElement& element) {
    std::vector<std::string> out;
    for (int i = 0; i < element.attributeCount(); ++i) {
        const char16_t* value = element.attributeValueAt(i);
        out.push_back(show(element.attributeNameAt(i)) + (value ? "=" + show(value) : ""));
    }
    return out;
}

std::vector<std::string> childNamesOf(const XmlElement& element) {
    std::vector<std::string> out;
    for (int i = 0; i < element.childCountAll(); ++i)
        out.push_back(show(element.child(i).name()));
    return out;
}

xml::XmlError parseError(const char16_t* text) {
    const xml::ParseResult result = xml::parseDocument(text);
    xml::releaseNode(result.document);
    return result.error;
}

}  // namespace chartloom::testing
