#include "chartserver/lastfm_answer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "chartserver/feed_xml.h"
#include "chartserver/json_list.h"

namespace chartloom::chartserver {
namespace {

using nlohmann::json;
constexpr int kMaxDepth = 32;  // the answers are 5 levels deep
constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

constexpr std::size_t kMaxEntries = 1000;  // the bridge asks for 100

// Builds, from a SAX walk of an answer, only the parts that judging it reads: the error and
// its message, and under the chart's root its "@attr" artist and its entries' names and
// counts (at most kMaxEntries). Whatever else an answer holds costs no memory, however large
// or odd it is; nesting is bounded.
class ChartFilter : public nlohmann::json_sax<json> {
public:
    bool null() override { return scalar(nullptr); }
    bool boolean(bool value) override { return scalar(value); }
    bool number_integer(number_integer_t value) override { return scalar(value); }
    bool number_unsigned(number_unsigned_t value) override { return scalar(value); }
    bool number_float(number_float_t value, const string_t&) override { return scalar(value); }
    bool string(string_t& value) override { return scalar(std::move(value)); }
    bool binary(binary_t&) override { return scalar(nullptr); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        Frame& frame = stack_.back();
        frame.key = name;
        frame.keyRole = roleOfMember(frame.role, name);
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        error_ = notJson(e);
        return false;
    }

    json& document() { return root_; }
    // Why the answer could not be read; empty when it could.
    const std::string& error() const { return error_; }

private:
    enum class Role { Root, Chart, Attr, List, Entry, Value, Skip };
    struct Frame {
        json* value;  // null: skipped
        Role role;
        std::string key;
        Role keyRole = Role::Skip;
        std::size_t entries = 0;
    };

    static Role roleOfMember(Role parent, std::string_view name) {
        switch (parent) {
            case Role::Root:
                if (name == "error" || name == "message")
                    return Role::Value;
                return name == "toptracks" || name == "similarartists" ? Role::Chart : Role::Skip;
            case Role::Chart:
                if (name == "@attr")
                    return Role::Attr;
                return name == "track" || name == "artist" ? Role::List : Role::Skip;
            case Role::Attr:
                return name == "artist" ? Role::Value : Role::Skip;
            case Role::Entry:
                return name == "name" || name == "listeners" || name == "playcount" ||
                               name == "match"
                           ? Role::Value
                           : Role::Skip;
            case Role::Value:
                return name == "#text" ? Role::Value : Role::Skip;
            default:
                return Role::Skip;
        }
    }

    // The role of the value that comes next, counting entries of a list.
    Role nextRole() {
        if (stack_.empty())
            return Role::Root;
        Frame& frame = stack_.back();
        if (frame.value == nullptr)
            return Role::Skip;
        if (frame.value->is_object())
            return frame.keyRole;
        if (frame.role != Role::List)
            return Role::Skip;
        return ++frame.entries > kMaxEntries ? Role::Skip : Role::Entry;
    }

    json* place(json value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Frame& frame = stack_.back();
        if (frame.value->is_object())
            return &((*frame.value)[frame.key] = std::move(value));
        frame.value->push_back(std::move(value));
        return &frame.value->back();
    }

    bool scalar(json value) {
        if (nextRole() != Role::Skip)
            place(std::move(value));
        return true;
    }

    bool open(json container) {
        if (stack_.size() >= static_cast<std::size_t>(kMaxDepth)) {
            error_ = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
            return false;
        }
        Role role = nextRole();
        bool array = container.is_array();
        if (role == Role::List && !array)
            role = Role::Entry;  // a list of one, sent as the entry itself
        json* value = role == Role::Skip ? nullptr : place(std::move(container));
        if (array && role != Role::List)
            value = nullptr;  // kept empty: only a list's elements are read
        stack_.push_back({value, role, {}});
        return true;
    }

    bool close() {
        stack_.pop_back();
        return true;
    }

    json root_;
    std::vector<Frame> stack_;
    std::string error_;
};

// A JSON string (or number) as text; empty for anything else. The XML translation may wrap a
// text as {"#text": ...}.
std::string textOf(const json& value) {
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_integer() || value.is_number_unsigned())
        return value.dump();
    if (value.is_object() && value.contains("#text"))
        return textOf(value["#text"]);
    return {};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

const json& member(const json& object, const char* name) {
    static const json null;
    if (!object.is_object())
        return null;
    auto it = object.find(name);
    return it == object.end() ? null : *it;
}

// A count: digits in a string (numbers come as strings) or a JSON number, at most 2^31 - 1.
std::optional<int64_t> countOf(const json& value) {
    if (value.is_number_unsigned() || value.is_number_integer())
        return std::clamp<int64_t>(value.get<int64_t>(), 0, kMaxCount);
    if (value.is_number_float()) {
        double d = value.get<double>();
        return std::isfinite(d)
                   ? std::clamp<int64_t>(static_cast<int64_t>(std::max(d, 0.0)), 0, kMaxCount)
                   : std::optional<int64_t>{};
    }
    std::string text = textOf(value);
    if (text.empty() || !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
    if (text.size() > 10)
        return kMaxCount;
    return std::min<int64_t>(std::stoll(text), kMaxCount);
}

// The 0-1 similarity as a percentage rounded down; decimal text is read digit by digit so
// that "0.29" gives 29 and not the 28 of binary floating point.
std::optional<int> matchOf(const json& value) {
    std::string text = value.is_number() ? value.dump() : textOf(value);
    std::size_t point = text.find('.');
    std::string_view whole = std::string_view(text).substr(0, point);
    std::string_view fraction =
        point == std::string::npos ? std::string_view() : std::string_view(text).substr(point + 1);
    auto digits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), isDigit); };
    if (!text.empty() && digits(whole) && digits(fraction) &&
        !(whole.empty() && fraction.empty())) {
        if (whole.find_first_not_of('0') != std::string_view::npos)
            return 100;  // 1 or more
        int percent = 0;
        for (std::size_t i = 0; i < 2; ++i)
            percent = percent * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
        return percent;
    }
    double number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(number)) {
        return std::nullopt;
    }
    return static_cast<int>(std::clamp(std::floor(number * 100 + 1e-9), 0.0, 100.0));
}

// A list that the XML translation may have sent as an array, one object, one bare string, ""
// or {"#text": ...}.
std::vector<json> listOf(const json& value) {
    if (value.is_array())
        return std::vector<json>(value.begin(), value.end());
    if (value.is_string() && !value.get<std::string>().empty())
        return {value};
    if (value.is_object() && !(value.size() == 1 && value.contains("#text")))
        return {value};
    return {};
}

std::string nameOf(const json& entry) {
    return entry.is_object() ? textOf(member(entry, "name")) : textOf(entry);
}

ChartOutcome outcome(ChartOutcome::Kind kind, std::string reason) {
    return {kind, {}, std::move(reason), 0};
}

}  // namespace

ChartOutcome judgeLastfmAnswer(FeedKind feed, std::string_view requestedArtist, long httpStatus,
                               std::string_view body) {
    using Kind = ChartOutcome::Kind;
    ChartFilter filter;
    static const json unread;
    json::sax_parse(body.begin(), body.end(), &filter);
    const json& doc = filter.error().empty() ? filter.document() : unread;
    if (const json& error = member(doc, "error"); !error.is_null()) {
        std::optional<int64_t> code = countOf(error);
        std::string message = textOf(member(doc, "message"));
        std::string reason = "Last.fm error " + (code ? std::to_string(*code) : textOf(error)) +
                             (message.empty() ? "" : ": " + message);
        if (code == 6)
            return outcome(Kind::NotFound, reason);
        if (code == 11 || code == 16 || code == 29)
            return outcome(Kind::Retry, reason);
        return outcome(Kind::Fail, reason);
    }
    if (httpStatus == 429 || (httpStatus >= 500 && httpStatus <= 599))
        return outcome(Kind::Retry, "Last.fm answered HTTP " + std::to_string(httpStatus));
    if (httpStatus != 200)
        return outcome(Kind::Fail, "Last.fm answered HTTP " + std::to_string(httpStatus));

    const char* rootName = feed == FeedKind::TopTracks ? "toptracks" : "similarartists";
    if (!filter.error().empty())
        return outcome(Kind::Fail, std::string("Last.fm's answer is no ") + rootName +
                                       " chart: " + filter.error());
    const json& root = member(doc, rootName);
    if (!root.is_object())
        return outcome(Kind::Fail, std::string("Last.fm's answer has no ") + rootName);
    std::string artist = textOf(member(member(root, "@attr"), "artist"));
    if (artist.empty())
        artist = requestedArtist;
    if (artist == "[unknown]" || requestedArtist == "[unknown]")
        return outcome(Kind::NotFound, "Last.fm answers for [unknown]");

    ChartOutcome result{Kind::Feed, {}, {}, 0};
    if (feed == FeedKind::TopTracks) {
        std::vector<ChartTrack> tracks;
        for (const json& entry : listOf(member(root, "track"))) {
            std::string name = nameOf(entry);
            if (xmlEscaped(name).empty())
                continue;
            std::optional<int64_t> reach = countOf(member(entry, "listeners"));
            if (!reach)
                reach = countOf(member(entry, "playcount"));
            tracks.push_back({std::move(name), reach.value_or(0)});
        }
        result.xml = topTracksXml(artist, tracks);
        result.entries = tracks.size();
    } else {
        std::vector<SimilarArtistEntry> artists;
        for (const json& entry : listOf(member(root, "artist"))) {
            std::string name = nameOf(entry);
            if (xmlEscaped(name).empty())
                continue;
            artists.push_back({std::move(name), matchOf(member(entry, "match"))});
        }
        result.xml = similarArtistsXml(artist, artists);
        result.entries = artists.size();
    }
    return result;
}

}  // namespace chartloom::chartserver
