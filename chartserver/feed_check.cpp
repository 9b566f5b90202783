#include "chartserver/feed_check.h"

#include <expat.h>

#include <memory>

#include "toolbase/ascii_text.h"

namespace chartloom::chartserver {
namespace {

struct Walk {
    std::string_view root;
    std::string_view entry;
    int depth = 0;
    std::size_t entries = 0;
    std::string wrongRoot;
    int wrongRootLine = 0;
    XML_Parser parser = nullptr;
};

void XMLCALL onStart(void* context, const XML_Char* name, const XML_Char**) {
    auto* walk = static_cast<Walk*>(context);
    ++walk->depth;
    if (walk->depth == 1 && !equalsNoCase(name, walk->root)) {
        walk->wrongRoot = name;
        walk->wrongRootLine = static_cast<int>(XML_GetCurrentLineNumber(walk->parser));
    } else if (walk->depth == 2 && equalsNoCase(name, walk->entry)) {
        ++walk->entries;
    }
}

void XMLCALL onEnd(void* context, const XML_Char*) {
    --static_cast<Walk*>(context)->depth;
}

}  // namespace

FeedCheck checkFeed(FeedKind feed, std::string_view document) {
    FeedCheck check;
    Walk walk;
    walk.root = feed == FeedKind::TopTracks ? "mostknowntracks" : "similarartists";
    walk.entry = feed == FeedKind::TopTracks ? "track" : "artist";
    // UTF-8 whatever the declaration says: the plug-in reads nothing else.
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"),
                                                                        XML_ParserFree);
    if (!parser) {
        check.reason = "out of memory";
        return check;
    }
    walk.parser = parser.get();
    XML_SetUserData(parser.get(), &walk);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    if (XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), 1) !=
        XML_STATUS_OK) {
        check.line = static_cast<int>(XML_GetCurrentLineNumber(parser.get()));
        check.reason = XML_ErrorString(XML_GetErrorCode(parser.get()));
        return check;
    }
    if (!walk.wrongRoot.empty()) {
        check.line = walk.wrongRootLine;
        check.reason =
            "the root element is <" + walk.wrongRoot + ">, not <" + std::string(walk.root) + ">";
        return check;
    }
    check.readable = true;
    check.entries = walk.entries;
    return check;
}

}  // namespace chartloom::chartserver
