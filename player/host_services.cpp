#include "player/host_services.h"

#include <cstring>

#include "player/playlists.h"
#include "player/track.h"

namespace player {
bool HostConsole::service_query(service_base*& out, const GUID& guid) noexcept {
    return answer_query<ConsoleReceiver>(this, out, guid);
}

void HostConsole::print(const char* text, size_t length) {
    std::string line(text, length == none ? std::strlen(text) : length);
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
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
    PopupMessage m{title ? title : "", message ? message : "", kind};
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(m));
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
