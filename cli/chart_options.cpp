#include "cli/chart_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/usage_error.h"

namespace chartloom::cli {
namespace {

constexpr std::size_t kShortestKey = 16;

// The cache file given, else the usual one (said when there is none).
std::filesystem::path cacheFile(const LastfmSettings& s) {
    std::filesystem::path file =
        s.cache ? std::filesystem::path(*s.cache) : chartserver::FeedCache::defaultFile();
    if (file.empty())
        std::fprintf(stderr,
                     "chartloom: no cache folder (neither XDG_CACHE_HOME nor HOME is "
                     "set; or use --cache FILE); going on without caching\n");
    return file;
}

std::string given(const std::optional<std::string>& option, const char* variable) {
    if (option && !option->empty())
        return *option;
    const char* value = std::getenv(variable);
    return value ? value : "";
}

// A service root as an http(s) URL ending in "/".
std::string root(const std::string& url, const char* option) {
    if (!url.starts_with("http://") && !url.starts_with("https://"))
        throw UsageError(std::string(option) + " " + url + ": not an http:// or https:// URL");
    return url.ends_with('/') ? url : url + "/";
}

// What every live source takes alike from the settings: its cache and how it retries.
template <class Options>
void takeCacheAndRetries(Options& options, const LastfmSettings& s) {
    options.cacheFile = cacheFile(s);
    options.maxAgeDays = s.maxAgeDays;
    options.offline = s.offline;
    options.proxy = chartserver::UpstreamProxy::fromEnvironment();
    options.firstRetry = s.firstRetry;
    options.secondRetry = s.secondRetry;
    options.budget = s.budget;
    options.attemptLimit = s.attemptLimit;
}

}  // namespace

void addMatchOption(CLI::App* command, bool& loose) {
    command
        ->add_option_function<std::string>(
            "--match",
            [&loose](const std::string& name) { loose = matchModeNamed(name) == MatchMode::loose; },
            "How chart titles and artist names meet the library's tags in menu, run, follow, "
            "serve and missing: exact, or loose (case, accents, punctuation, version words such "
            "as \"Remastered\" and credits such as \"feat. X\" set aside)")
        ->check(CLI::IsMember({"exact", "loose"}))
        ->default_str("exact");
}

void addLastfmOptions(CLI::App* command, LastfmSettings& s) {
    command->add_option("--lastfm-url", s.url, "Root of the Last.fm 2.0 API")
        ->type_name("URL")
        ->capture_default_str();
    command
        ->add_option("--cache", s.cache,
                     "Cache file (default: ${XDG_CACHE_HOME:-$HOME/.cache}/chartloom/"
                     "lastfm.sqlite)")
        ->type_name("FILE");
    command->add_option("--max-age", s.maxAgeDays, "Days a cached answer stays fresh")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command->add_option("--rate", s.rate, "Most requests per second to Last.fm")
        ->check(CLI::Range(0.01, 100.0))
        ->capture_default_str();
    command->add_flag("--offline", s.offline, "Answer from the cache only; no key needed");
    command->add_option("--listenbrainz-url", s.listenbrainzUrl, "Root of the ListenBrainz API")
        ->type_name("URL")
        ->capture_default_str();
    command->add_option("--labs-url", s.labsUrl, "Root of the ListenBrainz labs API")
        ->type_name("URL")
        ->capture_default_str();
    command->add_option("--musicbrainz-url", s.musicbrainzUrl, "Root of the MusicBrainz API")
        ->type_name("URL")
        ->capture_default_str();
    command
        ->add_option("--similar-algorithm", s.similarAlgorithm,
                     "The ListenBrainz labs algorithm for similar artists")
        ->type_name("NAME")
        ->capture_default_str();
}

chartserver::LastfmOptions resolveLastfm(const LastfmSettings& s) {
    chartserver::LastfmOptions options;
    options.apiKey = given(s.apiKey, "LASTFM_API_KEY");
    if (options.apiKey.empty() && !s.offline) {
        throw UsageError(
            "live charts need a Last.fm API key. Get one (free) at "
            "https://www.last.fm/api/account/create, then pass it with --api-key KEY or, "
            "better, in the environment: export LASTFM_API_KEY=KEY. Or use --offline to answer "
            "from the cache only.");
    }
    // Last.fm keys are 32 hex digits; a short one is a mistake, and one that would make the
    // blanking of the key in messages take ordinary words for it.
    if (!options.apiKey.empty() && options.apiKey.size() < kShortestKey) {
        throw UsageError("the API key given has " + std::to_string(options.apiKey.size()) +
                         " characters: not a Last.fm API key (those have 32 hex digits)");
    }
    options.rootUrl = s.url;
    options.rate = s.rate;
    takeCacheAndRetries(options, s);
    return options;
}

chartserver::ListenBrainzOptions resolveListenBrainz(const LastfmSettings& s) {
    chartserver::ListenBrainzOptions options;
    options.token = given(s.listenbrainzToken, "LISTENBRAINZ_TOKEN");
    if (options.token.empty() && !s.offline) {
        throw UsageError(
            "charts from ListenBrainz need a ListenBrainz user token. Any account's token "
            "works: sign in at https://listenbrainz.org/ (free) and copy the \"User token\" "
            "from https://listenbrainz.org/settings/, then pass it with --listenbrainz-token "
            "TOKEN or, better, in the environment: export LISTENBRAINZ_TOKEN=TOKEN (or "
            "listenbrainz-token in config.toml). Or use --offline to answer from the cache "
            "only.");
    }
    // Tokens are 36 characters; anything else would not pass as one header value, or would
    // make the blanking of it in messages take ordinary words for it.
    bool printable = std::all_of(options.token.begin(), options.token.end(),
                                 [](char c) { return c > ' ' && c < 0x7F; });
    if (!options.token.empty() && (options.token.size() < kShortestKey || !printable)) {
        throw UsageError("the ListenBrainz token given (" + std::to_string(options.token.size()) +
                         " characters) is not a user token: copy the \"User token\" from "
                         "https://listenbrainz.org/settings/");
    }
    options.rootUrl = root(s.listenbrainzUrl, "--listenbrainz-url");
    options.labsUrl = root(s.labsUrl, "--labs-url");
    options.musicbrainzUrl = root(s.musicbrainzUrl, "--musicbrainz-url");
    if (s.similarAlgorithm.empty())
        throw UsageError("--similar-algorithm: the name is empty");
    options.algorithm = s.similarAlgorithm;
    takeCacheAndRetries(options, s);
    return options;
}

}  // namespace chartloom::cli
