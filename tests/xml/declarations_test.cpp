#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"

namespace chartloom::testing {
namespace {

using Strings = std::vector<std::string>;

struct AttributeCase {
    const char16_t* document;
    Strings attributes;
};

class StartTags : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(StartTags, ReadAttributesInOrder) {
    EXPECT_EQ(attributesOf(XmlElement::parse(GetParam().document)), GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, StartTags,
    ::testing::Values(AttributeCase{u"<a u=1 q=\"2 3\" n>", {"u=1", "q=2 3", "n"}},
                      AttributeCase{u"<a b c/>", {"b", "c"}},
                      AttributeCase{u"<a s='x\"y'/>", {"s=x\"y"}},
                      AttributeCase{u"<a href=http://h/p/>", {"href=http://h/p"}},
                      AttributeCase{u"<a e=\"\"/>", {"e="}}, AttributeCase{u"<a b=c?>", {"b=c?"}},
                      AttributeCase{u"<a b?>", {"b?"}},
                      // A declaration drops the "?" that ends its start tag.
                      AttributeCase{u"<?xml version=\"1.0\" encoding='UTF-8'?>",
                                    {"version=1.0", "encoding=UTF-8"}},
                      AttributeCase{u"<?xml version=1.0?>", {"version=1.0"}},
                      AttributeCase{u"<?xml standalone?>", {"standalone"}},
                      AttributeCase{u"<?xml v=\"1\" ?>", {"v=1"}}));

TEST(StartTags, AttributeLookupIgnoresCaseAndTakesTheFirst) {
    const XmlElement a = XmlElement::parse(u"<a Artist='Blur' artist='Oasis' flag FLAG='1'/>");
    EXPECT_EQ(show(a.attribute(u"ARTIST")), "Blur");
    EXPECT_EQ(a.attribute(u"flag"), nullptr);
    EXPECT_EQ(a.attribute(u"missing"), nullptr);
}

TEST(Declarations, HoldTheRestOfTheDocument) {
    const XmlElement decl = XmlElement::parse(u"<?xml v='1'?><feed/><tail/>");
    EXPECT_TRUE(decl.isDeclaration());
    EXPECT_EQ(show(decl.name()), "xml");
    EXPECT_EQ(childNamesOf(decl), (Strings{"feed", "tail"}));
    EXPECT_FALSE(decl.child(0).isDeclaration());
    EXPECT_EQ(show(XmlElement::parse(u"<?xml?>").name()), "xml?");
}

struct RootCase {
    const char16_t* document;
    const char16_t* rootName;
    const char* found;  // a text of the element found, "(empty)" for an empty element
};

class RootName : public ::testing::TestWithParam<RootCase> {};

TEST_P(RootName, FindsTheTopElement) {
    const XmlElement root = XmlElement::parse(GetParam().document, GetParam().rootName);
    EXPECT_EQ(root.isEmpty() ? "(empty)" : show(root.textAt(0)), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Search, RootName,
    ::testing::Values(
        RootCase{u"<feed>f</feed>", u"FEED", "f"}, RootCase{u"<feed>f</feed>", u"other", "(empty)"},
        RootCase{u"<?xml?><feed>f</feed>", u"feed", "f"},
        RootCase{u"<?xml?><!-- c --><!DOCTYPE d><?xsl a='1'?><Feed>f</Feed>", u"feed", "f"},
        RootCase{u"<!-- c --><feed>f</feed>", u"feed", "f"},
        RootCase{u"<a>a</a><feed>f</feed>", u"feed", "f"},
        RootCase{u"<x><feed>f</feed></x>", u"feed", "f"},
        RootCase{u"<x><y><feed>f</feed></y></x>", u"feed", "(empty)"},
        RootCase{u"<a/><b><feed>f</feed></b>", u"feed", "(empty)"},
        RootCase{u"<?feed a?>f", u"feed", "(null)"}, RootCase{u"<feed>f</feed>", u"", "f"},
        RootCase{u"t<a/>", nullptr, "t"}, RootCase{u"", u"feed", "(empty)"}));

TEST(RootName, AbsentGivesTheSingleTopElementOrTheDocumentNode) {
    EXPECT_EQ(show(XmlElement::parse(u" <feed/> ").name()), "feed");
    const XmlElement document = XmlElement::parse(u"<a/><b/>");
    EXPECT_FALSE(document.isEmpty());
    EXPECT_EQ(document.name(), nullptr);
    EXPECT_EQ(childNamesOf(document), (Strings{"a", "b"}));
    EXPECT_EQ(childNamesOf(XmlElement::parse(u"<!-- c --><a/>")), Strings{"a"});
    EXPECT_FALSE(XmlElement::parse(u"").isEmpty());
    EXPECT_TRUE(XmlElement::parse(nullptr).isEmpty());
}

}  // namespace
}  // namespace chartloom::testing
