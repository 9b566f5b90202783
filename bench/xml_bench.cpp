// Parse throughput of our XML reader and of pugixml on the same feed-shaped UTF-16 text.
// Both are reported in MB/s of UTF-16 input; similar figures across sizes mean linear time.
#include <cstddef>
#include <string>

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include "xml/xml_element.h"

namespace {

// A top-tracks feed of roughly `bytes` bytes of UTF-16, with the declaration, a comment,
// attributes, entities and some text outside ASCII, as the chart service writes it.
std::u16string makeFeed(size_t bytes) {
    std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        u"<!-- generated for benchmarking -->\n"
        u"<mostknowntracks artist=\"Sigur R\u00f3s &amp; Friends\">\n";
    for (int i = 0; text.size() * sizeof(char16_t) < bytes; ++i) {
        const std::u16string n = [i] {
            std::string s = std::to_string(i);
            return std::u16string(s.begin(), s.end());
        }();
        text += u"  <track rank=\"" + n + u"\">\n    <name>Track " + n +
                u" &amp; Song \u00e9t\u00e9</name>\n"
                u"    <mbid>3f2a1c4e-9b7d-4e1a-8c2f-" +
                n +
                u"</mbid>\n"
                u"    <reach>" +
                n +
                u"0421</reach>\n"
                u"    <url>http://www.last.fm/music/Sigur+R%C3%B3s/_/Track+" +
                n +
                u"</url>\n"
                u"  </track>\n";
    }
    text += u"</mostknowntracks>\n";
    return text;
}

const std::u16string& feedOfSize(size_t bytes) {
    static std::u16string small = makeFeed(10 * 1024);
    static std::u16string medium = makeFeed(1024 * 1024);
    static std::u16string large = makeFeed(20 * 1024 * 1024);
    return bytes <= small.size() * 2 ? small : bytes <= medium.size() * 2 ? medium : large;
}

void BM_ChartloomXml(benchmark::State& state) {
    const std::u16string& text = feedOfSize(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        const auto root = chartloom::XmlElement::parse(text.c_str(), u"mostknowntracks");
        if (root.childCount(u"track") == 0)
            state.SkipWithError("feed not read");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}

void BM_Pugixml(benchmark::State& state) {
    const std::u16string& text = feedOfSize(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document document;
        const pugi::xml_parse_result result = document.load_buffer(
            text.data(), text.size() * 2, pugi::parse_default, pugi::encoding_utf16_le);
        if (!result || !document.child("mostknowntracks").child("track")) {
            state.SkipWithError("feed not read");
        }
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}

constexpr int64_t kSizes[] = {10 << 10, 1 << 20, 20 << 20};

}  // namespace

BENCHMARK(BM_ChartloomXml)
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pugixml)
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
