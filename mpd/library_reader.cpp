#include "mpd/library_reader.h"

#include <new>

#include "library/loose_tags.h"
#include "mpd/mpd_library.h"

namespace chartloom::mpd {
namespace {

struct Stopped {};

}  // namespace

LibraryReader::LibraryReader(player::Host::LibraryBuild library, const MpdAddress& address,
                             WakeEvent& ready, bool looseTags)
    : ready_(ready) {
    thread_ = std::thread([this, library = std::move(library), address, looseTags]() mutable {
        read(std::move(library), address, looseTags);
    });
}

LibraryReader::~LibraryReader() {
    stop_.store(true);
    thread_.join();
}

void LibraryReader::read(player::Host::LibraryBuild library, MpdAddress address, bool looseTags) {
    Result result;
    try {
        MpdConnection mpd(address);
        result.databaseTime = mpdDatabaseTime(mpd);
        library.reserveTracks(mpdSongCount(mpd));
        library::loadWithTags(
            looseTags,
            [&](const player::TrackRecord& record) {
                if (stop_.load())
                    throw Stopped();
                library.addTrack(record);
            },
            [&](const library::TrackSink& sink) {
                loadMpdLibrary(mpd, sink, result.notes);
                return 0;
            });
        result.library.emplace(std::move(library));
    } catch (const Stopped&) {
        result.error = "stopped";
    } catch (const std::bad_alloc&) {
        result.error = "out of memory while reading MPD's database";
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    done_.store(true);
    ready_.wake();
}

LibraryReader::Result LibraryReader::take() {
    std::lock_guard lock(mutex_);
    return std::move(result_);
}

}  // namespace chartloom::mpd
