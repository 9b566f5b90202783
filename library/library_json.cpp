#include "library/library_json.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "library/json_events.h"
#include "toolbase/path_text.h"
#include "toolbase/store_error.h"

namespace chartloom::library {
namespace {

using nlohmann::json;

// A file mapped into memory for reading, unmapped on destruction.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& file) {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw StoreError(file.string() +
                             ": cannot read the library file: " + std::strerror(errno));
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw StoreError(file.string() + ": cannot read the library file: not a file");
        }
        size_ = static_cast<size_t>(st.st_size);
        if (size_ > 0) {
            // Mapped in one go: cheaper than a fault per page for a file read whole.
            void* at = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (at == MAP_FAILED) {
                int err = errno;
                ::close(fd);
                throw StoreError(file.string() +
                                 ": cannot read the library file: " + std::strerror(err));
            }
            data_ = static_cast<const char*>(at);
            ::madvise(at, size_, MADV_SEQUENTIAL);
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (data_)
            ::munmap(const_cast<char*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view text() const { return {data_ ? data_ : "", size_}; }

private:
    const char* data_ = nullptr;
    size_t size_ = 0;
};

// Where the reader stands.
enum class At {
    start,     // before the root
    root,      // in the root object
    tracks,    // in the "tracks" array
    track,     // in one track object
    meta,      // in a track's "meta" object
    metaList,  // in the list of one meta field
    info,      // in a track's "info" object
    skipping,  // inside a value nobody reads
    done,      // after the root
};

// Follows the events of one document; every fault raises StoreError at once.
class Reader final : public JsonEvents {
public:
    Reader(std::string_view text, const std::string& name, const TrackSink& sink)
        : text_(text), name_(name), sink_(sink) {}

    // The "root" member, when the document has one.
    const std::optional<std::string>& root() const { return root_; }

    void null() override { scalar("null"); }
    void boolean(bool value) override {
        if (at_ == At::track && key_ == Key::unreadable) {
            record_.setUnreadable(value);
            return;
        }
        scalar("bool");
    }
    void integer(int64_t value) override { number(std::to_string(value)); }
    void unsignedInteger(uint64_t value) override { number(std::to_string(value)); }
    void floating(double) override { scalar("number"); }

    void string(std::string& value) override {
        switch (at_) {
            case At::root:
                if (rootKeyIsRoot_) {
                    root_ = std::move(value);
                    return;
                }
                scalar("text");
                return;
            case At::track:
                if (key_ == Key::path) {
                    if (value.empty())
                        badEntry("\"path\" must be a non-empty text");
                    path_ = std::move(value);
                    hasPath_ = true;
                    return;
                }
                if (key_ == Key::rawPath) {
                    if (!percentDecode(value, rawPath_) || rawPath_.empty())
                        badEntry("\"raw_path\" must be a non-empty %-encoded path");
                    hasRawPath_ = true;
                    return;
                }
                scalar("text");
                return;
            case At::meta:
                record_.beginMeta(field_);
                record_.addValue(value);
                return;
            case At::metaList:
                record_.addValue(value);
                return;
            case At::info:
                record_.addInfo(field_, value);
                return;
            default:
                scalar("text");
                return;
        }
    }

    void key(std::string& name) override {
        switch (at_) {
            case At::root:
                rootKeyIsTracks_ = name == "tracks";
                rootKeyIsRoot_ = name == "root";
                return;
            case At::track:
                key_ = name == "path"         ? Key::path
                       : name == "raw_path"   ? Key::rawPath
                       : name == "unreadable" ? Key::unreadable
                       : name == "meta"       ? Key::meta
                       : name == "info"       ? Key::info
                                              : Key::other;
                return;
            case At::meta:
            case At::info:
                field_ = std::move(name);
                return;
            default:
                return;
        }
    }

    void startObject() override {
        switch (at_) {
            case At::start:
                at_ = At::root;
                return;
            case At::tracks:
                at_ = At::track;
                record_.clear();
                path_.clear();
                hasPath_ = hasRawPath_ = false;
                key_ = Key::other;
                return;
            case At::track:
                if (key_ == Key::meta) {
                    record_.clearMeta();  // of a repeated key, the last counts
                    at_ = At::meta;
                    return;
                }
                if (key_ == Key::info) {
                    record_.clearInfo();
                    at_ = At::info;
                    return;
                }
                skipOrFail("object");
                return;
            default:
                skipOrFail("object");
                return;
        }
    }

    void endObject() override {
        switch (at_) {
            case At::skipping:
                leaveSkipped();
                return;
            case At::root:
                if (!sawTracks_)
                    throw StoreError(name_ + ": expected {\"tracks\": [...]}");
                at_ = At::done;
                return;
            case At::track:
                finishTrack();
                at_ = At::tracks;
                ++index_;
                return;
            case At::meta:
            case At::info:
                at_ = At::track;
                key_ = Key::other;
                return;
            default:
                return;
        }
    }

    void startArray() override {
        if (at_ == At::root && rootKeyIsTracks_) {
            if (sawTracks_)
                throw StoreError(name_ + ": \"tracks\" is given twice");
            sawTracks_ = true;
            at_ = At::tracks;
            return;
        }
        if (at_ == At::meta) {
            record_.beginMeta(field_);
            at_ = At::metaList;
            return;
        }
        skipOrFail("list");
    }

    void endArray() override {
        switch (at_) {
            case At::skipping:
                leaveSkipped();
                return;
            case At::tracks:
                at_ = At::root;
                rootKeyIsTracks_ = false;
                return;
            case At::metaList:
                at_ = At::meta;
                return;
            default:
                return;
        }
    }

    // Text that is not JSON.
    [[noreturn]] void syntaxError(const JsonSyntaxError& e) const {
        throw StoreError(name_ + ": not a library JSON file: " + place(e.position) + ": " +
                         e.what());
    }

private:
    enum class Key { path, rawPath, unreadable, meta, info, other };

    // A value that is not a container, where `at_` and `key_` tell what was expected.
    void scalar(const char* kind) {
        switch (at_) {
            case At::start:
                throw StoreError(name_ + ": expected {\"tracks\": [...]}");
            case At::root:
                if (rootKeyIsTracks_)
                    throw StoreError(name_ + ": expected {\"tracks\": [...]}");
                if (rootKeyIsRoot_)
                    throw StoreError(name_ + ": \"root\" must be a text (the music folder)");
                return;
            case At::tracks:
                badEntry("expected an object");
            case At::track:
                switch (key_) {
                    case Key::path:
                        badEntry("\"path\" must be a non-empty text");
                    case Key::rawPath:
                        badEntry("\"raw_path\" must be a non-empty %-encoded path");
                    case Key::unreadable:
                        badEntry("\"unreadable\" must be true or false");
                    case Key::meta:
                        badEntry("\"meta\" must be an object");
                    case Key::info:
                        badEntry("\"info\" must be an object");
                    case Key::other:
                        return;
                }
                return;
            case At::meta:
                badField("meta", "expected a list of texts");
            case At::metaList:
                badField("meta", "values must be texts");
            case At::info:
                badField("info", "expected a text");
            default:
                (void)kind;
                return;
        }
    }

    void number(const std::string& text) {
        if (at_ == At::info) {
            record_.addInfo(field_, text);
            return;
        }
        scalar("number");
    }

    // A container where none is read: skipped where any value may stand, a fault elsewhere.
    void skipOrFail(const char* kind) {
        if (at_ == At::skipping) {
            ++skipDepth_;
            return;
        }
        bool free = (at_ == At::root && !rootKeyIsTracks_ && !rootKeyIsRoot_) ||
                    (at_ == At::track && key_ == Key::other);
        if (!free) {
            scalar(kind);  // raises the fault of this place
            throw StoreError(name_ + ": unexpected " + kind);
        }
        resume_ = at_;
        at_ = At::skipping;
        skipDepth_ = 1;
    }

    void leaveSkipped() {
        if (--skipDepth_ == 0)
            at_ = resume_;
    }

    void finishTrack() {
        if (!hasPath_)
            badEntry("\"path\" must be a non-empty text");
        const std::string& path = hasRawPath_ ? rawPath_ : path_;
        if (const char* why = pathProblem(path))
            badEntry("the path " + quotedPath(path) + " cannot be stored: " + why);
        record_.setPath(path);
        record_.sortFields();
        sink_(record_);
    }

    [[noreturn]] void badEntry(const std::string& what) const {
        throw StoreError(name_ + ": tracks[" + std::to_string(index_) + "]: " + what);
    }
    [[noreturn]] void badField(const char* group, const std::string& what) const {
        throw StoreError(name_ + ": tracks[" + std::to_string(index_) + "]." + group + "." +
                         field_ + ": " + what);
    }

    // "line L, column C" of a byte position, both counted from 1.
    std::string place(std::size_t position) const {
        size_t end = std::min(position, text_.size());
        size_t line = 1, lineStart = 0;
        for (size_t i = 0; i < end; ++i) {
            if (text_[i] == '\n') {
                ++line;
                lineStart = i + 1;
            }
        }
        size_t column = end > lineStart ? end - lineStart : 1;
        return "line " + std::to_string(line) + ", column " + std::to_string(column);
    }

    std::string_view text_;
    const std::string& name_;
    const TrackSink& sink_;
    At at_ = At::start;
    At resume_ = At::start;
    size_t skipDepth_ = 0;
    bool rootKeyIsTracks_ = false;
    bool rootKeyIsRoot_ = false;
    std::optional<std::string> root_;
    bool sawTracks_ = false;
    Key key_ = Key::other;
    std::string field_;
    size_t index_ = 0;
    player::TrackRecord record_;
    std::string path_, rawPath_;
    bool hasPath_ = false, hasRawPath_ = false;
};

void appendJsonText(std::string& out, std::string_view text) {
    out += json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::optional<std::string> readLibraryJsonText(std::string_view text, const std::string& name,
                                               const TrackSink& sink) {
    Reader reader(text, name, sink);
    try {
        readJsonEvents(text, reader);
    } catch (const JsonSyntaxError& e) {
        reader.syntaxError(e);
    }
    return reader.root();
}

std::optional<std::string> readLibraryJson(const std::filesystem::path& file,
                                           const TrackSink& sink) {
    MappedFile mapped(file);
    return readLibraryJsonText(mapped.text(), file.string(), sink);
}

LibraryJsonWriter::LibraryJsonWriter(std::string& out, const std::string& root) : out_(out) {
    out_ += "{\n";
    if (!root.empty()) {
        out_ +=
            " \"root\": " + json(root).dump(-1, ' ', false, json::error_handler_t::replace) + ",\n";
    }
    out_ += " \"tracks\": [";
}

// Keys in byte order at every level, laid out as nlohmann's dump(1) lays them out.
void LibraryJsonWriter::add(const player::TrackRecord& track) {
    out_ += count_++ == 0 ? "\n  {" : ",\n  {";
    if (!track.unreadable()) {
        out_ += "\n   \"info\": {";
        for (size_t f = 0; f < track.infoCount(); ++f) {
            out_ += f == 0 ? "\n    " : ",\n    ";
            appendJsonText(out_, track.infoName(f));
            out_ += ": ";
            appendJsonText(out_, track.infoValue(f));
        }
        out_ += track.infoCount() == 0 ? "}," : "\n   },";
        out_ += "\n   \"meta\": {";
        for (size_t f = 0; f < track.metaCount(); ++f) {
            out_ += f == 0 ? "\n    " : ",\n    ";
            appendJsonText(out_, track.metaName(f));
            out_ += ": [";
            for (size_t n = 0; n < track.valueCount(f); ++n) {
                out_ += n == 0 ? "\n     " : ",\n     ";
                appendJsonText(out_, track.value(f, n));
            }
            out_ += track.valueCount(f) == 0 ? "]" : "\n    ]";
        }
        out_ += track.metaCount() == 0 ? "}," : "\n   },";
    }
    out_ += "\n   \"path\": ";
    appendJsonText(out_, track.path());
    if (!isUtf8(track.path())) {
        out_ += ",\n   \"raw_path\": ";
        appendJsonText(out_, percentEncodeRaw(track.path()));
    }
    if (track.unreadable())
        out_ += ",\n   \"unreadable\": true";
    out_ += "\n  }";
}

void LibraryJsonWriter::finish() {
    out_ += count_ == 0 ? "]\n}" : "\n ]\n}";
}

}  // namespace chartloom::library
