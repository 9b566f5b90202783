// The host's small services: console, message box, playback and library.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "host/console_receiver.h"
#include "host/library_service.h"
#include "host/playback_service.h"
#include "host/popup_service.h"
#include "player/main_thread.h"

namespace player {

class Track;

// Keeps every line.
class HostConsole final : public ConsoleReceiver {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    void print(const char* text, size_t length) override;

    std::vector<std::string> lines() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

struct PopupMessage {
    std::string title;
    std::string text;
    uint32_t kind;
};

class HostPopups final : public PopupService {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    void show(const char* message, const char* title, uint32_t kind) override;

    std::vector<PopupMessage> messages() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<PopupMessage> messages_;
};

struct PlaybackState {
    int starts = 0;
    uint32_t command = 0;
    bool paused = false;
    size_t playlist = none;  // the playing playlist when playback started
};

class PlaylistStore;

class HostPlayback final : public PlaybackService {
public:
    HostPlayback(MainThread& main, const PlaylistStore& playlists)
        : main_(main), playlists_(playlists) {}
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    void startPlayback(uint32_t command, bool paused) override;

    const PlaybackState& state() const { return state_; }

private:
    MainThread& main_;
    const PlaylistStore& playlists_;
    PlaybackState state_;
};

class HostLibrary final : public LibraryService {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override;
    void allItems(track_list_sink& out) override;

    // Host side, before any task runs.
    void add(Track* track) { tracks_.push_back(track); }
    // Room for `more` tracks, so that add() cannot fail.
    void reserve(size_t more) {
        if (tracks_.capacity() - tracks_.size() < more)
            tracks_.reserve(std::max(tracks_.size() + more, tracks_.size() * 2));
    }
    const std::vector<Track*>& tracks() const { return tracks_; }
    // Host side, while no task runs.
    void replace(std::vector<Track*> tracks) { tracks_ = std::move(tracks); }

private:
    std::vector<Track*> tracks_;
};

}  // namespace player
