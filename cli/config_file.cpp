#include "cli/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <toml++/toml.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/usage_error.h"
#include "toolbase/file_read.h"
#include "toolbase/terminal_text.h"
#include "toolbase/xdg_dirs.h"

namespace chartloom::cli {
namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
    throw UsageError(printable(path) + ": " + why);
}

// The file's bytes, read without ever blocking on something that is not a regular file.
std::optional<std::string> readConfig(const std::string& path) {
    try {
        return readRegularFile(path, kMaxConfigBytes);
    } catch (const std::system_error& e) {
        int error = e.code().value();
        struct stat st {};
        // A file that this user cannot even see is no configuration.
        if (error == ENOTDIR || (error == EACCES && ::stat(path.c_str(), &st) != 0))
            return std::nullopt;
        if (error == EINVAL)
            refuse(path, "not a regular file, so not read as a configuration");
        if (error == EFBIG)
            refuse(path, "larger than 1 MiB, so not a configuration");
        refuse(path, std::strerror(error));
    }
}

const char* typeName(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "a list";
        case toml::node_type::string:
            return "text";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a number";
        case toml::node_type::boolean:
            return "true or false";
        default:
            return "a date or time";
    }
}

// The text an option would get on the command line for a scalar node.
std::optional<std::string> scalarText(const toml::node& node) {
    if (auto s = node.as_string())
        return expandHome(s->get());
    if (auto i = node.as_integer())
        return std::to_string(i->get());
    if (auto f = node.as_floating_point()) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", f->get());
        return text;
    }
    if (auto b = node.as_boolean())
        return b->get() ? "true" : "false";
    return std::nullopt;
}

ConfigValue::Type typeOf(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::integer:
            return ConfigValue::Type::integer;
        case toml::node_type::floating_point:
            return ConfigValue::Type::number;
        case toml::node_type::boolean:
            return ConfigValue::Type::boolean;
        case toml::node_type::array:
            return ConfigValue::Type::list;
        default:
            return ConfigValue::Type::text;
    }
}

}  // namespace

std::string ConfigFile::where(const ConfigValue& value) const {
    return printable(path) + ":" + std::to_string(value.line) + ":" + std::to_string(value.column);
}

std::string defaultConfigFile() {
    std::filesystem::path base = chartloomDir(XdgDir::config);
    return base.empty() ? std::string() : (base / "config.toml").string();
}

std::string expandHome(const std::string& text) {
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return text;
    for (const char* prefix : {"${HOME}", "$HOME", "~"}) {
        std::string_view p = prefix;
        if (text.starts_with(p) && (text.size() == p.size() || text[p.size()] == '/'))
            return home + text.substr(p.size());
    }
    return text;
}

ConfigFile readConfigFile(const std::string& path, bool required) {
    ConfigFile file;
    file.path = path;
    if (path.empty())
        return file;
    std::optional<std::string> text = readConfig(path);
    if (!text && required)
        refuse(path, "no such file");
    if (!text)
        return file;
    file.exists = true;
    std::string_view body = *text;
    if (body.starts_with("\xEF\xBB\xBF"))
        body.remove_prefix(3);
    toml::table root;
    try {
        root = toml::parse(body, path);
    } catch (const toml::parse_error& e) {
        throw UsageError(printable(path) + ":" + std::to_string(e.source().begin.line) + ":" +
                         std::to_string(e.source().begin.column) + ": " +
                         std::string(e.description()));
    }
    auto add = [&](const std::string& section, const toml::key& key, const toml::node& node) {
        ConfigValue v;
        v.section = section;
        v.key = std::string(key.str());
        v.type = typeOf(node);
        v.line = static_cast<int>(key.source().begin.line);
        v.column = static_cast<int>(key.source().begin.column);
        if (auto list = node.as_array()) {
            for (const toml::node& element : *list) {
                std::optional<std::string> item = scalarText(element);
                if (!item || element.type() != toml::node_type::string) {
                    throw UsageError(file.where(v) + ": " + v.key +
                                     " is a list of texts, but holds " + typeName(element));
                }
                v.values.push_back(*item);
            }
        } else if (std::optional<std::string> item = scalarText(node)) {
            v.values.push_back(*item);
        } else {
            throw UsageError(file.where(v) + ": " + v.key + " is " + typeName(node) +
                             ", which no option takes");
        }
        file.values.push_back(std::move(v));
    };
    for (const auto& [key, node] : root) {
        if (const toml::table* section = node.as_table()) {
            for (const auto& [innerKey, inner] : *section) {
                if (inner.is_table()) {
                    ConfigValue at;
                    at.section = std::string(key.str());
                    at.key = std::string(innerKey.str());
                    at.line = static_cast<int>(innerKey.source().begin.line);
                    at.column = static_cast<int>(innerKey.source().begin.column);
                    throw UsageError(file.where(at) + ": [" + at.section + "." + at.key +
                                     "]: sections do not nest");
                }
                add(std::string(key.str()), innerKey, inner);
            }
        } else {
            add("", key, node);
        }
    }
    return file;
}

}  // namespace chartloom::cli
