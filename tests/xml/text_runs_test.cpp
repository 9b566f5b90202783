#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"

namespace chartloom::testing {
namespace {

using Strings = std::vector<std::string>;

struct RunCase {
    const char16_t* document;  // texts are read from the element the parse answers
    Strings texts;
};

class TextRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(TextRuns, AreTrimmedAtTheEndAndKeptInOrder) {
    const XmlElement root = XmlElement::parse(GetParam().document);
    ASSERT_FALSE(root.isEmpty());
    EXPECT_EQ(textsOf(root), GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(
    Content, TextRuns,
    ::testing::Values(
        RunCase{u"<a>  Creep  </a>", {"Creep"}}, RunCase{u"<a></a>", {}},
        RunCase{u"<a> \t\r\n </a>", {}}, RunCase{u"<a/>", {}},
        RunCase{u"<a> one\r\n  two \t</a>", {"one\\u000d\\u000a  two"}},
        RunCase{u"<a>x<b/> y <c></c>z</a>", {"x", "y", "z"}},
        RunCase{u"<a>\"q\" = > /> 'r</a>", {"\"q\" = > /> 'r"}},
        RunCase{u"<a>say \"hi</a>", {"say \"hi"}},
        // A run is only stored when something closes it: the end of the text drops it.
        RunCase{u"<a>kept<b>lost", {"kept"}}, RunCase{u"<a/>tail", {}}));

TEST(TextRunsAtTopLevel, BelongToTheDocumentNode) {
    const XmlElement document = XmlElement::parse(u"lead <a/> mid <b/>");
    EXPECT_EQ(document.name(), nullptr);
    EXPECT_EQ(textsOf(document), (Strings{"lead", "mid"}));
    EXPECT_EQ(childNamesOf(document), (Strings{"a", "b"}));
}

}  // namespace
}  // namespace chartloom::testing
