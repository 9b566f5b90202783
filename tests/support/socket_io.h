// Socket helpers for the scripted test server: waits, sends and pauses that all give up at once
// when the server's stop descriptor becomes readable.
#pragma once

#include <chrono>
#include <string_view>

#include "toolbase/unique_fd.h"

namespace chartloom::testing {

enum class WaitResult { Ready, Stopped, TimedOut };

// Waits until `fd` has one of `events` (poll flags) or `stopFd` is readable; a negative
// timeout waits for ever. Errors and hang-ups on `fd` count as ready.
WaitResult waitFor(int fd, short events, int stopFd, std::chrono::milliseconds timeout);
// Sends every byte of `bytes` on the non-blocking socket `fd`. False if the peer went away or
// the server is stopping.
bool sendAll(int fd, std::string_view bytes, int stopFd);
// Sleeps for `duration` unless the server stops first (then false).
bool pauseFor(std::chrono::milliseconds duration, int stopFd);
// Blocks until the peer closes the connection or the server stops; anything received is
// thrown away.
void waitForPeerClose(int fd, int stopFd);

}  // namespace chartloom::testing
