#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"

namespace chartloom::testing {
namespace {

using Strings = std::vector<std::string>;

TEST(ClearSections, RunBeforeIsKeptAsWrittenAndRunAfterIsDecoded) {
    const XmlElement root = XmlElement::parse(u"<a> x &amp; y <!-- a note -->z &amp; w</a>");
    EXPECT_EQ(textsOf(root), (Strings{"x &amp; y", "z & w"}));
    EXPECT_EQ(clearsOf(root), Strings{"<!--:  a note "});
}

TEST(ClearSections, ContentIsVerbatimEvenWhenItIsNotValidText) {
    const XmlElement root = XmlElement::parse(u"<a><![CDATA[ <b>&nbsp;</a> ]]></a>");
    EXPECT_EQ(clearsOf(root), Strings{"<![CDATA[:  <b>&nbsp;</a> "});
    EXPECT_EQ(root.textCount(), 0);
}

struct ClearCase {
    const char16_t* section;  // placed inside <a>...</a>
    const char* clear;        // nullptr: the parse fails
};

class ClearDelimiters : public ::testing::TestWithParam<ClearCase> {};

TEST_P(ClearDelimiters, OpenInAnyCaseAndCloseOnlyAsWritten) {
    const XmlElement root =
        XmlElement::parse((u"<a>" + std::u16string(GetParam().section) + u"</a>").c_str());
    if (!GetParam().clear) {
        EXPECT_TRUE(root.isEmpty());
        return;
    }
    EXPECT_EQ(clearsOf(root), Strings{GetParam().clear});
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClearDelimiters,
    ::testing::Values(
        ClearCase{u"<![CDATA[x]]>", "<![CDATA[: x"}, ClearCase{u"<![cdata[x]]>", "<![CDATA[: x"},
        ClearCase{u"<PRE>x</PRE>", "<PRE>: x"}, ClearCase{u"<pre>x</PRE>", "<PRE>: x"},
        ClearCase{u"<pre>x</pre>", nullptr}, ClearCase{u"<Script>x</Script>", "<Script>: x"},
        ClearCase{u"<SCRIPT>x</Script>", "<Script>: x"}, ClearCase{u"<script>x</script>", nullptr},
        ClearCase{u"<!---->", "<!--: "}, ClearCase{u"<!-->", nullptr},
        ClearCase{u"<!-- x", nullptr}, ClearCase{u"<!DOCTYPE x>", "<!DOCTYPE:  x"},
        ClearCase{u"<!doctype x>", "<!DOCTYPE:  x"},
        ClearCase{u"<!DOCTYPE x [<!ENTITY y>]>", "<!DOCTYPE:  x [<!ENTITY y"}));

TEST(ClearSections, AreNotAcceptedInsideAStartTag) {
    EXPECT_EQ(parseError(u"<a <!-- x -->>"), xml::XmlError::UnexpectedToken);
}

TEST(ClearSections, AtTheEndOfTheTextCloseNothingElse) {
    EXPECT_EQ(parseError(u"<!-- x"), xml::XmlError::UnmatchedClearTagEnd);
    const XmlElement root = XmlElement::parse(u"<a>t<!--c-->");
    EXPECT_EQ(clearsOf(root), Strings{"<!--: c"});
    EXPECT_EQ(textsOf(root), Strings{"t"});
}

}  // namespace
}  // namespace chartloom::testing
