#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xml/xml_test_support.h"
#include "xml/xml_tokenizer.h"

namespace chartloom::testing {
namespace {

using xml::TokenKind;

// One letter a token: T text, Q quoted, S short close, E end tag start, D declaration start,
// < tag start, = equals, > tag close, C clear; each followed by the token's characters.
std::vector<std::string> tokenize(const char16_t* text) {
    xml::Tokenizer tokens(text);
    std::vector<std::string> out;
    for (;;) {
        const xml::Token token = tokens.next();
        if (token.kind == TokenKind::End)
            return out;
        static const char kLetters[] = "TQSED<=>C";
        const std::u16string chars(token.begin, token.length);
        out.push_back(kLetters[static_cast<int>(token.kind) - 1] + show(chars.c_str()));
    }
}

struct TokenCase {
    const char16_t* text;
    std::vector<std::string> tokens;
};

class Tokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(Tokens, CutsTextAsExpected) {
    EXPECT_EQ(tokenize(GetParam().text), GetParam().tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Delimiters, Tokens,
    ::testing::Values(TokenCase{u"", {}}, TokenCase{u" \t\r\n ", {}},
                      TokenCase{u"<a b=\"c\">", {"<<", "Ta", "Tb", "==", "Q\"c\"", ">>"}},
                      TokenCase{u"</a >", {"E</", "Ta", ">>"}},
                      TokenCase{u"<?xml?>", {"D<?", "Txml?", ">>"}},
                      TokenCase{u"a/b/>", {"Ta/b", "S/>"}}, TokenCase{u"/ x", {"T/", "Tx"}},
                      TokenCase{u"a=b>c", {"Ta", "==", "Tb", ">>", "Tc"}},
                      TokenCase{u"\ta\r\nb ", {"Ta", "Tb"}}));

INSTANTIATE_TEST_SUITE_P(Quotes, Tokens,
                         ::testing::Values(TokenCase{u"'a \"b' x", {"Q'a \"b'", "Tx"}},
                                           TokenCase{u"\"abc<d", {"T\"abc", "<<", "Td"}},
                                           TokenCase{u"\"a b<", {"T\"a", "Tb", "<<"}},
                                           TokenCase{u"'abc", {"T'abc"}},
                                           TokenCase{u"\"<", {"T\"", "<<"}},
                                           TokenCase{u"\"=\"", {"Q\"=\""}}));

INSTANTIATE_TEST_SUITE_P(TextEnd, Tokens,
                         ::testing::Values(TokenCase{u"a/", {"Ta/"}}, TokenCase{u"<", {"<<"}},
                                           TokenCase{u"\"", {"T\""}}, TokenCase{u"/", {"T/"}},
                                           TokenCase{u"<!-", {"<<", "T!-"}},
                                           TokenCase{u"<!DOCTYP", {"<<", "T!DOCTYP"}}));

INSTANTIATE_TEST_SUITE_P(
    ClearTagsInAnyCase, Tokens,
    ::testing::Values(TokenCase{u"<![cdata[x", {"C<![cdata[", "Tx"}},
                      TokenCase{u"<![CData[", {"C<![CData["}}, TokenCase{u"<pre>", {"C<pre>"}},
                      TokenCase{u"<PRE>", {"C<PRE>"}}, TokenCase{u"<SCRIPT>", {"C<SCRIPT>"}},
                      TokenCase{u"<script>", {"C<script>"}}, TokenCase{u"<!--", {"C<!--"}},
                      TokenCase{u"<!doctype", {"C<!doctype"}},
                      TokenCase{u"<!DocType", {"C<!DocType"}}));

}  // namespace
}  // namespace chartloom::testing
