#include "toolbase/loose_match.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <unordered_set>

#include "host/shared_functions.h"
#include "toolbase/ascii_text.h"

namespace chartloom {
namespace {

using std::string_view;

constexpr auto kFold = static_cast<utf8proc_option_t>(
    UTF8PROC_STABLE | UTF8PROC_COMPAT | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK |
    UTF8PROC_LUMP | UTF8PROC_IGNORE);

bool isAscii(string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Bytes that are no UTF-8 become blanks, so that utf8proc takes the rest.
std::string wellFormed(string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned code = 0;
        size_t length = utf8_decode_char(text.data() + i, text.size() - i, code);
        if (length == 0 || code == 0) {
            out += ' ';
            i += length == 0 ? 1 : length;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string mapped(string_view text) {
    utf8proc_uint8_t* out = nullptr;
    utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                      static_cast<utf8proc_ssize_t>(text.size()), &out, kFold);
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(out, std::free);
    if (n < 0)
        return {};
    return std::string(reinterpret_cast<const char*>(out), static_cast<size_t>(n));
}

// Plain ASCII needs nothing but lower case: the whole library's titles come this way.
std::string folded(string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out)
            c = asciiLower(c);
        return out;
    }
    return mapped(wellFormed(text));
}

bool isWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Up to eight words of a folded part; a longer part is no version phrase nor credit, and its
// ninth word stays to say so.
struct Words {
    std::array<string_view, 9> word;
    size_t count = 0;

    explicit Words(string_view part) {
        for (size_t i = 0; i < part.size() && count < word.size();) {
            if (!isWordByte(part[i])) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < part.size() && isWordByte(part[end]))
                ++end;
            word[count++] = part.substr(i, end - i);
            i = end;
        }
    }
    bool are(std::initializer_list<string_view> phrase) const {
        return count == phrase.size() && std::equal(phrase.begin(), phrase.end(), word.begin());
    }
};

bool isYear(string_view w) {
    return w.size() == 4 &&
           std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isRemaster(const Words& w) {
    size_t i = w.count > 0 && isYear(w.word[0]) ? 1 : 0;
    if (i >= w.count || (w.word[i] != "remaster" && w.word[i] != "remastered"))
        return false;
    ++i;
    if (i == 1 && i < w.count && isYear(w.word[i]))
        ++i;
    return i == w.count;
}

bool isVersion(const Words& w) {
    if (w.count == 0)
        return false;
    if (w.word[0] == "live")
        return true;
    return isRemaster(w) || w.are({"mono"}) || w.are({"stereo"}) || w.are({"single", "version"}) ||
           w.are({"album", "version"}) || w.are({"radio", "edit"}) || w.are({"edit"}) ||
           w.are({"bonus", "track"}) || w.are({"deluxe"}) || w.are({"explicit"}) ||
           w.are({"clean"});
}

bool isCredit(const Words& w, bool bracketed) {
    if (w.count < 2)
        return false;
    string_view first = w.word[0];
    return first == "feat" || first == "ft" || first == "featuring" ||
           (bracketed && first == "with");
}

bool isOpen(char c) {
    return c == '(' || c == '[';
}
bool isClose(char c) {
    return c == ')' || c == ']';
}

bool isBlank(string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return !isWordByte(c); });
}

string_view trimEnd(string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The opening bracket of the group that ends `text`, if it ends with one.
std::optional<size_t> endGroup(string_view text) {
    if (text.empty() || !isClose(text.back()))
        return std::nullopt;
    int depth = 0;
    for (size_t i = text.size(); i-- > 0;) {
        depth += isClose(text[i]) ? 1 : isOpen(text[i]) ? -1 : 0;
        if (depth == 0)
            return i;
    }
    return std::nullopt;
}

// Where the group opened at `open` closes, or npos.
size_t groupEnd(string_view text, size_t open) {
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        depth += isOpen(text[i]) ? 1 : isClose(text[i]) ? -1 : 0;
        if (depth == 0)
            return i;
    }
    return string_view::npos;
}

// The last place outside brackets where `marker` starts, or npos.
size_t lastOutside(string_view text, string_view marker) {
    if (text.find(marker) == string_view::npos)
        return string_view::npos;  // most titles
    size_t last = text.rfind(marker);
    if (text.find_first_of("()[]") == string_view::npos)
        return last;
    size_t found = string_view::npos;
    int depth = 0;
    for (size_t i = 0; i <= last; ++i) {
        depth += isOpen(text[i]) ? 1 : isClose(text[i]) ? -1 : 0;
        if (depth == 0 && text.compare(i, marker.size(), marker) == 0)
            found = i;
    }
    return found;
}

// The first bracket outside brackets from `from` on, or the end.
size_t nextBracket(string_view text, size_t from) {
    size_t at = text.find_first_of("([", from);
    return at == string_view::npos ? text.size() : at;
}

// Drops the words between `from` and the next bracket (or the end) when they are a version or
// a credit after `marker`, and something is left before them.
bool dropMarkedPart(std::string& text, string_view marker, bool onlyCredits) {
    string_view t = text;
    size_t at = lastOutside(t, marker);
    if (at == string_view::npos || isBlank(t.substr(0, at)))
        return false;
    size_t start = at + marker.size(), end = nextBracket(t, start);
    Words words(t.substr(start, end - start));
    bool drop = onlyCredits ? true : isVersion(words) || isCredit(words, false);
    if (!drop)
        return false;
    std::string rest(trimEnd(t.substr(0, at)));
    if (end < t.size())
        rest.append(" ").append(t.substr(end));
    text = std::move(rest);
    return true;
}

// "(feat. X)", "[with X]" wherever they stand.
void dropBracketedCredits(std::string& text) {
    size_t from = 0;
    for (size_t open; (open = text.find_first_of("([", from)) != std::string::npos;) {
        size_t close = groupEnd(text, open);
        if (close == std::string::npos)
            return;
        from = open + 1;
        if (!isCredit(Words(string_view(text).substr(open + 1, close - open - 1)), true))
            continue;
        std::string rest = text.substr(0, open) + text.substr(close + 1);
        if (isBlank(rest))
            return;
        text = std::move(rest);
        from = open;
    }
}

void stripVersionsAndCredits(std::string& text) {
    dropBracketedCredits(text);
    for (;;) {
        string_view t = trimEnd(text);
        if (auto open = endGroup(t)) {
            Words inner(t.substr(*open + 1, t.size() - *open - 2));
            if (isVersion(inner) && !isBlank(t.substr(0, *open))) {
                text = std::string(trimEnd(t.substr(0, *open)));
                continue;
            }
        }
        if (dropMarkedPart(text, " - ", false))
            continue;
        bool credit = false;
        for (string_view marker : {" feat. ", " ft. ", " featuring "}) {
            size_t at = lastOutside(text, marker);
            if (at != string_view::npos && !isBlank(string_view(text).substr(0, at)) &&
                !isBlank(string_view(text).substr(at + marker.size()))) {
                credit = dropMarkedPart(text, marker, true);
                break;
            }
        }
        if (!credit)
            return;
    }
}

bool isWordCode(utf8proc_int32_t code) {
    utf8proc_category_t category = utf8proc_category(code);
    return category >= UTF8PROC_CATEGORY_LU && category <= UTF8PROC_CATEGORY_NO;
}

// Words joined by single blanks, "&" as the word "and"; with `brackets`, brackets kept, a
// blank before an opening one only where the text had something between it and the word.
std::string collapsed(string_view text, bool brackets) {
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    auto word = [&](string_view bytes) {
        if (blank && !out.empty() && !isOpen(out.back()))
            out += ' ';
        blank = false;
        out.append(bytes);
    };
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            utf8proc_int32_t code = -1;
            utf8proc_ssize_t length =
                utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + i),
                                 static_cast<utf8proc_ssize_t>(text.size() - i), &code);
            size_t step = length > 0 ? static_cast<size_t>(length) : 1;
            if (length > 0 && isWordCode(code))
                word(text.substr(i, step));
            else
                blank = true;
            i += step;
            continue;
        }
        if (isWordByte(c)) {
            word(text.substr(i, 1));
        } else if (c == '&') {
            blank = true;
            word("and");
            blank = true;
        } else if (brackets && isOpen(c)) {
            if (blank && !out.empty())
                out += ' ';
            blank = false;
            out += c;
        } else if (brackets && isClose(c)) {
            blank = false;
            out += c;
        } else {
            blank = true;
        }
        ++i;
    }
    return out;
}

std::string trimmedCopy(string_view text) {
    return std::string(trim(text));
}

}  // namespace

std::optional<MatchMode> matchModeNamed(string_view name) {
    if (name == "exact")
        return MatchMode::exact;
    if (name == "loose")
        return MatchMode::loose;
    return std::nullopt;
}

std::string looseTitle(string_view title) {
    std::string text = folded(title);
    stripVersionsAndCredits(text);
    std::string out = collapsed(text, true);
    if (!out.empty())
        return out;
    // Rare, so folded again rather than kept: stripped down to punctuation.
    std::string whole = folded(title);
    out = collapsed(whole, true);
    // Nothing but punctuation: the text itself is all there is to compare.
    return out.empty() ? trimmedCopy(whole) : out;
}

std::string looseArtist(string_view name) {
    std::string whole = folded(name);
    std::string out = collapsed(whole, false);
    if (out.size() > 4 && out.starts_with("the "))
        out.erase(0, 4);
    return out.empty() ? trimmedCopy(whole) : out;
}

std::vector<std::string> creditedArtists(string_view tag) {
    // Found on a lower-case ASCII copy, cut from the tag itself: folding may change lengths,
    // lower-casing ASCII does not.
    std::string lower(tag);
    for (char& c : lower)
        c = asciiLower(c);
    std::vector<std::string> artists;
    size_t from = 0;
    auto take = [&](size_t end) {
        string_view part = tag.substr(from, end - from);
        auto edge = [](char c) { return c == ' ' || isOpen(c) || isClose(c); };
        while (!part.empty() && edge(part.front()))
            part.remove_prefix(1);
        while (!part.empty() && edge(part.back()))
            part.remove_suffix(1);
        if (!part.empty())
            artists.emplace_back(part);
    };
    for (size_t i = 0; i < lower.size(); ++i) {
        if (i > 0 && lower[i - 1] != ' ' && !isOpen(lower[i - 1]))
            continue;
        for (string_view marker : {"feat. ", "ft. ", "featuring "}) {
            if (lower.compare(i, marker.size(), marker) == 0) {
                take(i);
                from = i + marker.size();
                i = from - 1;
                break;
            }
        }
    }
    if (from == 0)
        return {};
    take(tag.size());
    if (artists.size() < 2)
        return {};
    return artists;
}

int titlePass(string_view chart, string_view library) {
    if (stricmp_utf8_ex(library.data(), library.size(), chart.data(), chart.size()) == 0)
        return 1;
    size_t p = library.find_first_of("([");
    if (p == string_view::npos)
        return 0;
    // A bracket in first place leaves the whole title, as the plug-in has it.
    size_t lessOne = p == 0 ? library.size() : p - 1;
    bool cut = stricmp_utf8_ex(library.data(), lessOne, chart.data(), chart.size()) == 0 ||
               stricmp_utf8_ex(library.data(), p, chart.data(), chart.size()) == 0;
    return cut ? 2 : 0;
}

int titleMatch(string_view chart, string_view library, MatchMode mode) {
    if (mode == MatchMode::exact)
        return titlePass(chart, library);
    return titlePass(looseTitle(chart), looseTitle(library));
}

bool artistMatches(string_view artist, string_view tag, MatchMode mode) {
    if (stricmp_utf8_ex(artist.data(), artist.size(), tag.data(), tag.size()) == 0)
        return true;
    if (mode == MatchMode::exact)
        return false;
    std::string wanted = looseArtist(artist);
    if (looseArtist(tag) == wanted)
        return true;
    std::vector<std::string> credited = creditedArtists(tag);
    return std::any_of(credited.begin(), credited.end(),
                       [&](const std::string& name) { return looseArtist(name) == wanted; });
}

std::vector<bool> firstOfLooseTitle(const std::vector<std::string>& titles) {
    std::unordered_set<std::string> seen;
    std::vector<bool> first;
    first.reserve(titles.size());
    for (const std::string& title : titles)
        first.push_back(seen.insert(looseTitle(title)).second);
    return first;
}

}  // namespace chartloom
