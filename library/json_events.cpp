#include "library/json_events.h"

#include <array>
#include <charconv>
#include <cstring>
#include <vector>

#include "host/shared_functions.h"

namespace chartloom::library {
namespace {

// Bytes that stand for themselves inside a text: printable ASCII but the quote and the
// backslash. Anything else leaves the fast loop.
constexpr std::array<bool, 256> kPlainTextByte = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c)
        plain[c] = c != '"' && c != '\\';
    return plain;
}();

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void appendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Lexer {
public:
    Lexer(std::string_view text, JsonEvents& handler)
        : p_(text.data()), n_(text.size()), handler_(handler) {}

    void run() {
        if (n_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0)
            i_ = 3;
        State state = State::value;
        for (;;) {
            skipSpace();
            switch (state) {
                case State::value:
                case State::valueOrEnd:
                    if (state == State::valueOrEnd && i_ < n_ && p_[i_] == ']') {
                        ++i_;
                        state = close(']');
                    } else {
                        state = value();
                    }
                    break;
                case State::key:
                case State::keyOrEnd:
                    if (state == State::keyOrEnd && i_ < n_ && p_[i_] == '}') {
                        ++i_;
                        state = close('}');
                        break;
                    }
                    expect('"', "expected a text as the member's name");
                    readText();
                    handler_.key(text_);
                    state = State::colon;
                    break;
                case State::colon:
                    expect(':', "expected ':' after the member's name");
                    state = State::value;
                    break;
                case State::commaOrEnd: {
                    bool inObject = open_.back() == '{';
                    if (i_ < n_ && p_[i_] == ',') {
                        ++i_;
                        state = inObject ? State::key : State::value;
                    } else {
                        expect(inObject ? '}' : ']',
                               inObject ? "expected ',' or '}'" : "expected ',' or ']'");
                        state = close(inObject ? '}' : ']');
                    }
                    break;
                }
                case State::done:
                    if (i_ < n_)
                        fail(i_ + 1, "syntax error: more after the end of the document");
                    return;
            }
        }
    }

private:
    enum class State { value, valueOrEnd, key, keyOrEnd, colon, commaOrEnd, done };

    [[noreturn]] static void fail(size_t position, const std::string& why) {
        throw JsonSyntaxError(position, why);
    }

    void skipSpace() {
        while (i_ < n_ && (p_[i_] == ' ' || p_[i_] == '\n' || p_[i_] == '\r' || p_[i_] == '\t'))
            ++i_;
    }

    void expect(char c, const char* why) {
        if (i_ >= n_)
            fail(i_, std::string("syntax error: unexpected end of the document, ") + why);
        if (p_[i_] != c)
            fail(i_ + 1, std::string("syntax error: ") + why);
        ++i_;
    }

    State afterValue() const { return open_.empty() ? State::done : State::commaOrEnd; }

    State close(char bracket) {
        open_.pop_back();
        if (bracket == '}')
            handler_.endObject();
        else
            handler_.endArray();
        return afterValue();
    }

    State value() {
        if (i_ >= n_)
            fail(i_, "syntax error: unexpected end of the document, expected a value");
        char c = p_[i_];
        switch (c) {
            case '{':
                ++i_;
                open_.push_back('{');
                handler_.startObject();
                return State::keyOrEnd;
            case '[':
                ++i_;
                open_.push_back('[');
                handler_.startArray();
                return State::valueOrEnd;
            case '"':
                ++i_;
                readText();
                handler_.string(text_);
                return afterValue();
            case 't':
                literal("true");
                handler_.boolean(true);
                return afterValue();
            case 'f':
                literal("false");
                handler_.boolean(false);
                return afterValue();
            case 'n':
                literal("null");
                handler_.null();
                return afterValue();
            default:
                if (c == '-' || isDigit(c)) {
                    number();
                    return afterValue();
                }
                fail(i_ + 1, "syntax error: expected a value");
        }
    }

    void literal(const char* word) {
        size_t length = std::strlen(word);
        for (size_t k = 0; k < length; ++k) {
            if (i_ + k >= n_)
                fail(i_ + k, "syntax error: unexpected end of the document in a literal");
            if (p_[i_ + k] != word[k])
                fail(i_ + k + 1, "syntax error: invalid literal");
        }
        i_ += length;
    }

    // After the opening quote; leaves the text in text_ and i_ after the closing quote.
    void readText() {
        text_.clear();
        for (;;) {
            size_t start = i_;
            while (i_ < n_ && kPlainTextByte[static_cast<unsigned char>(p_[i_])])
                ++i_;
            text_.append(p_ + start, i_ - start);
            if (i_ >= n_)
                fail(i_, "syntax error: unexpected end of the document in a text");
            auto c = static_cast<unsigned char>(p_[i_]);
            if (c == '"') {
                ++i_;
                return;
            }
            if (c == '\\') {
                escape();
            } else if (c < 0x20) {
                fail(i_ + 1, "syntax error: a control character in a text must be escaped");
            } else {
                unsigned cp = 0;
                size_t length = utf8_decode_char(p_ + i_, n_ - i_, cp);
                if (length == 0)
                    fail(i_ + 1, "syntax error: a text that is not UTF-8");
                text_.append(p_ + i_, length);
                i_ += length;
            }
        }
    }

    unsigned hex4() {
        unsigned value = 0;
        for (int k = 0; k < 4; ++k, ++i_) {
            if (i_ >= n_)
                fail(i_, "syntax error: unexpected end of the document in a \\u escape");
            char c = p_[i_];
            unsigned digit = isDigit(c)               ? unsigned(c - '0')
                             : (c >= 'a' && c <= 'f') ? unsigned(c - 'a' + 10)
                             : (c >= 'A' && c <= 'F') ? unsigned(c - 'A' + 10)
                                                      : 16;
            if (digit == 16)
                fail(i_ + 1, "syntax error: \\u must be followed by four hex digits");
            value = value * 16 + digit;
        }
        return value;
    }

    void escape() {
        ++i_;  // the backslash
        if (i_ >= n_)
            fail(i_, "syntax error: unexpected end of the document in an escape");
        char c = p_[i_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                text_ += c;
                return;
            case 'b':
                text_ += '\b';
                return;
            case 'f':
                text_ += '\f';
                return;
            case 'n':
                text_ += '\n';
                return;
            case 'r':
                text_ += '\r';
                return;
            case 't':
                text_ += '\t';
                return;
            case 'u':
                break;
            default:
                fail(i_, "syntax error: invalid escape");
        }
        unsigned cp = hex4();
        if (cp >= 0xDC00 && cp <= 0xDFFF)
            fail(i_, "syntax error: a low surrogate \\u escape without a high one before it");
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i_ + 1 >= n_ || p_[i_] != '\\' || p_[i_ + 1] != 'u')
                fail(i_ + 1, "syntax error: a high surrogate \\u escape without a low one");
            i_ += 2;
            unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF)
                fail(i_, "syntax error: a high surrogate \\u escape without a low one");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(text_, cp);
    }

    void digits(const char* why) {
        if (i_ >= n_)
            fail(i_, std::string("syntax error: unexpected end of the document, ") + why);
        if (!isDigit(p_[i_]))
            fail(i_ + 1, std::string("syntax error: ") + why);
        while (i_ < n_ && isDigit(p_[i_]))
            ++i_;
    }

    void number() {
        size_t start = i_;
        if (p_[i_] == '-')
            ++i_;
        size_t intStart = i_;
        if (i_ < n_ && p_[i_] == '0')
            ++i_;
        else
            digits("expected a digit");
        size_t intDigits = p_[intStart] == '0' ? 0 : i_ - intStart;
        size_t fractionZeros = 0;
        bool floating = false;
        if (i_ < n_ && p_[i_] == '.') {
            ++i_;
            floating = true;
            size_t fraction = i_;
            digits("expected a digit after '.'");
            while (fraction < i_ && p_[fraction] == '0')
                ++fraction, ++fractionZeros;
        }
        long long exponent = 0;
        if (i_ < n_ && (p_[i_] == 'e' || p_[i_] == 'E')) {
            ++i_;
            floating = true;
            bool negative = i_ < n_ && p_[i_] == '-';
            if (i_ < n_ && (p_[i_] == '-' || p_[i_] == '+'))
                ++i_;
            size_t first = i_;
            digits("expected a digit in the exponent");
            for (size_t k = first; k < i_ && exponent < 1'000'000'000; ++k)
                exponent = exponent * 10 + (p_[k] - '0');
            if (negative)
                exponent = -exponent;
        }
        const char* begin = p_ + start;
        const char* end = p_ + i_;
        if (!floating) {
            if (*begin == '-') {
                int64_t v = 0;
                if (std::from_chars(begin, end, v).ec == std::errc()) {
                    handler_.integer(v);
                    return;
                }
            } else {
                uint64_t v = 0;
                if (std::from_chars(begin, end, v).ec == std::errc()) {
                    handler_.unsignedInteger(v);
                    return;
                }
            }
        }
        double v = 0;
        auto [stop, ec] = std::from_chars(begin, end, v);
        if (ec == std::errc::result_out_of_range) {
            // Beyond a double's range: too large is a fault, too small reads as zero.
            long long magnitude = intDigits > 0 ? exponent + static_cast<long long>(intDigits)
                                                : exponent - static_cast<long long>(fractionZeros);
            if (magnitude > 0)
                fail(i_, "number overflow parsing '" + std::string(begin, end) + "'");
            v = 0;
        } else if (ec != std::errc() || stop != end) {
            fail(i_, "syntax error: invalid number");
        }
        handler_.floating(v);
    }

    const char* p_;
    size_t n_;
    size_t i_ = 0;
    JsonEvents& handler_;
    std::vector<char> open_;  // the brackets of the containers being read
    std::string text_;        // the text or key being read, reused
};

}  // namespace

void readJsonEvents(std::string_view text, JsonEvents& handler) {
    Lexer(text, handler).run();
}

}  // namespace chartloom::library
