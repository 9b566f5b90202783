#include "tests/support/mpd_daemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/socket_io.h"

namespace chartloom::testing {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A port the kernel just handed out and took back: free unless someone takes it meanwhile.
uint16_t freePort() {
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    if (!s || ::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        throw std::runtime_error("no free loopback port");
    }
    return ntohs(a.sin_port);
}

// A connection that has read the greeting; none when MPD does not answer.
UniqueFd greeted(uint16_t port) {
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = loopback(port);
    if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return {};
    timeval timeout{10, 0};
    ::setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char greeting[64] = {};
    ssize_t n = ::recv(s.get(), greeting, sizeof greeting - 1, 0);
    if (n <= 0 || std::string_view(greeting, size_t(n)).substr(0, 7) != "OK MPD ")
        return {};
    return s;
}

}  // namespace

MpdDaemon::MpdDaemon(const fs::path& music, MpdDaemonOptions options)
    : music_(fs::absolute(music)),
      home_(options.home),
      password_(options.password),
      maxOutputKiB_(options.maxOutputKiB) {
    if (home_.empty()) {
        std::string pattern = (fs::temp_directory_path() / "chartloom-mpd-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        home_ = pattern;
        ownHome_ = true;
    }
    fs::create_directories(playlistFolder());
    // A port taken between freePort() and MPD's bind makes MPD exit: try another.
    for (int attempt = 0; !process_ && attempt < 5; ++attempt)
        start(freePort());
    if (!process_)
        throw std::runtime_error("MPD did not start; see " + (home_ / "log").string());
    // The first start builds the database: wait until it is done. MPD starts that job before
    // it takes connections, so the first status already shows it.
    auto deadline = std::chrono::steady_clock::now() + 600s;
    while (!values("status", "updating_db").empty()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("MPD did not finish its database");
        std::this_thread::sleep_for(20ms);
    }
}

void MpdDaemon::restart() {
    stop();
    start(port_);
    if (!process_)
        throw std::runtime_error("MPD did not start again; see " + (home_ / "log").string());
}

void MpdDaemon::start(uint16_t port) {
    port_ = port;
    std::ofstream conf(home_ / "mpd.conf");
    conf << "music_directory " << MpdDaemon::quote(music_) << "\n"
         << "playlist_directory " << MpdDaemon::quote(playlistFolder()) << "\n"
         << "db_file " << MpdDaemon::quote(home_ / "database") << "\n"
         << "state_file " << MpdDaemon::quote(home_ / "state") << "\n"
         << "sticker_file " << MpdDaemon::quote(home_ / "sticker.sql") << "\n"
         << "pid_file " << MpdDaemon::quote(home_ / "pid") << "\n"
         << "log_file " << MpdDaemon::quote(home_ / "log") << "\n"
         << "bind_to_address \"127.0.0.1\"\nport \"" << port_ << "\"\n"
         << "auto_update \"no\"\nzeroconf_enabled \"no\"\n"
         << "audio_output {\n  type \"null\"\n  name \"null\"\n}\n";
    if (maxOutputKiB_ > 0)
        conf << "max_output_buffer_size \"" << maxOutputKiB_ << "\"\n";
    if (!password_.empty())
        conf << "password \"" << password_ << "@read,add,control,admin\"\n";
    conf.close();
    auto child = std::make_unique<ChildProcess>(
        std::vector<std::string>{programPath("mpd"), "--no-daemon", (home_ / "mpd.conf").string()});
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (greeted(port_)) {
            process_ = std::move(child);
            return;
        }
        if (child->waitForExit(0ms) >= 0)
            return;
        std::this_thread::sleep_for(20ms);
    }
}

MpdDaemon::~MpdDaemon() {
    stop();
    if (ownHome_) {
        std::error_code ec;
        fs::remove_all(home_, ec);
    }
}

void MpdDaemon::stop() {
    if (process_)
        process_->signalAndWait(SIGTERM, 10s);
    process_.reset();
}

std::string MpdDaemon::quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::vector<std::string> MpdDaemon::command(const std::string& line) const {
    UniqueFd s = greeted(port_);
    if (!s)
        throw std::runtime_error("MPD at " + address() + " does not answer");
    timeval patient{120, 0};  // a long command list of sticker writes takes a while
    ::setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, &patient, sizeof patient);
    std::string request = (password_.empty() ? "" : "password " + password_ + "\n") + line + "\n";
    if (::send(s.get(), request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        throw std::runtime_error("cannot send to MPD");
    std::string received;
    std::vector<std::string> lines;
    bool passwordAnswered = password_.empty();
    for (;;) {
        size_t end;
        while ((end = received.find('\n')) != std::string::npos) {
            std::string l = received.substr(0, end);
            received.erase(0, end + 1);
            if (l.starts_with("ACK"))
                throw MpdAck(line + ": " + l);
            if (l == "OK") {
                if (passwordAnswered)
                    return lines;
                passwordAnswered = true;
                continue;
            }
            lines.push_back(l);
        }
        char buffer[65536];
        ssize_t n = ::recv(s.get(), buffer, sizeof buffer, 0);
        if (n <= 0)
            throw std::runtime_error("MPD closed the connection during " + line);
        received.append(buffer, size_t(n));
    }
}

void MpdDaemon::setPlayCounts(
    const std::vector<std::pair<std::string, std::string>>& counts) const {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open((home_ / "sticker.sql").c_str(), &raw);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
    auto check = [&](int result, int expected) {
        if (result != expected)
            throw std::runtime_error(std::string("sticker database: ") + sqlite3_errmsg(raw));
    };
    check(rc, SQLITE_OK);
    sqlite3_busy_timeout(raw, 10000);
    check(sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    check(sqlite3_prepare_v2(raw,
                             "INSERT OR REPLACE INTO sticker(type, uri, name, value) "
                             "VALUES('song', ?, 'playcount', ?)",
                             -1, &statement, nullptr),
          SQLITE_OK);
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> insert(statement, sqlite3_finalize);
    for (const auto& [uri, count] : counts) {
        sqlite3_bind_text(statement, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, count.c_str(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(statement), SQLITE_DONE);
        sqlite3_reset(statement);
    }
    check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
}

std::vector<std::string> MpdDaemon::values(const std::string& line, const std::string& key) const {
    std::vector<std::string> out;
    for (const auto& l : command(line)) {
        if (l.starts_with(key + ": "))
            out.push_back(l.substr(key.size() + 2));
    }
    return out;
}

}  // namespace chartloom::testing
