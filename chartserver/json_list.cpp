#include "chartserver/json_list.h"

#include <algorithm>

namespace chartloom::chartserver {
namespace {

using nlohmann::json;
constexpr std::size_t kMaxDepth = 32;

class ListFilter : public nlohmann::json_sax<json> {
public:
    ListFilter(std::string_view member, const std::vector<std::string>& fields,
               std::size_t maxEntries, JsonList& out)
        : member_(member), fields_(fields), maxEntries_(maxEntries), out_(out) {}

    bool null() override { return scalar(nullptr); }
    bool boolean(bool) override { return scalar(nullptr); }
    bool number_integer(number_integer_t value) override { return scalar(value); }
    bool number_unsigned(number_unsigned_t value) override { return scalar(value); }
    bool number_float(number_float_t value, const string_t&) override { return scalar(value); }
    bool string(string_t& value) override { return scalar(std::move(value)); }
    bool binary(binary_t&) override { return scalar(nullptr); }
    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& name) override {
        key_ = name;
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        out_.error = notJson(e);
        return false;
    }

private:
    enum class Role { Other, Top, List, Entry };

    // What the value about to start is, from where it stands.
    Role roleOfNext(bool array) const {
        if (stack_.empty())
            return member_.empty() ? (array ? Role::List : Role::Other) : Role::Top;
        Role parent = stack_.back();
        if (parent == Role::Top && key_ == member_ && array)
            return Role::List;
        if (parent == Role::List && !array)
            return Role::Entry;
        return Role::Other;
    }

    bool scalar(json value) {
        if (!stack_.empty() && stack_.back() == Role::Entry && kept_) {
            auto at = std::find(fields_.begin(), fields_.end(), key_);
            if (at != fields_.end() && (value.is_string() || value.is_number()))
                out_.entries.back()[static_cast<std::size_t>(at - fields_.begin())] =
                    std::move(value);
        }
        return true;
    }

    bool open(bool array) {
        if (stack_.size() >= kMaxDepth) {
            out_.error = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
            return false;
        }
        Role role = roleOfNext(array);
        if (role == Role::List)
            out_.isList = true;
        if (role == Role::Entry) {
            kept_ = out_.entries.size() < maxEntries_;
            if (kept_)
                out_.entries.emplace_back(fields_.size());
        }
        stack_.push_back(role);
        return true;
    }

    bool close() {
        stack_.pop_back();
        return true;
    }

    std::string_view member_;
    const std::vector<std::string>& fields_;
    std::size_t maxEntries_;
    JsonList& out_;
    std::vector<Role> stack_;
    std::string key_;
    bool kept_ = false;
};

}  // namespace

std::string notJson(const nlohmann::detail::exception& e) {
    std::string what = e.what();
    if (std::size_t end = what.find("] "); what.starts_with("[json.") && end != what.npos)
        what.erase(0, end + 2);
    return "not JSON (" + what + ")";
}

JsonList readJsonList(std::string_view body, std::string_view member,
                      const std::vector<std::string>& fields, std::size_t maxEntries) {
    JsonList list;
    ListFilter filter(member, fields, maxEntries, list);
    json::sax_parse(body.begin(), body.end(), &filter);
    return list;
}

}  // namespace chartloom::chartserver
