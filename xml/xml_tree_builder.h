// Collects the entries of the elements still open during a parse; when an element ends it
// becomes one exactly sized node holding its arrays and strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "xml/xml_node.h"

namespace chartloom::xml {

class TreeBuilder {
public:
    // Where an element's pending entries begin.
    struct Mark {
        size_t children;
        size_t pieces;
        size_t chars;
    };

    TreeBuilder() = default;
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;
    // Releases finished children not yet taken by a parent, as after a failed parse.
    ~TreeBuilder();

    Mark mark() const { return {children_.size(), pieces_.size(), charsSize_}; }

    // Everything below may throw std::bad_alloc; whatever was added stays owned by the builder.
    void addText(const char16_t* text, size_t length);
    // False when the text holds a reference that cannot be decoded.
    bool addDecodedText(const char16_t* text, size_t length);
    void addClear(const char16_t* content, size_t length, int tag);
    void addAttribute(const char16_t* name, size_t nameLength);
    bool addAttribute(const char16_t* name, size_t nameLength, const char16_t* value,
                      size_t valueLength);

    // Builds the node from the entries added since `mark`. A child is kept for its parent;
    // the document node (no name) is handed to the caller with its one use.
    XmlNode* finish(Mark mark, const char16_t* name, size_t nameLength, bool isDeclaration);

private:
    enum class PieceKind : uint8_t { Text, Clear, Attribute };
    struct Piece {
        PieceKind kind;
        int tag;
        size_t offset;       // text, clear content or attribute name
        size_t valueOffset;  // attribute value, or SIZE_MAX for none
    };

    char16_t* reserveChars(size_t count);
    size_t appendChars(const char16_t* text, size_t length);
    // Decodes into the pool; SIZE_MAX on failure, leaving the pool as it was.
    size_t appendDecoded(const char16_t* text, size_t length);

    std::vector<XmlNode*> children_;
    std::vector<Piece> pieces_;
    std::unique_ptr<char16_t[]> chars_;  // each string followed by its terminating zero
    size_t charsSize_ = 0;
    size_t charsCapacity_ = 0;
};

}  // namespace chartloom::xml
