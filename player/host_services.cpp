#include "player/host_services.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "player/playlists.h"
#include "player/track.h"

namespace player {
bool HostConsole::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<ConsoleReceiver>(this, out, guid);
}

void HostConsole::print(const char* text, size_t length) {
    size_t size = length == none ? std::strlen(text) : length;
    try {
        std::string line(text, size);
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    } catch (const std::bad_alloc&) {
        // Nothing may travel back to the plug-in: the line goes straight to the terminal.
        std::fprintf(stderr, "console (not kept, out of memory): %.*s\n", static_cast<int>(size),
                     text);
    }
}

std::vector<std::string> HostConsole::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void HostConsole::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

bool HostPopups::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<PopupService>(this, out, guid);
}

void HostPopups::show(const char* message, const char* title, uint32_t kind) {
    try {
        PopupMessage m{title ? title : "", message ? message : "", kind};
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(m));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "message box (not kept, out of memory): %s\n", message ? message : "");
    }
}

std::vector<PopupMessage> HostPopups::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

void HostPopups::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

bool HostPlayback::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<PlaybackService>(this, out, guid);
}

void HostPlayback::startPlayback(uint32_t command, bool paused) {
    main_.check("startPlayback");
    ++state_.starts;
    state_.command = command;
    state_.paused = paused;
    state_.playlist = playlists_.playing();
}

bool HostLibrary::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<LibraryService>(this, out, guid);
}

void HostLibrary::allItems(track_list_sink& out) {
    for (Track* t : tracks_)
        out.append(t);
}

}  // namespace player
