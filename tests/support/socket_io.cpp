#include "tests/support/socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace chartloom::testing {

WaitResult waitFor(int fd, short events, int stopFd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int waitMs = -1;
        if (timeout.count() >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
        const int count = fd >= 0 ? 2 : 1;
        const int n = ::poll(fds, count, waitMs);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || fds[0].revents != 0) {
            return WaitResult::Stopped;
        }
        if (count == 2 && fds[1].revents != 0) {
            return WaitResult::Ready;
        }
        if (n == 0) {
            return WaitResult::TimedOut;
        }
    }
}

bool sendAll(int fd, std::string_view bytes, int stopFd) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(fd, POLLOUT, stopFd, std::chrono::milliseconds(-1)) != WaitResult::Ready) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

bool pauseFor(std::chrono::milliseconds duration, int stopFd) {
    if (duration.count() <= 0) {
        return true;
    }
    return waitFor(-1, 0, stopFd, duration) == WaitResult::TimedOut;
}

void waitForPeerClose(int fd, int stopFd) {
    char scratch[4096];
    while (waitFor(fd, POLLIN, stopFd, std::chrono::milliseconds(-1)) == WaitResult::Ready) {
        const ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return;
        }
    }
}

}  // namespace chartloom::testing
