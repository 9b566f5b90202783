// One connection to MPD, closed when the object goes. Not shared between threads.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "mpd/mpd_address.h"
#include "toolbase/store_error.h"

struct mpd_connection;

namespace chartloom::mpd {

// MPD went away or stopped answering after the connection was made (the program exits 1).
// MPD not running, or refusing a password or a command for lack of permission, is a
// StoreError instead (exit 2).
struct MpdLost : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// MPD refused the password, or a command for lack of permission: trying again will not help.
struct MpdRefused : StoreError {
    using StoreError::StoreError;
};

// MPD answered a command with an error other than a refusal.
struct MpdCommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Counts the lines of one answer against what the question can bring, so that an answer
// without end ends. [one thread]
class AnswerLimit {
public:
    AnswerLimit(size_t maxLines, const std::string& doing) : left_(maxLines), doing_(doing) {}
    // Call per line received; raises through `mpd.tooMuch` past the limit.
    void count(class MpdConnection& mpd);

private:
    size_t left_;
    const std::string& doing_;
};

class MpdConnection {
public:
    // Connects and gives the address's password. Raises StoreError naming the address and
    // MPD's own text when MPD is not there, MpdRefused when it refuses the password.
    explicit MpdConnection(const MpdAddress& address);
    MpdConnection(MpdConnection&&) noexcept = default;
    MpdConnection& operator=(MpdConnection&&) noexcept = default;
    ~MpdConnection();

    mpd_connection* get() const { return connection_.get(); }
    const MpdAddress& address() const { return address_; }

    // After a libmpdclient call failed: raises MpdRefused for a refusal, MpdCommandError for
    // another error answer (the connection goes on), MpdLost when the connection is broken.
    // `doing` completes "while ...".
    [[noreturn]] void fail(const std::string& doing);
    // After a failed call: true (and the error cleared) when MPD answered with the error
    // `ack` (an enum mpd_server_error), so that the caller can go on.
    bool clearAnswer(int ack);
    // Ends a command's answer; fail(doing) when it was an error.
    void finish(const std::string& doing);
    // After a failed call: true when MPD closed the connection, as it does when an answer
    // outgrows its output buffer (max_output_buffer_size).
    bool closedByMpd() const;
    // A new connection in place of this one. Raises MpdLost when MPD is no longer there.
    void reconnect();

    // Raises StoreError: MPD's answer brought more than the question can have an answer to (a
    // broken or hostile server). The connection is of no further use.
    [[noreturn]] void tooMuch(const std::string& doing);

private:
    struct Close {
        void operator()(mpd_connection* c) const;
    };
    MpdAddress address_;
    std::unique_ptr<mpd_connection, Close> connection_;
};

}  // namespace chartloom::mpd
