#include "xml/xml_element.h"

#include "xml/xml_chars.h"
#include "xml/xml_clear_tags.h"
#include "xml/xml_node.h"
#include "xml/xml_parser.h"

namespace chartloom {

using xml::XmlNode;

XmlElement::XmlElement(XmlNode* node) noexcept : node_(node) {
    xml::retainNode(node_);
}

XmlElement::XmlElement(const XmlElement& other) noexcept : node_(other.node_) {
    xml::retainNode(node_);
}

XmlElement::XmlElement(XmlElement&& other) noexcept : node_(other.node_) {
    other.node_ = nullptr;
}

XmlElement& XmlElement::operator=(const XmlElement& other) noexcept {
    xml::retainNode(other.node_);
    xml::releaseNode(node_);
    node_ = other.node_;
    return *this;
}

XmlElement& XmlElement::operator=(XmlElement&& other) noexcept {
    if (this != &other) {
        xml::releaseNode(node_);
        node_ = other.node_;
        other.node_ = nullptr;
    }
    return *this;
}

XmlElement::~XmlElement() {
    xml::releaseNode(node_);
}

XmlElement XmlElement::parse(const char16_t* text, const char16_t* rootName) noexcept {
    if (!text)
        return {};
    const xml::ParseResult result = xml::parseDocument(text);
    if (!result.document)
        return {};
    XmlElement document(result.document);
    xml::releaseNode(result.document);  // the handle above now holds the parse's use

    const XmlNode* node = result.document;
    XmlElement current = document;
    if (node->childCount == 1 && node->textCount == 0 && node->clearCount == 0 &&
        node->attributeCount == 0) {
        current = document.child(0);
    }
    if (!rootName || !*rootName)
        return current;
    if (current.name() && xml::equalNames(current.name(), rootName))
        return current;

    // Look among the top elements, stepping into declarations, which hold the rest of
    // the document.
    int i = 0;
    while (i < current.node_->childCount) {
        XmlNode* candidate = current.node_->children[i];
        if (xml::equalNames(candidate->name, rootName))
            return XmlElement(candidate);
        if (candidate->isDeclaration) {
            current = XmlElement(candidate);
            i = 0;
        } else {
            ++i;
        }
    }
    return {};
}

const char16_t* XmlElement::name() const noexcept {
    return node_ ? node_->name : nullptr;
}

bool XmlElement::isDeclaration() const noexcept {
    return node_ && node_->isDeclaration;
}

const char16_t* XmlElement::attribute(const char16_t* name) const noexcept {
    if (!node_ || !name)
        return nullptr;
    for (int i = 0; i < node_->attributeCount; ++i) {
        if (xml::equalNames(node_->attributes[i].name, name))
            return node_->attributes[i].value;
    }
    return nullptr;
}

int XmlElement::attributeCount() const noexcept {
    return node_ ? node_->attributeCount : 0;
}

const char16_t* XmlElement::attributeNameAt(int i) const noexcept {
    return i >= 0 && i < attributeCount() ? node_->attributes[i].name : nullptr;
}

const char16_t* XmlElement::attributeValueAt(int i) const noexcept {
    return i >= 0 && i < attributeCount() ? node_->attributes[i].value : nullptr;
}

int XmlElement::childCount(const char16_t* name) const noexcept {
    if (!node_ || !name)
        return 0;
    int count = 0;
    for (int i = 0; i < node_->childCount; ++i) {
        if (xml::equalNames(node_->children[i]->name, name))
            ++count;
    }
    return count;
}

XmlElement XmlElement::findChild(const char16_t* name, int* position) const noexcept {
    if (!node_ || !name)
        return {};
    int i = position && *position > 0 ? *position : 0;
    for (; i < node_->childCount; ++i) {
        if (xml::equalNames(node_->children[i]->name, name)) {
            if (position)
                *position = i + 1;
            return XmlElement(node_->children[i]);
        }
    }
    return {};
}

XmlElement XmlElement::childAt(const char16_t* name, int n) const noexcept {
    if (n < 0)
        return {};
    int position = 0;
    XmlElement found;
    for (int k = 0; k <= n; ++k) {
        found = findChild(name, &position);
        if (found.isEmpty())
            break;
    }
    return found;
}

XmlElement XmlElement::child(int i) const noexcept {
    return i >= 0 && i < childCountAll() ? XmlElement(node_->children[i]) : XmlElement();
}

int XmlElement::childCountAll() const noexcept {
    return node_ ? node_->childCount : 0;
}

int XmlElement::textCount() const noexcept {
    return node_ ? node_->textCount : 0;
}

const char16_t* XmlElement::textAt(int i) const noexcept {
    return i >= 0 && i < textCount() ? node_->texts[i] : nullptr;
}

int XmlElement::clearCount() const noexcept {
    return node_ ? node_->clearCount : 0;
}

const char16_t* XmlElement::clearAt(int i) const noexcept {
    return i >= 0 && i < clearCount() ? node_->clears[i].content : nullptr;
}

const char16_t* XmlElement::clearOpenDelimiterAt(int i) const noexcept {
    return i >= 0 && i < clearCount() ? xml::kClearTags[node_->clears[i].tag].open : nullptr;
}

}  // namespace chartloom
