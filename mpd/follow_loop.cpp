#include "mpd/follow_loop.h"

#include <mpd/client.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "host/shared_functions.h"
#include "mpd/follow_picker.h"
#include "mpd/mpd_library.h"
#include "mpd/mpd_queue.h"

namespace chartloom::mpd {
namespace {

using namespace std::chrono_literals;

constexpr auto kFirstRetry = 1s;
constexpr auto kLongestRetry = 30s;
constexpr int64_t kKeepHistory = 30 * 24 * 3600;  // rows kept at least this long
constexpr unsigned kEvents = MPD_IDLE_PLAYER | MPD_IDLE_QUEUE | MPD_IDLE_DATABASE;

std::string named(const SongRef& song) {
    return "\"" + (song.artist.empty() ? song.uri : song.artist + " - " + song.title) + "\"";
}

bool sameArtist(const std::string& a, const std::string& b) {
    return stricmp_utf8(a.c_str(), b.c_str()) == 0;
}

}  // namespace

FollowLoop::FollowLoop(player::Host& host, FollowHistory& history, FollowReport& report,
                       FollowSettings settings)
    : host_(host), history_(history), report_(report), settings_(std::move(settings)) {}

FollowLoop::~FollowLoop() = default;

void FollowLoop::stop() {
    stop_.store(true);
    host_.taskRunner().abort();
    wake_.wake();
}

int64_t FollowLoop::now() const {
    return static_cast<int64_t>(std::time(nullptr));
}

FollowLoop::Outcome FollowLoop::run() {
    auto window = static_cast<int64_t>(settings_.historyHours * 3600);
    if (!settings_.dryRun)
        history_.forget(now() - std::max(window, kKeepHistory));
    std::chrono::milliseconds retry = kFirstRetry;
    bool gone = false;  // a line said MPD is gone; the next connection says it is back
    while (!stopping()) {
        try {
            mpd_.emplace(settings_.address);
            if (std::exchange(gone, false))
                report_.info("connected to MPD at " + settings_.address.text() + " again");
            retry = kFirstRetry;
            if (!loadLibrary())
                break;
            return follow();
        } catch (const MpdRefused& e) {
            report_.error(e.what());
            return Outcome::refused;
        } catch (const std::runtime_error& e) {
            // Not there, gone, or answering what it should not: a new connection may do.
            if (settings_.once) {
                report_.error(e.what());
                return Outcome::unreachable;
            }
            if (!std::exchange(gone, true))
                report_.error(std::string(e.what()) + "; trying again until it is back");
        }
        mpd_.reset();
        reader_.reset();
        reloadAgain_ = false;
        wake_.drain();
        if (!stopping())
            wake_.wait(retry);
        retry = std::min<std::chrono::milliseconds>(retry * 2, kLongestRetry);
    }
    return Outcome::stopped;
}

bool FollowLoop::loadLibrary() {
    if (libraryGeneration_ > 0) {
        // Back after a loss: MPD may have a new database.
        if (mpdDatabaseTime(*mpd_) != libraryTime_)
            startReload();
        return true;
    }
    startReload();
    while (!reader_->done()) {
        wake_.wait(-1ms);
        wake_.drain();
        if (stopping())
            return false;
    }
    swapInLibrary();  // raises when the first load failed
    return true;
}

void FollowLoop::startReload() {
    if (reader_) {
        reloadAgain_ = true;
        return;
    }
    reader_ = std::make_unique<LibraryReader>(host_.newLibrary(), settings_.address, wake_,
                                              settings_.looseTags);
}

bool FollowLoop::swapInLibrary() {
    LibraryReader::Result result = reader_->take();
    reader_.reset();
    for (const std::string& note : result.notes)
        report_.info(note);
    bool first = libraryGeneration_ == 0;
    if (!result.library) {
        if (first)
            throw MpdLost(result.error);
        report_.error("cannot reload the library: " + result.error + "; the old one serves");
    } else {
        size_t songs = result.library->size();
        host_.replaceLibrary(std::move(*result.library));
        libraryTime_ = result.databaseTime;
        ++libraryGeneration_;
        report_.info((first ? "library: " : "reloaded the library: ") + std::to_string(songs) +
                     " songs from MPD at " + settings_.address.text());
    }
    if (std::exchange(reloadAgain_, false))
        startReload();
    return result.library.has_value();
}

FollowLoop::Outcome FollowLoop::follow() {
    Outcome first = check();
    if (settings_.once || stopping())
        return stopping() ? Outcome::stopped : first;
    for (;;) {
        IdleEnd end = idleUntil(*mpd_, kEvents, wake_);
        if (end.woken)
            wake_.drain();
        if (stopping())
            return Outcome::stopped;
        if (end.events & MPD_IDLE_DATABASE)
            startReload();
        bool swapped = reader_ && reader_->done() && swapInLibrary();
        if (swapped || (end.events & (MPD_IDLE_PLAYER | MPD_IDLE_QUEUE)))
            check();
        if (stopping())
            return Outcome::stopped;
    }
}

FollowLoop::Outcome FollowLoop::check() {
    try {
        return topUp();
    } catch (const MpdCommandError& e) {
        report_.error(e.what());
        return Outcome::nothingFound;
    }
}

void FollowLoop::notePlayed(const QueueStatus& status) {
    if (status.state != QueueStatus::State::playing || !status.songId ||
        status.songId == lastPlayed_) {
        return;
    }
    lastPlayed_ = status.songId;
    if (settings_.dryRun)
        return;
    if (std::optional<SongRef> song = readCurrentSong(*mpd_))
        history_.record(FollowHistory::Event::played, {*song}, now());
}

void FollowLoop::waiting(const std::string& why) {
    if (why != waitingFor_)
        report_.waiting(why);
    waitingFor_ = why;
}

FollowLoop::Outcome FollowLoop::topUp() {
    QueueStatus status = readQueueStatus(*mpd_);
    notePlayed(status);
    if (status.random && !std::exchange(randomNoted_, true))
        report_.info("MPD's random mode is on: follow still adds at the end of the queue");
    if (status.length == 0) {
        waiting("nothing plays and the queue is empty");
        return Outcome::done;
    }
    unsigned after = status.songPosition ? status.length - *status.songPosition - 1 : status.length;
    if (after >= settings_.ahead) {
        waiting("until fewer than " + std::to_string(settings_.ahead) +
                (settings_.ahead == 1 ? " song follows" : " songs follow") + " the current one");
        return Outcome::done;
    }
    waitingFor_.clear();  // after this round, the same wait is worth saying again

    std::vector<SongRef> queue = readQueueSongs(*mpd_);
    if (queue.empty())
        return Outcome::done;
    bool playing = status.state != QueueStatus::State::stopped && status.songPosition;
    size_t seedAt =
        playing ? std::min<size_t>(*status.songPosition, queue.size() - 1) : queue.size() - 1;
    SongRef seed = queue[seedAt];
    RoundInputs inputs{status.version, seed.uri, libraryGeneration_};
    if (fruitless_ == inputs)
        return Outcome::nothingFound;

    Candidates found = candidates(seed);
    if (found.outcome == Candidates::Outcome::noChart && !stopping()) {
        std::optional<SongRef> before = fallbackSeed(queue, seedAt);
        if (!before) {
            report_.info("nothing for " + named(seed) + " (" + found.message +
                         "): no song added this time");
            fruitless_ = inputs;
            return Outcome::nothingFound;
        }
        report_.info("nothing for " + named(seed) + " (" + found.message + "); trying " +
                     named(*before) + ", the song before it");
        Candidates second = candidates(*before);
        if (second.outcome == Candidates::Outcome::noChart) {
            report_.info("nothing for " + named(*before) + " either (" + second.message +
                         "): no song added this time");
            fruitless_ = inputs;
            return Outcome::nothingFound;
        }
        seed = *before;
        found = std::move(second);
    }
    if (stopping())
        return Outcome::stopped;
    if (found.outcome == Candidates::Outcome::sourceFailed) {
        std::string cause =
            settings_.lastRequestFailure ? settings_.lastRequestFailure() : std::string();
        report_.error("the chart source failed for " + named(seed) + ": " + found.message +
                      (cause.empty() ? "" : " (" + cause + ")") +
                      "; trying again on the next event");
        return Outcome::nothingFound;
    }

    PickContext context;
    for (const SongRef& song : queue)
        context.queued.insert(song.uri);
    if (settings_.historyHours > 0) {
        context.recent = history_.recordedSince(
            now() - static_cast<int64_t>(settings_.historyHours * 3600), found.songs);
    }
    size_t spacing = settings_.mode == FollowMode::charts ? 0 : settings_.spacing;
    for (size_t i = queue.size() - std::min(queue.size(), spacing); i < queue.size(); ++i)
        context.lastArtists.push_back(queue[i].artist);
    Pick pick = pickSongs(found.songs, context, {settings_.add, spacing});
    if (pick.songs.size() < settings_.add) {
        for (auto [reason, count] : {std::pair{SkipReason::queued, pick.skippedQueued},
                                     std::pair{SkipReason::recent, pick.skippedRecent},
                                     std::pair{SkipReason::spacing, pick.skippedSpacing}}) {
            if (count > 0)
                report_.skipped(reason, count);
        }
    }
    if (pick.songs.empty()) {
        report_.info("nothing left to add after " + named(seed) + " of " +
                     std::to_string(found.songs.size()) + " songs the plug-in found");
        fruitless_ = inputs;
        return Outcome::nothingFound;
    }
    if (stopping())
        return Outcome::stopped;
    if (!settings_.dryRun) {
        appendToQueue(*mpd_, pick.songs);
        history_.record(FollowHistory::Event::added, pick.songs, now());
    } else {
        fruitless_ = inputs;  // the same inputs would print the same again
    }
    report_.added(seed, pick.songs, settings_.dryRun);
    return Outcome::done;
}

Candidates FollowLoop::candidates(const SongRef& seed) {
    player::Track* track = host_.findTrack(seed.uri);
    if (!track) {
        // Not in MPD's database (a stream, a file added since): its tags from the queue.
        player::TrackFields fields;
        if (!seed.artist.empty())
            fields.meta.push_back({"artist", {seed.artist}});
        if (!seed.title.empty())
            fields.meta.push_back({"title", {seed.title}});
        track = &host_.addStrayTrack(seed.uri, fields);
    }
    return candidatesFor(host_, *track, settings_.mode);
}

std::optional<SongRef> FollowLoop::fallbackSeed(const std::vector<SongRef>& queue,
                                                size_t seedAt) const {
    const std::string& artist = queue[seedAt].artist;
    for (size_t i = seedAt; i-- > 0;) {
        if (!queue[i].artist.empty() && !sameArtist(queue[i].artist, artist))
            return queue[i];
    }
    return std::nullopt;
}

}  // namespace chartloom::mpd
