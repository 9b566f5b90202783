#include "xml/xml_parser.h"

#include <new>
#include <vector>

#include "xml/xml_chars.h"
#include "xml/xml_clear_tags.h"
#include "xml/xml_tokenizer.h"
#include "xml/xml_tree_builder.h"

namespace chartloom::xml {
namespace {

// The name in the text at `endTagName` closes an element when the element's whole name
// starts it and a delimiter follows.
bool endTagMatches(const char16_t* name, size_t nameLength, const char16_t* endTagName) {
    if (!name || !startsWithFolded(name, endTagName, nameLength))
        return false;
    const char16_t after = endTagName[nameLength];
    return isSpace(after) || after == u'/' || after == u'<' || after == u'=' || after == u'>';
}

const char16_t* findExact(const char16_t* from, const char16_t* needle, size_t length) {
    for (const char16_t* p = from; *p; ++p) {
        if (*p != needle[0])
            continue;
        size_t i = 1;
        while (i < length && p[i] == needle[i])
            ++i;
        if (i == length)
            return p;
    }
    return nullptr;
}

size_t trimmedLength(const char16_t* begin, const char16_t* end) {
    while (end > begin && isSpace(end[-1]))
        --end;
    return static_cast<size_t>(end - begin);
}

// Elements are parsed on an explicit stack of frames rather than by nested calls, so the
// depth of a document is limited only by memory.
class Parser {
public:
    explicit Parser(const char16_t* text) : tokens_(text) {}

    ParseResult run() noexcept;

private:
    enum class State { ExpectName, HaveName, ExpectValue, Content };

    struct Frame {
        const char16_t* name;  // in the text; nullptr for the document node
        size_t nameLength;
        bool isDeclaration;
        TreeBuilder::Mark mark;
        State state;
        const char16_t* attributeName;  // remembered in the start tag
        size_t attributeNameLength;
        const char16_t* runStart;  // open text run, or nullptr
    };

    bool parse();
    bool startTag(Frame& frame, const Token& token);
    bool content(Frame& frame, const Token& token);
    bool openChild(bool isDeclaration);
    bool endTag(Frame& frame);
    bool closeRun(Frame& frame, const Token& closing, bool decode);
    bool readClear(int tag);
    void endElement();
    void endAll();
    bool fail(XmlError error) {
        error_ = error;
        return false;
    }

    Tokenizer tokens_;
    TreeBuilder builder_;
    std::vector<Frame> frames_;
    XmlNode* document_ = nullptr;  // built when the parse ends
    XmlError error_ = XmlError::None;
    const char16_t* pendingEndTag_ = nullptr;
    bool stopped_ = false;
};

ParseResult Parser::run() noexcept {
    bool ok = false;
    try {
        frames_.push_back(
            {nullptr, 0, false, builder_.mark(), State::Content, nullptr, 0, nullptr});
        ok = parse();
    } catch (const std::bad_alloc&) {
        error_ = XmlError::OutOfMemory;
    }
    if (!ok) {
        // Finished elements not yet in a parent go with the builder.
        releaseNode(document_);
        return {nullptr, error_};
    }
    return {document_, error_};
}

bool Parser::parse() {
    while (!stopped_) {
        const Token token = tokens_.next();
        Frame& frame = frames_.back();
        const bool ok =
            frame.state == State::Content ? content(frame, token) : startTag(frame, token);
        if (!ok)
            return false;
    }
    return true;
}

bool Parser::startTag(Frame& frame, const Token& token) {
    const bool declaration = frame.isDeclaration;
    switch (frame.state) {
        case State::ExpectName:
            if (token.kind == TokenKind::Text) {
                frame.attributeName = token.begin;
                frame.attributeNameLength = token.length;
                frame.state = State::HaveName;
            } else if (token.kind == TokenKind::TagClose) {
                frame.state = State::Content;
            } else if (token.kind == TokenKind::ShortClose) {
                endElement();
            } else {
                return fail(XmlError::UnexpectedToken);
            }
            return true;
        case State::HaveName:
            if (token.kind == TokenKind::Text) {
                builder_.addAttribute(frame.attributeName, frame.attributeNameLength);
                frame.attributeName = token.begin;
                frame.attributeNameLength = token.length;
            } else if (token.kind == TokenKind::Equals) {
                frame.state = State::ExpectValue;
            } else if (token.kind == TokenKind::TagClose || token.kind == TokenKind::ShortClose) {
                size_t length = frame.attributeNameLength;
                // "<?xml ... ?>" leaves a "?" behind the last attribute.
                if (declaration && frame.attributeName[length - 1] == u'?')
                    --length;
                if (length > 0)
                    builder_.addAttribute(frame.attributeName, length);
                if (token.kind == TokenKind::TagClose) {
                    frame.state = State::Content;
                } else {
                    endElement();
                }
            } else {
                return fail(XmlError::UnexpectedToken);
            }
            return true;
        case State::ExpectValue: {
            if (token.kind != TokenKind::Text && token.kind != TokenKind::Quoted) {
                return fail(XmlError::UnexpectedToken);
            }
            const char16_t* value = token.begin;
            size_t length = token.length;
            if (declaration && value[length - 1] == u'?')
                --length;
            if (token.kind == TokenKind::Quoted) {
                ++value;
                length -= 2;
            }
            if (!builder_.addAttribute(frame.attributeName, frame.attributeNameLength, value,
                                       length)) {
                return fail(XmlError::UnknownCharacterEntity);
            }
            frame.state = State::ExpectName;
            return true;
        }
        case State::Content:
            break;
    }
    return true;
}

bool Parser::content(Frame& frame, const Token& token) {
    switch (token.kind) {
        case TokenKind::Text:
        case TokenKind::Quoted:
        case TokenKind::Equals:
        case TokenKind::TagClose:
        case TokenKind::ShortClose:
            if (!frame.runStart)
                frame.runStart = token.begin;
            return true;
        case TokenKind::TagStart:
        case TokenKind::DeclarationStart:
            if (!closeRun(frame, token, true))
                return false;
            return openChild(token.kind == TokenKind::DeclarationStart);
        case TokenKind::EndTagStart:
            if (!closeRun(frame, token, true))
                return false;
            return endTag(frame);
        case TokenKind::Clear:
            // The run before a verbatim section is kept as written.
            closeRun(frame, token, false);
            return readClear(token.clearTag);
        case TokenKind::End:
            if (!frame.isDeclaration && frames_.size() > 1) {
                error_ = XmlError::UnmatchedEndTagWarning;
            }
            frame.runStart = nullptr;
            endAll();
            return true;
    }
    return true;
}

bool Parser::closeRun(Frame& frame, const Token& closing, bool decode) {
    if (!frame.runStart)
        return true;
    const char16_t* start = frame.runStart;
    frame.runStart = nullptr;
    const size_t length = trimmedLength(start, closing.begin);
    if (!decode) {
        builder_.addText(start, length);
        return true;
    }
    return builder_.addDecodedText(start, length) || fail(XmlError::UnknownCharacterEntity);
}

bool Parser::openChild(bool isDeclaration) {
    const Token name = tokens_.next();
    if (name.kind != TokenKind::Text)
        return fail(XmlError::MissingStartTagName);
    frames_.push_back({name.begin, name.length, isDeclaration, builder_.mark(), State::ExpectName,
                       nullptr, 0, nullptr});
    return true;
}

bool Parser::endTag(Frame& frame) {
    const Token name = tokens_.next();
    if (name.kind != TokenKind::Text)
        return fail(XmlError::MissingEndTagName);
    if (tokens_.next().kind != TokenKind::TagClose)
        return fail(XmlError::MissingEndTagName);
    if (!endTagMatches(frame.name, frame.nameLength, name.begin)) {
        error_ = XmlError::UnmatchedEndTagWarning;
        pendingEndTag_ = name.begin;
    }
    endElement();
    // An end tag that did not match closes outer elements up to the one it names.
    while (pendingEndTag_) {
        if (frames_.size() <= 1)
            return fail(XmlError::UnmatchedEndTag);
        const Frame& outer = frames_.back();
        if (endTagMatches(outer.name, outer.nameLength, pendingEndTag_))
            pendingEndTag_ = nullptr;
        endElement();
    }
    return true;
}

bool Parser::readClear(int tag) {
    const ClearTag& delimiters = kClearTags[tag];
    const char16_t* begin = tokens_.position();
    const char16_t* end = findExact(begin, delimiters.close, delimiters.closeLength);
    if (!end)
        return fail(XmlError::UnmatchedClearTagEnd);
    builder_.addClear(begin, static_cast<size_t>(end - begin), tag);
    tokens_.moveTo(end + delimiters.closeLength);
    return true;
}

void Parser::endElement() {
    const Frame& frame = frames_.back();
    XmlNode* node = builder_.finish(frame.mark, frame.name, frame.nameLength, frame.isDeclaration);
    if (!frame.name)
        document_ = node;
    frames_.pop_back();
}

void Parser::endAll() {
    while (!frames_.empty())
        endElement();
    stopped_ = true;
}

}  // namespace

ParseResult parseDocument(const char16_t* text) noexcept {
    return Parser(text).run();
}

}  // namespace chartloom::xml
