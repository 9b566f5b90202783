// Every way a chart service can misbehave, against each of the four commands run as a person
// runs them: the exit status, the message, and (where the command failed) every playlist file
// byte for byte as it was, with nothing added to the folder.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/cli_documents.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_http_server.h"

namespace chartloom::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Feed {
    std::string path;  // as requested
    std::string body;  // a good answer's body
};

struct Fault {
    const char* label;
    std::function<Response(const Feed&)> answer;
    int exitCode;         // 1: a message box; 0: the fault does no harm
    std::string top;      // the message of a command that reads the top tracks first
    std::string similar;  // ... the similar artists first; empty: the same as `top`
    // Connect, stall and overall time-outs in ms: generous, so that a loaded machine judges
    // the fault and not its own slowness; short where the fault is the wait itself.
    const char* timeouts = "5000,5000,60000";
};

// Test names show the fault's label, not its bytes.
void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.label;
}

const std::string kNoConnection = "Couldn't connect to Last.fm server.";
const std::string kServerError = "Last.fm server returned an error.";
const std::string kEmptyPage =
    "Last.fm returned an empty page.\nThis is usually the result of a server overload. Try "
    "again later";
const std::string kTopEmpty = "Blur's chart listing is empty";
const std::string kSimilarEmpty = "Blur's similar artist listing is empty";

// For faults that are the wait: stalls end on the stall timer, drips on the overall one.
const char* const kStalls = "5000,300,60000";
const char* const kDrips = "5000,1000,1500";

Response withBody(int status, const std::string& body) {
    return Response::text(status, body);
}
std::string half(const std::string& body) {
    return body.substr(0, body.size() / 2);
}

std::vector<Fault> faults() {
    auto status = [](int code) { return [code](const Feed& f) { return withBody(code, f.body); }; };
    auto content = [](std::string bytes) {
        return [bytes](const Feed&) { return withBody(200, bytes); };
    };
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    return {
        // Statuses.
        {"404", status(404), 1, "Artist could not be found on Last.fm", ""},
        {"500", status(500), 1, kServerError, ""},
        {"502", status(502), 1, kServerError, ""},
        {"503", status(503), 1, kServerError, ""},
        {"429", status(429), 1, kServerError, ""},
        {"403", status(403), 1, kServerError, ""},
        {"204 without a body", [](const Feed&) { return Response(204); }, 1, kServerError, ""},
        {"301 without a location", status(301), 1, kServerError, ""},
        {"redirect loop",
         [](const Feed& f) { return Response::redirect("http://127.0.0.1:7380" + f.path); }, 1,
         kNoConnection, ""},
        {"redirect to ftp", [](const Feed&) { return Response::redirect("ftp://127.0.0.1/x"); }, 1,
         kNoConnection, ""},
        {"redirect to a file", [](const Feed&) { return Response::redirect("file:///etc/passwd"); },
         1, kNoConnection, ""},
        {"redirect to a 404",
         [](const Feed&) { return Response::redirect("http://127.0.0.1:7380/gone"); }, 1,
         "Artist could not be found on Last.fm", ""},
        // Cut off at each phase.
        {"reset before the status line", [](const Feed&) { return Response::silent().thenReset(); },
         1, kNoConnection, ""},
        {"closed before the status line",
         [](const Feed&) { return Response::silent().thenClose(); }, 1, kNoConnection, ""},
        {"reset after the headers",
         [](const Feed& f) { return Response(200).announce(f.body.size()).thenReset(); }, 1,
         kNoConnection, ""},
        {"closed after the headers",
         [](const Feed& f) { return Response(200).announce(f.body.size()).thenClose(); }, 1,
         kNoConnection, ""},
        {"reset inside the body",
         [](const Feed& f) {
             return Response(200).announce(f.body.size()).chunk(half(f.body)).thenReset();
         },
         1, kNoConnection, ""},
        {"closed inside the body",
         [](const Feed& f) {
             return Response(200).announce(f.body.size()).chunk(half(f.body)).thenClose();
         },
         1, kNoConnection, ""},
        {"reset between chunks",
         [](const Feed& f) { return Response(200).chunked().chunk(half(f.body)).thenReset(); }, 1,
         kNoConnection, ""},
        {"closed before the last chunk",
         [](const Feed& f) { return Response(200).chunked().chunk(f.body).thenClose(); }, 1,
         kNoConnection, ""},
        {"malformed chunk size",
         [](const Feed& f) {
             return Response(200)
                 .untilClose()
                 .header("Transfer-Encoding", "chunked")
                 .chunk("zz\r\n" + f.body);
         },
         1, kNoConnection, ""},
        {"a length of nothing before the feed",
         [](const Feed& f) { return Response(200).announce(0).chunk(f.body); }, 1, kEmptyPage, ""},
        // Stalls and drips.
        {"headers never come", [](const Feed&) { return Response::silent(); }, 1, kNoConnection, "",
         kStalls},
        {"a header line at a time, slowly",
         [](const Feed& f) { return withBody(200, f.body).dripHeaders(200ms, 20); }, 1,
         kNoConnection, "", kDrips},
        {"stall before the body",
         [](const Feed& f) { return Response(200).announce(f.body.size()).thenHang(); }, 1,
         kNoConnection, "", kStalls},
        {"stall inside the body",
         [](const Feed& f) {
             return Response(200).announce(f.body.size()).chunk(half(f.body)).thenHang();
         },
         1, kNoConnection, "", kStalls},
        {"a byte at a time for ever", [](const Feed&) { return Response(200).forever(" ", 100ms); },
         1, kNoConnection, "", kDrips},
        // Sizes.
        {"a body of 17 MiB", [](const Feed&) { return withBody(200, std::string(17 << 20, ' ')); },
         1, kServerError, ""},
        {"a header of 200 KiB",
         [](const Feed& f) {
             return withBody(200, f.body).header("X-Big", std::string(200 << 10, 'h'));
         },
         1, kNoConnection, ""},
        // What the body holds.
        {"empty body", content(""), 1, kEmptyPage, ""},
        {"nine bytes", content("<a>b</a>\n"), 1, kEmptyPage, ""},
        {"an HTML error page", content("<html><body>Service Unavailable</body></html>"), 1,
         kTopEmpty, kSimilarEmpty},
        {"an error document", content("<lfm status=\"failed\"><error code=\"6\"/></lfm>"), 1,
         kTopEmpty, kSimilarEmpty},
        {"NUL bytes first",
         [](const Feed& f) { return withBody(200, std::string(16, '\0') + f.body); }, 1, kEmptyPage,
         ""},
        {"broken UTF-8 early", [](const Feed& f) { return withBody(200, "\xFF" + f.body); }, 1,
         kTopEmpty, kSimilarEmpty},
        {"UTF-16 instead of UTF-8",
         [](const Feed& f) {
             std::string wide = "\xFF\xFE";
             for (char c : f.body)
                 wide += std::string{c, '\0'};
             return withBody(200, wide);
         },
         1, kEmptyPage, ""},
        {"gzip the client never asked for",
         [](const Feed&) {
             return withBody(200,
                             std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\xB3\xC9", 12))
                 .header("Content-Encoding", "gzip");
         },
         1, kEmptyPage, ""},
        {"an unknown entity", content("<mostknowntracks><similarartists>&nbsp;"), 1, kTopEmpty,
         kSimilarEmpty},
        {"a hundred thousand levels deep", content(deep), 1, kTopEmpty, kSimilarEmpty},
        {"an entry without a name",
         content("<mostknowntracks><track><reach>1</reach></track></mostknowntracks>"
                 "<similarartists><artist><match>1</match></artist></similarartists>"),
         1, "Data Feed is invalid. This is a Last.fm Server error.", ""},
        {"one entry only",
         content("<mostknowntracks><track><name>Tender</name><reach>1</reach></track>"
                 "</mostknowntracks>"),
         1, kTopEmpty, kSimilarEmpty},
        // Faults that do no harm.
        {"body ended by closing", [](const Feed& f) { return withBody(200, f.body).untilClose(); },
         0, "", ""},
        {"bytes after the announced body",
         [](const Feed& f) {
             return Response(200).announce(f.body.size()).chunk(f.body + "HTTP/1.1 200 OK\r\n");
         },
         0, "", ""},
        {"a byte order mark", [](const Feed& f) { return withBody(200, "\xEF\xBB\xBF" + f.body); },
         0, "", ""},
        {"an interim 100 answer first",
         [](const Feed& f) {
             return Response(100)
                 .chunk("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(f.body.size()) +
                        "\r\n\r\n" + f.body)
                 .untilClose();
         },
         0, "", ""},
    };
}

struct Command {
    const char* item;
    bool readsSimilarFirst;
    std::vector<std::string> selection;
};

class FaultMatrix : public ::testing::TestWithParam<Fault> {
protected:
    FaultMatrix() {
        library = dir.write("library.json", R"({"tracks": [
  {"path": "Blur/Song 2.flac", "meta": {"artist": ["Blur"], "title": ["Song 2"]}},
  {"path": "Blur/Tender.flac", "meta": {"artist": ["Blur"], "title": ["Tender"]}},
  {"path": "Blur/Parklife.flac", "meta": {"artist": ["Blur"], "title": ["Parklife"]}},
  {"path": "Oasis/Wonderwall.flac", "meta": {"artist": ["Oasis"], "title": ["Wonderwall"]}}
]})");
        dir.write("lists/Mix.m3u8",
                  "#EXTM3U\nBlur/Song 2.flac\nOasis/Wonderwall.flac\n"
                  "#EXTINF:1,Blur - Tender\nBlur/Tender.flac\n");
        dir.write("lists/#ArtistCharts.m3u8", "#EXTM3U\nOasis/Wonderwall.flac\n");
        dir.write("lists/#ArtistSimilarCharts.m3u8", "#EXTM3U\nBlur/Parklife.flac\n");
        feeds = {
            {"/1.0/artist/Blur/toptracks.xml", topTracks({"Tender", "Song 2", "Parklife"})},
            {"/1.0/artist/Blur/similar.xml",
             "<similarartists artist=\"Blur\"><artist><name>Oasis</name><match>60</match>"
             "</artist><artist><name>Pulp</name><match>50</match></artist></similarartists>"},
            {"/1.0/artist/Oasis/toptracks.xml", topTracks({"Wonderwall", "Live Forever"})},
        };
        server.route("/gone", Response::text(404, "gone"));
    }

    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir.path() / "lists"))
            files[e.path().filename()] = ScratchDir::read(e.path());
        return files;
    }

    ScratchDir dir;
    fs::path library;
    std::vector<Feed> feeds;
    ScriptedHttpServer server;
};

TEST_P(FaultMatrix, EveryCommandShowsItAndKeepsThePlaylists) {
    const std::vector<Command> commands = {
        {"Artist Charts Playlist", false, {"--select", "artist=Blur"}},
        {"Sort by Artist Charts", false, {"--active", "Mix", "--select", "all"}},
        {"Similar Charts Playlist", true, {"--select", "artist=Blur"}},
        {"Similar Shuffle Playlist", true, {"--select", "artist=Blur"}},
    };
    const Fault& fault = GetParam();
    ChildOptions options;
    options.env = {{"http_proxy", server.proxyUrl()}, {"no_proxy", ""}, {"NO_PROXY", ""}};
    options.timeout = 30s;
    for (const auto& feed : feeds)
        server.route(feed.path, fault.answer(feed));
    options.env["CHARTLOOM_INET_TIMEOUTS"] = fault.timeouts;
    for (const auto& command : commands) {
        SCOPED_TRACE(command.item);
        auto before = snapshot();
        std::vector<std::string> args = {"run",         command.item,
                                         "--library",   library.string(),
                                         "--playlists", (dir.path() / "lists").string(),
                                         "--json"};
        args.insert(args.end(), command.selection.begin(), command.selection.end());
        ChildResult r = runChild(CHARTLOOM_BIN, args, options);
        ASSERT_EQ(r.exitCode, fault.exitCode) << r.out << r.err;
        if (fault.exitCode == 0) {
            EXPECT_NE(r.out.find("\"messages\": []"), std::string::npos) << r.out;
            continue;
        }
        const std::string& expected =
            command.readsSimilarFirst && !fault.similar.empty() ? fault.similar : fault.top;
        std::string quoted = "\"text\": \"" + expected + "\"";
        for (size_t at = 0; (at = quoted.find('\n', at)) != std::string::npos;)
            quoted.replace(at, 1, "\\n");
        EXPECT_NE(r.out.find(quoted), std::string::npos) << r.out;
        EXPECT_EQ(snapshot(), before);
    }
}

// One test per fault, named after it, each with its own time-out.
std::string testName(const ::testing::TestParamInfo<Fault>& info) {
    std::string name;
    for (const char* c = info.param.label; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(faults()), testName);

}  // namespace
}  // namespace chartloom::testing
