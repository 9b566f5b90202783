#include "xml/xml_tree_builder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "xml/xml_entities.h"

namespace chartloom::xml {
namespace {
constexpr size_t kNoValue = SIZE_MAX;
}

TreeBuilder::~TreeBuilder() {
    for (XmlNode* child : children_)
        releaseNode(child);
}

char16_t* TreeBuilder::reserveChars(size_t count) {
    if (charsCapacity_ - charsSize_ < count) {
        const size_t capacity = std::max({charsCapacity_ * 2, charsSize_ + count, size_t{4096}});
        std::unique_ptr<char16_t[]> grown(new char16_t[capacity]);
        if (charsSize_)
            std::memcpy(grown.get(), chars_.get(), charsSize_ * sizeof(char16_t));
        chars_ = std::move(grown);
        charsCapacity_ = capacity;
    }
    return chars_.get() + charsSize_;
}

size_t TreeBuilder::appendChars(const char16_t* text, size_t length) {
    char16_t* out = reserveChars(length + 1);
    std::memcpy(out, text, length * sizeof(char16_t));
    out[length] = 0;
    const size_t offset = charsSize_;
    charsSize_ += length + 1;
    return offset;
}

size_t TreeBuilder::appendDecoded(const char16_t* text, size_t length) {
    char16_t* out = reserveChars(length + 1);
    const ptrdiff_t decoded = decodeEntities(text, length, out);
    if (decoded < 0)
        return kNoValue;
    out[decoded] = 0;
    const size_t offset = charsSize_;
    charsSize_ += static_cast<size_t>(decoded) + 1;
    return offset;
}

void TreeBuilder::addText(const char16_t* text, size_t length) {
    pieces_.push_back({PieceKind::Text, -1, appendChars(text, length), kNoValue});
}

bool TreeBuilder::addDecodedText(const char16_t* text, size_t length) {
    const size_t offset = appendDecoded(text, length);
    if (offset == kNoValue)
        return false;
    pieces_.push_back({PieceKind::Text, -1, offset, kNoValue});
    return true;
}

void TreeBuilder::addClear(const char16_t* content, size_t length, int tag) {
    pieces_.push_back({PieceKind::Clear, tag, appendChars(content, length), kNoValue});
}

void TreeBuilder::addAttribute(const char16_t* name, size_t nameLength) {
    pieces_.push_back({PieceKind::Attribute, -1, appendChars(name, nameLength), kNoValue});
}

bool TreeBuilder::addAttribute(const char16_t* name, size_t nameLength, const char16_t* value,
                               size_t valueLength) {
    const size_t before = charsSize_;
    const size_t nameOffset = appendChars(name, nameLength);
    const size_t valueOffset = appendDecoded(value, valueLength);
    if (valueOffset == kNoValue) {
        charsSize_ = before;
        return false;
    }
    pieces_.push_back({PieceKind::Attribute, -1, nameOffset, valueOffset});
    return true;
}

XmlNode* TreeBuilder::finish(Mark mark, const char16_t* name, size_t nameLength,
                             bool isDeclaration) {
    const size_t childCount = children_.size() - mark.children;
    size_t textCount = 0, clearCount = 0, attributeCount = 0;
    for (size_t i = mark.pieces; i < pieces_.size(); ++i) {
        switch (pieces_[i].kind) {
            case PieceKind::Text:
                ++textCount;
                break;
            case PieceKind::Clear:
                ++clearCount;
                break;
            case PieceKind::Attribute:
                ++attributeCount;
                break;
        }
    }
    const size_t nameChars = name ? nameLength + 1 : 0;
    const size_t charCount = charsSize_ - mark.chars;
    const size_t bytes = sizeof(XmlNode) + childCount * sizeof(XmlNode*) +
                         textCount * sizeof(const char16_t*) + clearCount * sizeof(XmlClear) +
                         attributeCount * sizeof(XmlAttribute) +
                         (nameChars + charCount) * sizeof(char16_t);

    auto* block = static_cast<unsigned char*>(::operator new(bytes));
    size_t offset = sizeof(XmlNode);
    auto carve = [&](size_t count, size_t size) {
        void* at = count ? block + offset : nullptr;
        offset += count * size;
        return at;
    };
    auto* children = static_cast<XmlNode**>(carve(childCount, sizeof(XmlNode*)));
    auto* texts = static_cast<const char16_t**>(carve(textCount, sizeof(const char16_t*)));
    auto* clears = static_cast<XmlClear*>(carve(clearCount, sizeof(XmlClear)));
    auto* attributes = static_cast<XmlAttribute*>(carve(attributeCount, sizeof(XmlAttribute)));
    auto* nameCopy = reinterpret_cast<char16_t*>(block + offset);
    char16_t* chars = nameCopy + nameChars;

    auto* node = new (block) XmlNode{name ? nameCopy : nullptr,
                                     static_cast<int>(childCount),
                                     static_cast<int>(textCount),
                                     static_cast<int>(clearCount),
                                     static_cast<int>(attributeCount),
                                     isDeclaration,
                                     nullptr,
                                     children,
                                     texts,
                                     clears,
                                     attributes,
                                     1};
    if (name) {
        std::memcpy(nameCopy, name, nameLength * sizeof(char16_t));
        nameCopy[nameLength] = 0;
    }
    for (size_t i = 0; i < childCount; ++i) {
        children[i] = children_[mark.children + i];
        children[i]->parent = node;
    }
    if (charCount) {
        std::memcpy(chars, chars_.get() + mark.chars, charCount * sizeof(char16_t));
    }
    auto at = [&](size_t poolOffset) -> const char16_t* {
        return chars + (poolOffset - mark.chars);
    };
    size_t t = 0, c = 0, a = 0;
    for (size_t i = mark.pieces; i < pieces_.size(); ++i) {
        const Piece& piece = pieces_[i];
        switch (piece.kind) {
            case PieceKind::Text:
                texts[t++] = at(piece.offset);
                break;
            case PieceKind::Clear:
                clears[c++] = {at(piece.offset), piece.tag};
                break;
            case PieceKind::Attribute:
                attributes[a++] = {at(piece.offset),
                                   piece.valueOffset == kNoValue ? nullptr : at(piece.valueOffset)};
                break;
        }
    }

    children_.resize(mark.children);
    pieces_.resize(mark.pieces);
    charsSize_ = mark.chars;
    if (!name)
        return node;
    try {
        children_.push_back(node);
    } catch (...) {
        releaseNode(node);
        throw;
    }
    return node;
}

}  // namespace chartloom::xml
