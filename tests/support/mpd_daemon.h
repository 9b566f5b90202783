// A real MPD for tests and benchmarks: an ordinary process on a free loopback port, configured
// in a folder of its own (database, playlists, stickers, state) with a null audio output.
//
//   MpdDaemon mpd(musicFolder);                  // returns once MPD greets and has its database
//   run chartloom with --mpd mpd.address() ...
//   EXPECT_EQ(mpd.values("status", "state"), std::vector<std::string>{"play"});
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

namespace chartloom::testing {

struct MpdDaemonOptions {
    // With a password, a client without it may do nothing; with it, everything.
    std::string password;
    // Where MPD keeps its database, state, stickers and playlists; empty: a new temporary
    // folder, removed at the end. A folder kept from an earlier start reuses its database.
    std::filesystem::path home;
    // MPD's cap on one answer (max_output_buffer_size), 0 for its default of 8 MiB.
    unsigned maxOutputKiB = 0;
};

// An answer starting with ACK.
struct MpdAck : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class MpdDaemon {
public:
    // Raises std::runtime_error when MPD does not start or does not finish its database.
    explicit MpdDaemon(const std::filesystem::path& music, MpdDaemonOptions options = {});
    MpdDaemon(const MpdDaemon&) = delete;
    MpdDaemon& operator=(const MpdDaemon&) = delete;
    ~MpdDaemon();

    uint16_t port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::filesystem::path playlistFolder() const { return home_ / "playlists"; }
    std::filesystem::path logFile() const { return home_ / "log"; }

    // `text` as one argument of a command line.
    static std::string quote(const std::string& text);
    // Sends one command line (with the password first, if any) on a connection of its own;
    // the answer's lines without the final OK. Raises MpdAck for an error answer.
    std::vector<std::string> command(const std::string& line) const;
    // The values of `key` in the answer, in order.
    std::vector<std::string> values(const std::string& line, const std::string& key) const;
    // Sets the sticker "playcount" of each (URI, count) in MPD's sticker database directly, in
    // one transaction: far faster than a sticker command per song, each a write of its own.
    void setPlayCounts(const std::vector<std::pair<std::string, std::string>>& counts) const;
    // Ends MPD (SIGTERM) and waits for it.
    void stop();
    // Starts it again after stop(), on the same port and with the same database, as a restart
    // of the service would. Raises std::runtime_error when it does not come back.
    void restart();
    bool running() const { return process_ != nullptr; }

private:
    void start(uint16_t port);

    std::filesystem::path music_;
    std::filesystem::path home_;
    bool ownHome_ = false;
    std::string password_;
    unsigned maxOutputKiB_ = 0;
    uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace chartloom::testing
