// The plug-in as the host sees it after loading: client record, factory list, about record,
// settings streams and console output.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "host/componentversion.h"
#include "host/console_receiver.h"
#include "host/contextmenu_item.h"
#include "host/library_service.h"
#include "host/playback_service.h"
#include "host/playlist_service.h"
#include "host/popup_service.h"
#include "host/string_value.h"
#include "host/task_runner.h"
#include "host/track_database.h"
#include "tests/support/host_fixture.h"

namespace {

using testing_support::HostTest;

using Text = string_value;

class Registration : public HostTest {
protected:
    foobar2000_client& client() { return host->client(0); }
};

TEST_F(Registration, ClientRecordAnswersVersionAndNoDebug) {
    EXPECT_EQ(client().interfaceVersion(), 72u);
    EXPECT_FALSE(client().isDebugBuild());
}

TEST_F(Registration, FactoryListHoldsCommandSetThenAboutRecord) {
    std::vector<GUID> classes;
    for (service_factory_base* f = client().factoryList(); f; f = f->next()) {
        classes.push_back(f->serviceClass());
    }
    ASSERT_EQ(classes.size(), 2u);
    EXPECT_TRUE(classes[0] == contextmenu_item::class_guid);
    EXPECT_TRUE(classes[1] == componentversion::class_guid);
}

TEST_F(Registration, SingletonServicesIgnoreCounting) {
    for (service_factory_base* f = client().factoryList(); f; f = f->next()) {
        service_base* a = nullptr;
        service_base* b = nullptr;
        ASSERT_TRUE(f->createInstance(a));
        ASSERT_TRUE(f->createInstance(b));
        EXPECT_EQ(a, b);
        EXPECT_EQ(a->service_release(), 1);
        EXPECT_EQ(a->service_release(), 1);
        EXPECT_EQ(a->service_add_ref(), 1);
    }
}

service_ptr<componentversion> about(player::Host& host) {
    HostApi& api = host.api();
    service_base* base = nullptr;
    service_class_ref cls = api.findServiceClass(componentversion::class_guid);
    EXPECT_EQ(api.serviceCount(cls), 1u);
    EXPECT_TRUE(api.createService(cls, 0, base));
    return service_ptr<componentversion>::adopt(static_cast<componentversion*>(base));
}

TEST_F(Registration, AboutRecordTexts) {
    auto record = about(*host);
    Text name, version, file, text;
    record->componentName(name);
    record->version(version);
    record->fileName(file);
    record->aboutText(text);
    EXPECT_EQ(name.value, "Chartloom");
    EXPECT_EQ(version.value, "0.2.3");
    EXPECT_EQ(file.value, "foo_chartloom.so");
    std::regex three(
        "Downloads charts from last\\.fm and creates a playlist according to them\n"
        "[^\n]+\n"
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4} - "
        "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]");
    EXPECT_TRUE(std::regex_match(text.value, three)) << text.value;
}

// A settings stream over a byte string that counts what was taken from it.
struct BytesReader final : config_stream_reader {
    std::string bytes;
    size_t at = 0;
    size_t read(void* buffer, size_t n) override {
        size_t take = std::min(n, bytes.size() - at);
        std::memcpy(buffer, bytes.data() + at, take);
        at += take;
        return take;
    }
    size_t skip(size_t n) override {
        size_t take = std::min(n, bytes.size() - at);
        at += take;
        return take;
    }
};

TEST_F(Registration, SettingsOfUnknownRecordsAreSkippedToTheEnd) {
    BytesReader in;
    in.bytes = std::string(16, '\x5A') + std::string("\x03\x00\x00\x00", 4) + "abc" +
               std::string(10, '\x01');
    client().readConfiguration(in);
    EXPECT_EQ(in.at, in.bytes.size());

    BytesReader twoRecords;  // the size is little-endian: 0x0102 bytes of payload
    twoRecords.bytes = std::string(16, 'g') + std::string("\x02\x01\x00\x00", 4) +
                       std::string(0x102, 'p') + std::string(16, 'h') +
                       std::string("\x01\x00\x00\x00", 4) + "q";
    client().readConfiguration(twoRecords);
    EXPECT_EQ(twoRecords.at, twoRecords.bytes.size());

    BytesReader truncated;  // a size cut short ends reading without harm
    truncated.bytes = std::string(16, 'g') + "\x01\x00";
    client().readConfiguration(truncated);
    EXPECT_EQ(truncated.at, truncated.bytes.size());
}

TEST_F(Registration, WritesNoSettings) {
    struct Writer final : config_stream_writer {
        size_t written = 0;
        void write(const void*, size_t n) override { written += n; }
    } out;
    client().writeConfiguration(out);
    EXPECT_EQ(out.written, 0u);
}

// A second console, counted like the host's own.
struct ExtraConsole final : ConsoleReceiver {
    std::vector<std::string> lines;
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID&) noexcept override {
        out = nullptr;
        return false;
    }
    void print(const char* text, size_t n) override {
        lines.emplace_back(text, n == none ? std::strlen(text) : n);
    }
};

// Running "Artist Charts Playlist" on a track without artist prints exactly one console line.
void provokeConsoleLine(player::Host& host) {
    auto& t = host.addTrack("x.flac", testing_support::fields({{"title", {"x"}}}));
    host.runMenuItem("Artist Charts Playlist", {&t}, player::Host::caller_other);
}

TEST_F(Registration, EveryConsoleReceiverGetsEveryLine) {
    ExtraConsole extra;
    host->registerService(ConsoleReceiver::class_guid, &extra);
    provokeConsoleLine(*host);
    provokeConsoleLine(*host);
    std::vector<std::string> expected(2, "ERROR : no Artist Information found");
    EXPECT_EQ(host->console().lines(), expected);
    EXPECT_EQ(extra.lines, expected);
}

TEST_F(Registration, ConsoleIsSilentUntilServicesAreInitialised) {
    client().servicesInitialised(false);
    provokeConsoleLine(*host);
    EXPECT_TRUE(host->console().lines().empty());
    client().servicesInitialised(true);
    provokeConsoleLine(*host);
    EXPECT_EQ(host->console().lines().size(), 1u);
}

TEST(RegistrationWithoutConsole, ConsoleLineWithNoReceiverDoesNothing) {
    player::Host host(player::Host::Options{.console = false});
    host.loadPlugin(testing_support::pluginPath());
    provokeConsoleLine(host);
    EXPECT_TRUE(host.console().lines().empty());
    EXPECT_TRUE(host.popups().messages().empty());
    EXPECT_TRUE(host.taskRunner().records().empty());
    EXPECT_TRUE(host.violations().list().empty());
}

}  // namespace
