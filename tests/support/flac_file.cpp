#include "tests/support/flac_file.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>

#include "tests/support/child_process.h"

namespace chartloom::testing {
namespace fs = std::filesystem;
namespace {

struct Template {
    std::string streamInfo;  // the STREAMINFO block's body
    std::string frames;      // the audio after the metadata
};

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t be24(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 16 | uint32_t(uint8_t(s[at + 1])) << 8 | uint8_t(s[at + 2]);
}

std::string le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string blockHeader(uint8_t type, bool last, size_t length) {
    return {char(type | (last ? 0x80 : 0)), char(length >> 16), char(length >> 8), char(length)};
}

Template encodeSilence(long ms) {
    fs::path dir = fs::temp_directory_path() /
                   ("chartloom-flac-" + std::to_string(::getpid()) + "-" + std::to_string(ms));
    fs::create_directories(dir);
    std::ofstream(dir / "in.raw", std::ios::binary) << std::string(size_t(ms) * 16, '\0');
    ChildResult r =
        runChild(programPath("flac"),
                 {"--silent", "--force-raw-format", "--endian=little", "--sign=signed",
                  "--channels=1", "--bps=16", "--sample-rate=8000", "--no-padding",
                  "--no-seektable", "-o", (dir / "out.flac").string(), (dir / "in.raw").string()});
    std::string bytes = readAll(dir / "out.flac");
    fs::remove_all(dir);
    if (r.exitCode != 0 || bytes.size() < 8 || bytes.compare(0, 4, "fLaC") != 0)
        throw std::runtime_error("flac could not encode silence: " + r.err);
    Template t;
    size_t at = 4;
    for (bool last = false; !last && at + 4 <= bytes.size();) {
        last = uint8_t(bytes[at]) & 0x80;
        uint8_t type = uint8_t(bytes[at]) & 0x7f;
        uint32_t length = be24(bytes, at + 1);
        if (type == 0)
            t.streamInfo = bytes.substr(at + 4, length);
        at += 4 + length;
    }
    t.frames = bytes.substr(at);
    return t;
}

const Template& silence(long ms) {
    static std::mutex mutex;
    static std::map<long, Template> made;
    std::lock_guard lock(mutex);
    auto found = made.find(ms);
    if (found == made.end())
        found = made.emplace(ms, encodeSilence(ms)).first;
    return found->second;
}

}  // namespace

void writeFlac(const fs::path& file, const FlacTags& tags, std::chrono::milliseconds length) {
    const Template& audio = silence(static_cast<long>(length.count()));
    std::string comments = le32(9) + "chartloom" + le32(static_cast<uint32_t>(tags.size()));
    for (const auto& [key, value] : tags)
        comments += le32(static_cast<uint32_t>(key.size() + 1 + value.size())) + key + "=" + value;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << "fLaC" << blockHeader(0, false, audio.streamInfo.size()) << audio.streamInfo
        << blockHeader(4, true, comments.size()) << comments << audio.frames;
    if (!out.flush())
        throw std::runtime_error(file.string() + ": cannot write");
}

}  // namespace chartloom::testing
