#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"

namespace chartloom::testing {
namespace {

using Strings = std::vector<std::string>;
using xml::XmlError;

struct ErrorCase {
    const char16_t* document;
    XmlError error;
};

class ParseErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseErrors, EndTheParseWithTheirCode) {
    EXPECT_EQ(parseError(GetParam().document), GetParam().error);
    const bool kept =
        GetParam().error == XmlError::None || GetParam().error == XmlError::UnmatchedEndTagWarning;
    EXPECT_EQ(XmlElement::parse(GetParam().document).isEmpty(), !kept);
}

INSTANTIATE_TEST_SUITE_P(Recovery, ParseErrors,
                         ::testing::Values(ErrorCase{u"<a><b></b></a>", XmlError::None},
                                           ErrorCase{u"<a><b></a>",
                                                     XmlError::UnmatchedEndTagWarning},
                                           ErrorCase{u"<a><b>", XmlError::UnmatchedEndTagWarning},
                                           ErrorCase{u"<?xml?><a/>", XmlError::None},
                                           ErrorCase{u"</b>", XmlError::UnmatchedEndTag},
                                           ErrorCase{u"<a></a></b>", XmlError::UnmatchedEndTag},
                                           ErrorCase{u"<a><b></c>", XmlError::UnmatchedEndTag},
                                           ErrorCase{u"<ab></a>", XmlError::UnmatchedEndTag},
                                           ErrorCase{u"<a></ab>", XmlError::UnmatchedEndTag}));

INSTANTIATE_TEST_SUITE_P(Syntax, ParseErrors,
                         ::testing::Values(ErrorCase{u"< a/>", XmlError::None},
                                           ErrorCase{u"< >", XmlError::MissingStartTagName},
                                           ErrorCase{u"<a><", XmlError::MissingStartTagName},
                                           ErrorCase{u"<?\"x\"?>", XmlError::MissingStartTagName},
                                           ErrorCase{u"<a></>", XmlError::MissingEndTagName},
                                           ErrorCase{u"<a></a", XmlError::MissingEndTagName},
                                           ErrorCase{u"<a></a b>", XmlError::MissingEndTagName},
                                           ErrorCase{u"<a b", XmlError::UnexpectedToken},
                                           ErrorCase{u"<a b=\"x<y\">", XmlError::UnexpectedToken},
                                           ErrorCase{u"<a =b>", XmlError::UnexpectedToken},
                                           ErrorCase{u"<a b=>", XmlError::UnexpectedToken},
                                           ErrorCase{u"<a b='1' 'c'>", XmlError::UnexpectedToken},
                                           ErrorCase{u"<a>&x;</a>",
                                                     XmlError::UnknownCharacterEntity}));

TEST(EndTags, MatchTheWholeNameInAnyCaseBeforeADelimiter) {
    EXPECT_EQ(parseError(u"<Track></tRACK \t>"), XmlError::None);
    // The name only has to be followed by a delimiter, so "a/b" closes "a".
    EXPECT_EQ(parseError(u"<a></a/b>"), XmlError::None);
    EXPECT_EQ(parseError(u"<a/b></a/b>"), XmlError::None);
}

TEST(EndTags, NamingAnOuterElementClosesEverythingBetween) {
    const XmlElement root = XmlElement::parse(u"<r><a><b><c>deep</a><d/></r>");
    EXPECT_EQ(childNamesOf(root), (Strings{"a", "d"}));
    const XmlElement b = root.child(0).child(0);
    EXPECT_EQ(childNamesOf(b), Strings{"c"});
    EXPECT_EQ(textsOf(b.child(0)), Strings{"deep"});
}

TEST(EndTags, TextEndingInsideAnElementKeepsWhatWasRead) {
    const XmlElement root = XmlElement::parse(u"<r x='1'><a>one</a><b>two");
    EXPECT_EQ(attributesOf(root), Strings{"x=1"});
    EXPECT_EQ(childNamesOf(root), (Strings{"a", "b"}));
    EXPECT_EQ(textsOf(root.child(0)), Strings{"one"});
    EXPECT_EQ(root.child(1).textCount(), 0);
}

}  // namespace
}  // namespace chartloom::testing
