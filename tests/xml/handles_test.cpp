#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"

namespace chartloom::testing {
namespace {

using Strings = std::vector<std::string>;

TEST(EmptyElement, AnswersNothingToEveryQuery) {
    const XmlElement empty;
    int position = 3;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.name(), nullptr);
    EXPECT_FALSE(empty.isDeclaration());
    EXPECT_EQ(empty.attribute(u"a"), nullptr);
    EXPECT_EQ(empty.childCount(u"a"), 0);
    EXPECT_TRUE(empty.findChild(u"a", &position).isEmpty());
    EXPECT_EQ(position, 3);
    EXPECT_TRUE(empty.childAt(u"a", 0).isEmpty());
    EXPECT_TRUE(empty.child(0).isEmpty());
    EXPECT_EQ(empty.textCount(), 0);
    EXPECT_EQ(empty.textAt(0), nullptr);
    EXPECT_EQ(empty.clearAt(0), nullptr);
}

const char16_t kFeed[] =
    u"<chart><track>one</track><TRACK>two</TRACK><other/><Track>three</Track></chart>";

TEST(ChildQueries, MatchNamesInAnyCase) {
    const XmlElement chart = XmlElement::parse(kFeed);
    EXPECT_EQ(chart.childCount(u"track"), 3);
    EXPECT_EQ(chart.childCount(u"OTHER"), 1);
    EXPECT_EQ(chart.childCount(u"trac"), 0);
    EXPECT_EQ(show(chart.childAt(u"track", 2).textAt(0)), "three");
    EXPECT_TRUE(chart.childAt(u"track", 3).isEmpty());
    EXPECT_TRUE(chart.childAt(u"track", -1).isEmpty());
    EXPECT_EQ(show(chart.child(1).textAt(0)), "two");
    EXPECT_TRUE(chart.child(4).isEmpty());
    EXPECT_TRUE(chart.child(-1).isEmpty());
    EXPECT_EQ(chart.child(0).textAt(1), nullptr);
    EXPECT_EQ(chart.child(0).textAt(-1), nullptr);
}

TEST(ChildQueries, FindChildMovesThePositionPastEachMatch) {
    const XmlElement chart = XmlElement::parse(kFeed);
    const std::vector<std::pair<std::string, int>> expected = {
        {"one", 1}, {"two", 2}, {"three", 4}, {"(empty)", 4}};
    int position = 0;
    for (const auto& [text, after] : expected) {
        const XmlElement found = chart.findChild(u"track", &position);
        EXPECT_EQ(found.isEmpty() ? "(empty)" : show(found.textAt(0)), text);
        EXPECT_EQ(position, after);
    }
    EXPECT_EQ(show(chart.findChild(u"TRACK").textAt(0)), "one");
    position = 9;
    EXPECT_TRUE(chart.findChild(u"track", &position).isEmpty());
    EXPECT_EQ(position, 9);
}

TEST(Handles, ShareTheNodeAndLeaveAMovedFromHandleEmpty) {
    XmlElement a = XmlElement::parse(u"<a>t</a>");
    XmlElement copy = a;
    copy = copy;
    XmlElement moved = std::move(a);
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(moved.textAt(0), copy.textAt(0));
    copy = XmlElement();
    moved = std::move(moved);
    EXPECT_EQ(show(moved.textAt(0)), "t");
}

TEST(Handles, AChildOutlivesItsParent) {
    XmlElement grandchild;
    XmlElement child;
    {
        const std::u16string text = u"<?xml?><r><c k='v'>x<g>y</g></c><s/></r>";
        const XmlElement root = XmlElement::parse(text.c_str(), u"r");
        child = root.child(0);
        grandchild = child.child(0);
    }
    EXPECT_EQ(attributesOf(child), Strings{"k=v"});
    EXPECT_EQ(textsOf(child), Strings{"x"});
    child = XmlElement();
    EXPECT_EQ(textsOf(grandchild), Strings{"y"});
}

// Parse and teardown use no recursion, so depth is limited only by memory.
TEST(DeepDocuments, ParseAndReleaseWithoutExhaustingTheStack) {
    constexpr int kDepth = 1000000;
    std::u16string open, close;
    for (int i = 0; i < kDepth; ++i)
        open += u"<a>";
    for (int i = 0; i < kDepth; ++i)
        close += u"</a>";
    for (const std::u16string& text : {open + u"x" + close, open}) {
        XmlElement node = XmlElement::parse(text.c_str());
        XmlElement middle;
        int depth = 1;
        for (XmlElement next = node.child(0); !next.isEmpty(); next = next.child(0)) {
            node = next;
            if (++depth == kDepth / 2)
                middle = node;
        }
        EXPECT_EQ(depth, kDepth);
        EXPECT_EQ(node.textCount(), text == open ? 0 : 1);
        node = XmlElement();
        EXPECT_EQ(childNamesOf(middle), Strings{"a"});
    }
}

}  // namespace
}  // namespace chartloom::testing
