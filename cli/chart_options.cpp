#include "cli/chart_options.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>

#include "cli/usage_error.h"

namespace chartloom::cli {
namespace {

constexpr std::size_t kShortestKey = 16;

}  // namespace

void addLastfmOptions(CLI::App* command, LastfmSettings& s) {
    command->add_option("--lastfm-url", s.url, "Root of the Last.fm 2.0 API")
        ->capture_default_str();
    command->add_option("--cache", s.cache,
                        "Cache file (default: ${XDG_CACHE_HOME:-$HOME/.cache}/chartloom/"
                        "lastfm.sqlite)");
    command->add_option("--max-age", s.maxAgeDays, "Days a cached answer stays fresh")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    command->add_option("--rate", s.rate, "Most requests per second to Last.fm")
        ->check(CLI::Range(0.01, 100.0))
        ->capture_default_str();
    command->add_flag("--offline", s.offline, "Answer from the cache only; no key needed");
}

chartserver::LastfmOptions resolveLastfm(const LastfmSettings& s) {
    chartserver::LastfmOptions options;
    if (s.apiKey && !s.apiKey->empty()) {
        options.apiKey = *s.apiKey;
    } else if (const char* key = std::getenv("LASTFM_API_KEY"); key && *key) {
        options.apiKey = key;
    }
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
    options.cacheFile =
        s.cache ? std::filesystem::path(*s.cache) : chartserver::FeedCache::defaultFile();
    if (options.cacheFile.empty())
        std::fprintf(stderr,
                     "chartloom: no cache folder (neither XDG_CACHE_HOME nor HOME is "
                     "set; or use --cache FILE); going on without caching\n");
    options.maxAgeDays = s.maxAgeDays;
    options.rate = s.rate;
    options.offline = s.offline;
    options.proxy = chartserver::UpstreamProxy::fromEnvironment();
    return options;
}

}  // namespace chartloom::cli
