// Running out of memory in a task is an error the task reports; the player goes on.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "task_fixture.h"

// The sanitizers bring allocators of their own, which a replaced operator new would mix with:
// this test runs in the normal build only.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CHARTLOOM_OWN_ALLOCATOR 0
#else
#define CHARTLOOM_OWN_ALLOCATOR 1
#endif

#if CHARTLOOM_OWN_ALLOCATOR
namespace {

// While set, every allocation of this many bytes or more fails. The plug-in's allocations come
// here too: its operator new resolves to the program's.
std::atomic<size_t> g_failFrom{SIZE_MAX};
// While set, every allocation of this thread fails.
thread_local bool t_failAll = false;

void* allocate(size_t bytes) {
    if (t_failAll || bytes >= g_failFrom.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    if (void* p = std::malloc(bytes ? bytes : 1))
        return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t bytes) {
    return allocate(bytes);
}
void* operator new[](size_t bytes) {
    return allocate(bytes);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
#else
namespace {
std::atomic<size_t> g_failFrom{SIZE_MAX};
thread_local bool t_failAll = false;
}  // namespace
#endif

namespace chartloom::testing {
namespace {

class OutOfMemory : public TaskTest {
protected:
    void TearDown() override {
        g_failFrom = SIZE_MAX;
        TaskTest::TearDown();
    }
    // Runs the command for an artist whose request URL needs five times its name's length at
    // once, which the allocator refuses; answers whether the player is as it was.
    bool runOutOfMemory() {
        const std::string artist(2 << 20, '&');
        player::Track& t = song(artist, "Song");
        playlist("Mine", {&t}, {true});
        auto before = state();
        g_failFrom = 8 << 20;
        run("Artist Charts Playlist", {&t});
        g_failFrom = SIZE_MAX;
        return state() == before;
    }
};

TEST_F(OutOfMemory, EncodingAHugeArtistNameIsReportedNotFatal) {
    if (!CHARTLOOM_OWN_ALLOCATOR)
        GTEST_SKIP() << "needs the program's own allocator";
    EXPECT_TRUE(runOutOfMemory());
    EXPECT_EQ(messages(), std::vector<std::string>{"Out of memory"});
    EXPECT_EQ(server.requestCount(), 0u);
}

// A message box whose showing runs out of memory, and a console that keeps its lines without
// allocating: between the two, every allocation of the reporting thread fails.
class FailingPopups final : public PopupService {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override {
        return answer_query<PopupService>(this, out, guid);
    }
    void show(const char*, const char*, uint32_t) override {
        t_failAll = true;
        throw std::bad_alloc();
    }
};

class FixedConsole final : public ConsoleReceiver {
public:
    int service_add_ref() noexcept override { return 1; }
    int service_release() noexcept override { return 1; }
    bool service_query(service_base*& out, const GUID& guid) noexcept override {
        return answer_query<ConsoleReceiver>(this, out, guid);
    }
    void print(const char* text, size_t) override {
        t_failAll = false;
        std::snprintf(line, sizeof line, "%s", text);
    }
    char line[256] = "";
};

class OutOfMemoryInTheReport : public OutOfMemory {
protected:
    OutOfMemoryInTheReport() {
        host = std::make_unique<player::Host>(player::Host::Options{false, false});
        host->registerService(PopupService::class_guid, &popups);
        host->registerService(ConsoleReceiver::class_guid, &console);
    }
    FailingPopups popups;
    FixedConsole console;
};

TEST_F(OutOfMemoryInTheReport, IsSaidOnTheConsoleAndThePlayerGoesOn) {
    if (!CHARTLOOM_OWN_ALLOCATOR)
        GTEST_SKIP() << "needs the program's own allocator";
    EXPECT_TRUE(runOutOfMemory());
    EXPECT_STREQ(console.line, "ERROR : Out of memory");
}

}  // namespace
}  // namespace chartloom::testing
