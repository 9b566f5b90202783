// Tiny real audio for tests and benchmarks: a PCM WAV file (8 kHz, mono, 16 bits, a tenth of
// a second of silence, so TagLib reports 128 kbit/s) with an ID3v2.4 tag chunk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

struct WavTags {
    std::vector<std::string> artists;
    std::string title;
    std::string playCounter;  // written as the user text frame PLAY_COUNTER
};

namespace wav_detail {

using namespace std::string_literals;

inline std::string le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
inline std::string le16(uint16_t v) {
    return {char(v), char(v >> 8)};
}
inline std::string syncsafe(uint32_t v) {
    return {char(v >> 21 & 0x7F), char(v >> 14 & 0x7F), char(v >> 7 & 0x7F), char(v & 0x7F)};
}
// A text frame in UTF-8 (encoding 3); several values are separated by NUL.
inline std::string frame(const char* id, const std::string& text) {
    std::string body = "\x03" + text;
    return std::string(id, 4) + syncsafe(static_cast<uint32_t>(body.size())) + "\0\0"s + body;
}

}  // namespace wav_detail

inline std::string wavBytes(const WavTags& tags = {}) {
    using namespace wav_detail;
    std::string samples(1600, '\0');
    std::string fmt = le16(1) + le16(1) + le32(8000) + le32(16000) + le16(2) + le16(16);
    std::string body = "WAVEfmt " + le32(16) + fmt + "data" + le32(1600) + samples;
    std::string frames;
    if (!tags.artists.empty()) {
        std::string joined;
        for (size_t i = 0; i < tags.artists.size(); ++i)
            joined += (i ? std::string(1, '\0') : std::string()) + tags.artists[i];
        frames += frame("TPE1", joined);
    }
    if (!tags.title.empty())
        frames += frame("TIT2", tags.title);
    if (!tags.playCounter.empty())
        frames += frame("TXXX", std::string("PLAY_COUNTER") + '\0' + tags.playCounter);
    if (!frames.empty()) {
        std::string id3 =
            "ID3\x04\x00\x00"s + syncsafe(static_cast<uint32_t>(frames.size())) + frames;
        if (id3.size() % 2)
            id3 += '\0';
        body += "id3 " + le32(static_cast<uint32_t>(id3.size())) + id3;
    }
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

inline void writeWav(const std::filesystem::path& file, const WavTags& tags = {}) {
    std::ofstream(file, std::ios::binary) << wavBytes(tags);
}

}  // namespace testing_support
