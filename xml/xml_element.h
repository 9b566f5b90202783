// A small, lenient XML reader over zero-terminated UTF-16 text. It never throws: text it
// cannot read gives an empty element, and every query on an empty element answers
// nullptr, 0 or an empty element.
#pragma once

namespace chartloom {

namespace xml {
struct XmlNode;
}

// A counted handle to one node of a parsed tree. Copies share the node; a node lives as
// long as any handle (or its parent) holds it, so a child may outlive its parent.
// Handles are not thread-safe: a tree belongs to the thread that parsed it.
class XmlElement {
public:
    XmlElement() noexcept = default;
    XmlElement(const XmlElement& other) noexcept;
    XmlElement(XmlElement&& other) noexcept;
    XmlElement& operator=(const XmlElement& other) noexcept;
    XmlElement& operator=(XmlElement&& other) noexcept;
    ~XmlElement();

    // Reads the whole text. With a non-empty rootName, answers the first element of that name
    // (ASCII case ignored) at the top level or inside a top-level declaration; otherwise the
    // single top element, or the nameless document node when there are several. Every
    // string in the tree is a copy, so the text may be freed right after.
    static XmlElement parse(const char16_t* text, const char16_t* rootName = nullptr) noexcept;

    bool isEmpty() const noexcept { return node_ == nullptr; }
    // nullptr for an empty handle and for the nameless document node.
    const char16_t* name() const noexcept;
    // True for an element opened with "<?".
    bool isDeclaration() const noexcept;

    // Value of the first attribute of that name; nullptr when missing or written without "=".
    const char16_t* attribute(const char16_t* name) const noexcept;
    int attributeCount() const noexcept;
    const char16_t* attributeNameAt(int i) const noexcept;
    const char16_t* attributeValueAt(int i) const noexcept;

    // Child lookups by name ignore ASCII case.
    int childCount(const char16_t* name) const noexcept;
    // Searches from *position (0 when null) and moves *position just past the match;
    // leaves it alone when nothing is found.
    XmlElement findChild(const char16_t* name, int* position = nullptr) const noexcept;
    // The n-th child of that name, counting from 0. Rescans from the first child each time.
    XmlElement childAt(const char16_t* name, int n) const noexcept;
    // The i-th child of any name.
    XmlElement child(int i) const noexcept;
    int childCountAll() const noexcept;

    int textCount() const noexcept;
    const char16_t* textAt(int i) const noexcept;

    // Sections such as comments and CDATA, verbatim, with the opening delimiter that began
    // each (as "<!--", "<![CDATA[" ...).
    int clearCount() const noexcept;
    const char16_t* clearAt(int i) const noexcept;
    const char16_t* clearOpenDelimiterAt(int i) const noexcept;

private:
    explicit XmlElement(xml::XmlNode* node) noexcept;

    xml::XmlNode* node_ = nullptr;
};

}  // namespace chartloom
