#include "mpd/mpd_idle.h"

#include <mpd/client.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace chartloom::mpd {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

void WakeEvent::wake() {
    uint64_t one = 1;
    // Fails only when the counter is full, which leaves it set all the same.
    [[maybe_unused]] ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void WakeEvent::drain() {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fd_.get(), &count, sizeof count);
}

bool WakeEvent::wait(std::chrono::milliseconds timeout) {
    pollfd p{fd_.get(), POLLIN, 0};
    int ms = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    int n;
    do {
        n = ::poll(&p, 1, ms);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

IdleEnd idleUntil(MpdConnection& mpd, unsigned mask, WakeEvent& wake) {
    const char* doing = "waiting for MPD's events";
    if (!mpd_send_idle_mask(mpd.get(), static_cast<mpd_idle>(mask)))
        mpd.fail(doing);
    pollfd fds[2] = {{mpd_connection_get_fd(mpd.get()), POLLIN, 0}, {wake.fd(), POLLIN, 0}};
    int n;
    do {
        n = ::poll(fds, 2, -1);
    } while (n < 0 && errno == EINTR);
    IdleEnd end;
    // An answer already there wins: noidle after it would be taken for a new command.
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && (fds[1].revents & POLLIN)) {
        end.woken = true;
        if (!mpd_send_noidle(mpd.get()))
            mpd.fail(doing);
    }
    end.events = mpd_recv_idle(mpd.get(), false);
    if (end.events == 0 && mpd_connection_get_error(mpd.get()) != MPD_ERROR_SUCCESS)
        mpd.fail(doing);
    if (!mpd_response_finish(mpd.get()))
        mpd.fail(doing);
    return end;
}

}  // namespace chartloom::mpd
