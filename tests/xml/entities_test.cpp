#include <string>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"
#include "xml/xml_entities.h"

namespace chartloom::testing {
namespace {

struct EntityCase {
    const char16_t* text;
    const char* decoded;  // nullptr: the reference cannot be decoded
};

class Entities : public ::testing::TestWithParam<EntityCase> {};

// Both places that decode: a text run and an attribute value.
TEST_P(Entities, DecodeInTextAndAttributes) {
    const std::u16string text = GetParam().text;
    const XmlElement inText = XmlElement::parse((u"<a>" + text + u"</a>").c_str());
    const XmlElement inValue = XmlElement::parse((u"<a v='" + text + u"'/>").c_str());
    if (!GetParam().decoded) {
        EXPECT_TRUE(inText.isEmpty());
        EXPECT_TRUE(inValue.isEmpty());
        return;
    }
    EXPECT_EQ(show(inText.textAt(0)), GetParam().decoded);
    EXPECT_EQ(show(inValue.attribute(u"v")), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Named, Entities,
    ::testing::Values(EntityCase{u"Simon &amp; Garfunkel", "Simon & Garfunkel"},
                      EntityCase{u"Simon &AMP; Garfunkel", "Simon & Garfunkel"},
                      EntityCase{u"&lt;&GT;&Quot;&aPoS;", "<>\"'"}, EntityCase{u"&nbsp;", nullptr},
                      EntityCase{u"a & b", nullptr}, EntityCase{u"x&", nullptr},
                      EntityCase{u"&am", nullptr}));

INSTANTIATE_TEST_SUITE_P(
    Numeric, Entities,
    ::testing::Values(EntityCase{u"&#65;", "A"}, EntityCase{u"&#x41;", "A"},
                      EntityCase{u"&#X41;&#x4a;", "AJ"}, EntityCase{u"&#233;", "\\u00e9"},
                      EntityCase{u"&#xFFFF;", "\\uffff"}, EntityCase{u"&#xD800;", "\\ud800"},
                      EntityCase{u"&#6A;", nullptr}, EntityCase{u"&#65", nullptr},
                      EntityCase{u"&#", nullptr}, EntityCase{u"&#x4G;", nullptr},
                      EntityCase{u"&# 65;", nullptr}));

// Values above U+FFFF become surrogate pairs; above U+10FFFF, or too long for any
// integer, they are refused.
INSTANTIATE_TEST_SUITE_P(
    BeyondSixteenBits, Entities,
    ::testing::Values(EntityCase{u"&#x1F600;", "\\ud83d\\ude00"},
                      EntityCase{u"&#128512;", "\\ud83d\\ude00"},
                      EntityCase{u"&#x10000;", "\\ud800\\udc00"},
                      EntityCase{u"&#x10FFFF;", "\\udbff\\udfff"},
                      EntityCase{u"&#x110000;", nullptr}, EntityCase{u"&#1114112;", nullptr},
                      EntityCase{u"&#x100000041;", nullptr},
                      EntityCase{u"&#99999999999999999999999999999965;", nullptr}));

TEST(EntitiesNumeric, EmptyReferenceGivesAZeroCharacter) {
    const XmlElement root = XmlElement::parse(u"<a>x&#;y</a>");
    const char16_t* text = root.textAt(0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text, 4), (std::u16string{u'x', 0, u'y', 0}));
}

// A reference is read only within its run: a ";" just past it does not complete it.
TEST(EntitiesBounds, ReferenceCutByTheEndOfAValueFails) {
    EXPECT_TRUE(XmlElement::parse(u"<a v=\"&#65\";/>").isEmpty());
    EXPECT_TRUE(XmlElement::parse(u"<a v=\"&amp\";/>").isEmpty());
    char16_t out[8];
    EXPECT_EQ(xml::decodeEntities(u"&lt;", 3, out), -1);
    EXPECT_EQ(xml::decodeEntities(u"&#;", 2, out), -1);
    ASSERT_EQ(xml::decodeEntities(u"&lt;", 4, out), 1);
    EXPECT_EQ(out[0], u'<');
}

TEST(EntitiesNames, AreNotDecoded) {
    const XmlElement root = XmlElement::parse(u"<a&amp; b&lt;=1/>");
    EXPECT_EQ(show(root.name()), "a&amp;");
    EXPECT_EQ(attributesOf(root), std::vector<std::string>{"b&lt;=1"});
}

}  // namespace
}  // namespace chartloom::testing
