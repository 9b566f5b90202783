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

void* allocate(size_t bytes) {
    if (bytes >= g_failFrom.load(std::memory_order_relaxed))
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
};

TEST_F(OutOfMemory, EncodingAHugeArtistNameIsReportedNotFatal) {
    if (!CHARTLOOM_OWN_ALLOCATOR)
        GTEST_SKIP() << "needs the program's own allocator";
    // The request URL for this name needs five times its length at once.
    const std::string artist(2 << 20, '&');
    player::Track& t = song(artist, "Song");
    playlist("Mine", {&t}, {true});
    auto before = state();
    g_failFrom = 8 << 20;
    run("Artist Charts Playlist", {&t});
    g_failFrom = SIZE_MAX;
    EXPECT_EQ(messages(), std::vector<std::string>{"Out of memory"});
    EXPECT_EQ(state(), before);
    EXPECT_EQ(server.requestCount(), 0u);
}

}  // namespace
}  // namespace chartloom::testing
