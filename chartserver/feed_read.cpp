#include "chartserver/feed_read.h"

#include <pugixml.hpp>

#include <sstream>

#include "toolbase/ascii_text.h"

namespace chartloom::chartserver {
namespace {

struct Names {
    const char* root;
    const char* entry;
    const char* value;
};

Names namesOf(FeedKind feed) {
    return feed == FeedKind::TopTracks ? Names{"mostknowntracks", "track", "reach"}
                                       : Names{"similarartists", "artist", "match"};
}

pugi::xml_node child(pugi::xml_node parent, const char* name) {
    for (pugi::xml_node node : parent.children()) {
        if (node.type() == pugi::node_element && equalsNoCase(node.name(), name))
            return node;
    }
    return {};
}

// The root element, or an empty node with `error` saying why there is none.
pugi::xml_node rootOf(pugi::xml_document& doc, FeedKind feed, std::string_view document,
                      std::string& error) {
    pugi::xml_parse_result parsed = doc.load_buffer(document.data(), document.size(),
                                                    pugi::parse_default | pugi::parse_declaration);
    if (!parsed) {
        error = std::string(parsed.description()) + " at byte " + std::to_string(parsed.offset);
        return {};
    }
    pugi::xml_node root = doc.document_element();
    if (!equalsNoCase(root.name(), namesOf(feed).root)) {
        error = std::string("the root element is <") + root.name() + ">, not <" +
                namesOf(feed).root + ">";
        return {};
    }
    return root;
}

}  // namespace

FeedReading readFeed(FeedKind feed, std::string_view document) {
    FeedReading reading;
    pugi::xml_document doc;
    pugi::xml_node root = rootOf(doc, feed, document, reading.error);
    if (!root)
        return reading;
    Names names = namesOf(feed);
    for (pugi::xml_node entry : root.children()) {
        if (entry.type() != pugi::node_element || !equalsNoCase(entry.name(), names.entry))
            continue;
        reading.entries.push_back(
            {child(entry, "name").text().get(), child(entry, names.value).text().get()});
    }
    reading.readable = true;
    return reading;
}

std::string renamedFeed(FeedKind feed, std::string_view document,
                        const std::function<std::string(const std::string&)>& rename) {
    pugi::xml_document doc;
    std::string error;
    pugi::xml_node root = rootOf(doc, feed, document, error);
    if (!root)
        return std::string(document);
    Names names = namesOf(feed);
    for (pugi::xml_node entry : root.children()) {
        if (entry.type() != pugi::node_element || !equalsNoCase(entry.name(), names.entry))
            continue;
        pugi::xml_node name = child(entry, "name");
        if (name)
            name.text().set(rename(name.text().get()).c_str());
    }
    // Written as UTF-8, so a declaration must not say otherwise.
    if (pugi::xml_node declaration = doc.first_child();
        declaration.type() == pugi::node_declaration && declaration.attribute("encoding"))
        declaration.attribute("encoding").set_value("UTF-8");
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

}  // namespace chartloom::chartserver
