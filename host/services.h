// The host services a plug-in looks up by class GUID. Each call is marked with the thread it
// may be made on; the reference host reports any other thread as misuse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/bit_array.h"
#include "host/service.h"
#include "host/string_receiver.h"
#include "host/task.h"
#include "host/track_list.h"
#include "host/types.h"

class TaskRunner : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{9DBC262F-4795-4292-824B-23A655011A3E}");
    static constexpr uint32_t flag_show_abort = 0x01;
    static constexpr uint32_t flag_show_progress = 0x04;
    static constexpr uint32_t flag_show_status = 0x10;

    // Main thread. Modal: onInit here, run on a worker thread, onDone here, then returns.
    // The runner holds its own reference to the task while it runs.
    virtual bool runTask(threaded_process_callback* task, uint32_t flags, WindowHandle parent,
                         const char* title) = 0;

protected:
    ~TaskRunner() = default;
};

class PlaybackService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{BF803668-2977-4C71-B9AB-5C77C338C970}");
    static constexpr uint32_t command_play = 1;

    // Main thread.
    virtual void startPlayback(uint32_t command, bool paused) = 0;

protected:
    ~PlaybackService() = default;
};

// Visits playlist items; answer false to stop.
class playlist_item_visitor {
public:
    virtual bool visit(size_t index, metadb_handle* handle, bool selected) = 0;

protected:
    ~playlist_item_visitor() = default;
};

// Every operation: main thread only.
class PlaylistService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{D8D51855-D79D-49B8-97A8-065785FA2426}");

    virtual size_t playlistCount() = 0;
    virtual size_t activePlaylist() = 0;  // none when there is none
    virtual void setActivePlaylist(size_t playlist) = 0;
    virtual void setPlayingPlaylist(size_t playlist) = 0;
    // `position` none = after the last playlist. Answers the new playlist's index.
    virtual size_t createPlaylist(const char* name, size_t nameLength, size_t position) = 0;
    virtual size_t itemCount(size_t playlist) = 0;
    virtual void enumerateItems(size_t playlist, const bit_array& mask,
                                playlist_item_visitor& visitor) = 0;
    // False for an index it cannot name.
    virtual bool playlistName(size_t playlist, string_receiver& out) = 0;
    // order[i] is the old position of the item that goes to i. False (nothing changed) when
    // `count` is not the playlist's size or `order` is not a permutation.
    virtual bool reorderItems(size_t playlist, const size_t* order, size_t count) = 0;
    // For each item that `affected` answers yes to, the selection becomes `state`'s answer.
    virtual void setSelection(size_t playlist, const bit_array& affected,
                              const bit_array& state) = 0;
    virtual bool removeItems(size_t playlist, const bit_array& mask) = 0;
    virtual void setFocusItem(size_t playlist, size_t item) = 0;
    // `base` none = at the end. Answers the index of the first inserted item, none on failure.
    virtual size_t insertItems(size_t playlist, size_t base, const track_list& items,
                               const bit_array& selection) = 0;
    // Keeps the playlist's present content as one undo step.
    virtual void saveUndoState(size_t playlist) = 0;

protected:
    ~PlaylistService() = default;
};

class LibraryService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{FEBD85B5-C12D-45B5-B55D-0D3F432B0C6B}");

    // Any thread. Appends every library track to `out`, in library order.
    virtual void allItems(track_list_sink& out) = 0;

protected:
    ~LibraryService() = default;
};

// The lock that makes TrackInfo reads valid. Recursive per thread; lock and unlock pair up.
class TrackDatabase : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{609D48C8-C6A6-4784-8BBD-FDD32BF0740E}");

    // Any thread.
    virtual void lock() = 0;
    virtual void unlock() = 0;

protected:
    ~TrackDatabase() = default;
};

class ConsoleReceiver : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{90DF5270-65BB-4DBA-BAF5-86BE9E59DC20}");

    // Any thread. One line, UTF-8, `length` none = up to the zero.
    virtual void print(const char* text, size_t length) = 0;

protected:
    ~ConsoleReceiver() = default;
};

class PopupService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{D5CAC75A-3023-4DCE-8B0D-B502BD056A7C}");
    static constexpr uint32_t kind_error = 1;

    // Any thread; returns once the user has seen the message.
    virtual void show(const char* message, const char* title, uint32_t kind) = 0;

protected:
    ~PopupService() = default;
};
