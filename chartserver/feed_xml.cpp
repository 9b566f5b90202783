#include "chartserver/feed_xml.h"

namespace chartloom::chartserver {
namespace {

// Length of the well-formed UTF-8 sequence at text[i] and its code point; 0 if malformed.
std::size_t decodeAt(std::string_view text, std::size_t i, char32_t& code) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t length = lead < 0x80                   ? 1
                         : lead >= 0xC2 && lead < 0xE0 ? 2
                         : lead >= 0xE0 && lead < 0xF0 ? 3
                         : lead >= 0xF0 && lead < 0xF5 ? 4
                                                       : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool allowedInXml(char32_t code) {
    if (code < 0x20)
        return code == 0x9 || code == 0xA || code == 0xD;
    return code != 0xFFFE && code != 0xFFFF;
}

// The reader trims white space around element text; spaces at either end are written as
// references so that they survive.
void appendElement(std::string& out, std::string_view name, std::string_view text) {
    std::string escaped = xmlEscaped(text);
    std::size_t first = escaped.find_first_not_of(' ');
    std::size_t leading = first == std::string::npos ? escaped.size() : first;
    std::size_t trailing =
        first == std::string::npos ? 0 : escaped.size() - 1 - escaped.find_last_not_of(' ');
    out += "<";
    out += name;
    out += ">";
    for (std::size_t i = 0; i < leading; ++i)
        out += "&#32;";
    out.append(escaped, leading, escaped.size() - leading - trailing);
    for (std::size_t i = 0; i < trailing; ++i)
        out += "&#32;";
    out += "</";
    out += name;
    out += ">";
}

std::string header(std::string_view root, std::string_view artist) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<";
    out += root;
    out += " artist=\"" + xmlEscaped(artist) + "\">\n";
    return out;
}

}  // namespace

std::string xmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        std::size_t length = decodeAt(text, i, code);
        if (length == 0) {
            ++i;
            continue;
        }
        if (allowedInXml(code)) {
            switch (code) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&apos;";
                    break;
                case '\t':
                    out += "&#9;";
                    break;
                case '\n':
                    out += "&#10;";
                    break;
                case '\r':
                    out += "&#13;";
                    break;
                default:
                    out.append(text.substr(i, length));
            }
        }
        i += length;
    }
    return out;
}

std::string topTracksXml(std::string_view artist, const std::vector<ChartTrack>& tracks) {
    std::string out = header("mostknowntracks", artist);
    for (const ChartTrack& track : tracks) {
        out += "  <track>";
        appendElement(out, "name", track.name);
        appendElement(out, "reach", std::to_string(track.reach));
        out += "</track>\n";
    }
    return out + "</mostknowntracks>\n";
}

std::string similarArtistsXml(std::string_view artist,
                              const std::vector<SimilarArtistEntry>& artists) {
    std::string out = header("similarartists", artist);
    for (const SimilarArtistEntry& entry : artists) {
        out += "  <artist>";
        appendElement(out, "name", entry.name);
        if (entry.match)
            appendElement(out, "match", std::to_string(*entry.match));
        out += "</artist>\n";
    }
    return out + "</similarartists>\n";
}

}  // namespace chartloom::chartserver
