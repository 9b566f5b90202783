// Waiting on MPD without polling: its idle command, ended early when another thread pokes a
// wake event (MPD is then told noidle, as its protocol asks).
#pragma once

#include <chrono>

#include "mpd/mpd_connection.h"
#include "toolbase/unique_fd.h"

namespace chartloom::mpd {

// An eventfd that any thread pokes to end the loop thread's waits; it stays set until drained.
class WakeEvent {
public:
    WakeEvent();
    void wake();   // [any thread]
    void drain();  // [the waiting thread]
    int fd() const { return fd_.get(); }
    // Blocks up to `timeout` (negative: without end); true when poked meanwhile.
    bool wait(std::chrono::milliseconds timeout);

private:
    UniqueFd fd_;
};

struct IdleEnd {
    unsigned events = 0;  // enum mpd_idle flags MPD reported
    bool woken = false;
};

// Waits in MPD's idle for the `mask` events (enum mpd_idle) or for `wake`. The wake event is
// left set for the caller to drain. Raises as MpdConnection::fail does.
IdleEnd idleUntil(MpdConnection& mpd, unsigned mask, WakeEvent& wake);

}  // namespace chartloom::mpd
