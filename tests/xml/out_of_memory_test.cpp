// Replaces the global allocation functions so a test can make the n-th allocation fail.
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"

namespace {
long g_allocationsLeft = -1;  // -1: never fail
long g_live = 0;
bool g_failed = false;

void* allocate(std::size_t size) {
    if (g_allocationsLeft == 0) {
        g_failed = true;
        throw std::bad_alloc();
    }
    if (g_allocationsLeft > 0)
        --g_allocationsLeft;
    void* memory = std::malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    ++g_live;
    return memory;
}

void deallocate(void* memory) {
    if (!memory)
        return;
    --g_live;
    std::free(memory);
}
}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* memory) noexcept {
    deallocate(memory);
}
void operator delete[](void* memory) noexcept {
    deallocate(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    deallocate(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    deallocate(memory);
}

namespace chartloom::testing {
namespace {

// Fails each allocation of a parse in turn: every failure must give an empty element
// and leave nothing allocated, and the parse must succeed once memory suffices.
TEST(OutOfMemory, ReleasesEverythingAndAnswersEmpty) {
    std::u16string text = u"<?xml v='1'?><feed a='&amp;'>";
    for (int i = 0; i < 60; ++i)
        text += u"<t n='x'>title &lt; <b/> c <!--k--></t>";
    text += u"<open><deeper>";
    for (long failAt = 0;; ++failAt) {
        const long liveBefore = g_live;
        g_allocationsLeft = failAt;
        g_failed = false;
        XmlElement root = XmlElement::parse(text.c_str(), u"feed");
        g_allocationsLeft = -1;
        if (!g_failed) {
            ASSERT_FALSE(root.isEmpty());
            EXPECT_EQ(root.childCount(u"t"), 60);
            EXPECT_EQ(show(root.attribute(u"a")), "&");
            break;
        }
        EXPECT_TRUE(root.isEmpty()) << "failing allocation " << failAt;
        EXPECT_EQ(g_live, liveBefore) << "failing allocation " << failAt;
        ASSERT_LT(failAt, 100000);
    }
}

}  // namespace
}  // namespace chartloom::testing
