#include "cli/follow_output.h"

#include <nlohmann/json.hpp>

#include "toolbase/terminal_text.h"

namespace chartloom::cli {
namespace {

using mpd::SkipReason;
using mpd::SongRef;
using json = nlohmann::ordered_json;

std::string songName(const SongRef& song) {
    if (song.artist.empty() && song.title.empty())
        return song.uri;
    return song.artist + " - " + song.title;
}

std::string songs(size_t n) {
    return std::to_string(n) + (n == 1 ? " song" : " songs");
}

class TextOutput final : public mpd::FollowReport {
public:
    explicit TextOutput(double historyHours) : hours_(historyHours) {}

    void added(const SongRef& seed, const std::vector<SongRef>& added, bool dryRun) override {
        std::string names;
        for (const SongRef& song : added)
            names += (names.empty() ? "" : ", ") + songName(song);
        line((dryRun ? "would add " : "added ") + std::to_string(added.size()) + " after \"" +
             songName(seed) + "\": " + names);
    }
    void skipped(SkipReason reason, size_t n) override {
        switch (reason) {
            case SkipReason::queued:
                return line("skipped " + songs(n) + " already in the queue");
            case SkipReason::recent: {
                char hours[32];
                std::snprintf(hours, sizeof hours, "%g", hours_);
                return line("skipped " + songs(n) + " played or added in the last " + hours + " h");
            }
            case SkipReason::spacing:
                return line("skipped " + songs(n) + " by the artist of a song just before");
        }
    }
    void waiting(const std::string& why) override { line("waiting: " + why); }
    void error(const std::string& text) override { line("chartloom: " + text); }
    void info(const std::string& text) override { line(text); }

private:
    static void line(const std::string& text) {
        std::fprintf(stderr, "%s\n", printable(text).c_str());
    }
    double hours_;
};

json songJson(const SongRef& song) {
    return {{"uri", song.uri}, {"artist", song.artist}, {"title", song.title}};
}

class JsonOutput final : public mpd::FollowReport {
public:
    void added(const SongRef& seed, const std::vector<SongRef>& added, bool dryRun) override {
        json list = json::array();
        for (const SongRef& song : added)
            list.push_back(songJson(song));
        line(
            {{"event", dryRun ? "would_add" : "added"}, {"seed", songJson(seed)}, {"songs", list}});
    }
    void skipped(SkipReason reason, size_t n) override {
        const char* name = reason == SkipReason::queued   ? "queued"
                           : reason == SkipReason::recent ? "history"
                                                          : "spacing";
        line({{"event", "skipped"}, {"reason", name}, {"songs", n}});
    }
    void waiting(const std::string& why) override { line({{"event", "waiting"}, {"text", why}}); }
    void error(const std::string& text) override { line({{"event", "error"}, {"text", text}}); }
    void info(const std::string& text) override { line({{"event", "info"}, {"text", text}}); }

private:
    static void line(const json& object) {
        // Tags are not always UTF-8; a JSON line always is.
        std::string text = object.dump(-1, ' ', false, json::error_handler_t::replace);
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

std::unique_ptr<mpd::FollowReport> makeFollowOutput(bool json, double historyHours) {
    if (json)
        return std::make_unique<JsonOutput>();
    return std::make_unique<TextOutput>(historyHours);
}

}  // namespace chartloom::cli
