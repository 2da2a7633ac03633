// Character set conversion, display lines of values, count and size texts.
#include <gtest/gtest.h>

#include <string>

#include "records/display_text.h"

namespace kv {
namespace {

using namespace std::string_literals;

const std::string FFFD = "\xEF\xBF\xBD";

std::string convert(const std::string& bytes, Charset charset) {
    std::string out = "stale";
    EXPECT_TRUE(text_to_utf8(bytes, charset, out));
    return out;
}

TEST(TextToUtf8, Utf8WellFormedPassesUnchanged) {
    const std::string valid =
        "plain \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xEF\xBF\xBF"
        "\xC2\x80 \xE0\xA0\x80 \xF0\x90\x80\x80 \0 end"s;
    EXPECT_EQ(convert(valid, CHARSET_UTF8), valid);
    EXPECT_EQ(convert("", CHARSET_UTF8), "");
}

TEST(TextToUtf8, Utf8MalformedBytesBecomeReplacementEach) {
    struct {
        std::string in, out;
    } cases[] = {
        {"\xE4", FFFD},                                // lone lead byte
        {"\xE4x", FFFD + "x"},                         // ASCII after a broken lead stays
        {"\xC0\x80", FFFD + FFFD},                     // overlong NUL
        {"\xE0\x9F\xBF", FFFD + FFFD + FFFD},          // overlong 3-byte
        {"\xF0\x8F\xBF\xBF", FFFD + FFFD + FFFD + FFFD},  // overlong 4-byte
        {"\xED\xA0\x80", FFFD + FFFD + FFFD},          // surrogate
        {"\xF4\x90\x80\x80", FFFD + FFFD + FFFD + FFFD},  // above U+10FFFF
        {"\x80\xBF", FFFD + FFFD},                     // stray continuation bytes
        {"\xF5\xFF\xC1", FFFD + FFFD + FFFD},          // never-valid bytes
        {"a\xE2\x82", "a" + FFFD + FFFD},              // cut at the end of the input
        {"\xE2\x82\xC3\xA4", FFFD + FFFD + "\xC3\xA4"},  // a valid sequence after a broken one
        {"\xC3\xC3\xA4", FFFD + "\xC3\xA4"},
    };
    for (const auto& c : cases) EXPECT_EQ(convert(c.in, CHARSET_UTF8), c.out) << c.in;
}

TEST(TextToUtf8, SingleByteCharsets) {
    EXPECT_EQ(convert("\x80", CHARSET_WINDOWS_1252), "\xE2\x82\xAC");
    EXPECT_EQ(convert("\x81\x8D\x8F\x90\x9D", CHARSET_WINDOWS_1252),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(convert("\x9F\x99\x85", CHARSET_WINDOWS_1252), "\xC5\xB8\xE2\x84\xA2\xE2\x80\xA6");
    EXPECT_EQ(convert("\xE4\xA0\xFF", CHARSET_WINDOWS_1252), "\xC3\xA4\xC2\xA0\xC3\xBF");
    EXPECT_EQ(convert("\x80\xE4", CHARSET_LATIN1), "\xC2\x80\xC3\xA4");
    EXPECT_EQ(convert("\x80", static_cast<Charset>(7)), "\xC2\x80");  // unknown code: Latin-1
    EXPECT_EQ(convert("a\0b"s, CHARSET_LATIN1), "a\0b"s);
}

TEST(TextToUtf8, ResultNeverExceedsThreeBytesPerByte) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    for (Charset cs : {CHARSET_UTF8, CHARSET_WINDOWS_1252, CHARSET_LATIN1}) {
        std::string out = convert(all + all, cs);
        EXPECT_LE(out.size(), 3 * 512u);
        // Every output is valid UTF-8: converting it again under UTF-8 changes nothing.
        EXPECT_EQ(convert(out, CHARSET_UTF8), out);
    }
}

std::string display(ValueKind kind, const std::string& text, std::uint64_t cap = 256,
                    Charset cs = CHARSET_UTF8) {
    std::string out;
    EXPECT_TRUE(value_display_text(Value{text, kind}, cs, cap, out));
    return out;
}

TEST(ValueDisplayText, MarksAndEscapes) {
    EXPECT_EQ(display(VALUE_NOT_IN_INSERT, ""), "\xE2\x80\x94 nicht im INSERT \xE2\x80\x94");
    EXPECT_EQ(display(VALUE_NULL, ""), "NULL");
    EXPECT_EQ(display(VALUE_TEXT, "NULL"), "NULL");
    EXPECT_EQ(display(VALUE_SQL, "NOW()"), "SQL: NOW()");
    EXPECT_EQ(display(VALUE_SQL, ""), "SQL: ");
    EXPECT_EQ(display(VALUE_TEXT, "a\nb\tc\rd"), "a\\nb\\tc\\rd");
    EXPECT_EQ(display(VALUE_TEXT, "x\x01y\x1f\x7f"), "x?y?\x7f");
    EXPECT_EQ(display(VALUE_TEXT, "a\0b"s), "a\\0b");
    EXPECT_EQ(display(VALUE_NUMBER, "-1.5"), "-1.5");
    EXPECT_EQ(display(VALUE_BINARY, "0x41"), "0x41");
    EXPECT_EQ(display(VALUE_TEXT, "\xE4", 256, CHARSET_WINDOWS_1252), "\xC3\xA4");
    EXPECT_EQ(display(VALUE_TEXT, "\xE4", 256, CHARSET_UTF8), FFFD);
}

TEST(ValueDisplayText, CapCountsSourceBytes) {
    const std::string ellipsis = " \xE2\x80\xA6";
    EXPECT_EQ(display(VALUE_TEXT, std::string(300, 'a')), std::string(256, 'a') + ellipsis);
    EXPECT_EQ(display(VALUE_TEXT, std::string(256, 'a')), std::string(256, 'a'));
    EXPECT_EQ(display(VALUE_SQL, "abcdef", 3), "SQL: abc" + ellipsis);
    // A cut inside a multi-byte character shows U+FFFD for each byte that is left.
    EXPECT_EQ(display(VALUE_TEXT, "ab\xE2\x82\xAC", 4), "ab" + FFFD + FFFD + ellipsis);
    EXPECT_EQ(display(VALUE_TEXT, "abc", 0), ellipsis);
    EXPECT_EQ(display(VALUE_TEXT, "", 0), "");
}

TEST(CountText, DotEveryThreeDigits) {
    struct {
        std::uint64_t n;
        const char* text;
    } cases[] = {{0, "0"}, {7, "7"}, {100, "100"}, {999, "999"}, {1000, "1.000"},
                 {1234, "1.234"}, {123456, "123.456"}, {1234567, "1.234.567"},
                 {18446744073709551615ULL, "18.446.744.073.709.551.615"}};
    for (const auto& c : cases) EXPECT_EQ(count_text(c.n), c.text) << c.n;
}

TEST(SizeText, BinaryUnitsWithCutTenths) {
    struct {
        std::uint64_t n;
        const char* text;
    } cases[] = {{0, "0 B"},
                 {1023, "1023 B"},
                 {1024, "1,0 KiB"},
                 {1536, "1,5 KiB"},
                 {1047552, "1023,0 KiB"},
                 {1048575, "1023,9 KiB"},
                 {1048576, "1,0 MiB"},
                 {5000000000ULL, "4,6 GiB"},
                 {1099511627776ULL, "1,0 TiB"},
                 {18446744073709551615ULL, "16777215,9 TiB"}};
    for (const auto& c : cases) EXPECT_EQ(size_text(c.n), c.text) << c.n;
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Reference: the longest well-formed prefix by decoding code points one at a time.
std::size_t reference_valid_prefix(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (size == 0 || lead > 0xF4 || s.size() - i < size) return i;
        char32_t cp = lead & (0x7F >> size);
        for (std::size_t k = 1; k < size; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum = size == 2 ? 0x80 : size == 3 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
        i += size;
    }
    return i;
}

// Random texts of valid and broken sequences, long enough to cross the 16- and 64-byte blocks
// of the fast scan, with the fault at every kind of position.
TEST(Utf8ValidPrefix, AgreesWithACodePointDecoder) {
    const char* pieces[] = {"a", "plain ascii text ", "\xC3\xA4", "\xE2\x82\xAC",
                            "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF",
                            "\xEE\x80\x80", "\xC2\x80", "\xE0\xA0\x80", "\xF0\x90\x80\x80",
                            // broken: stray, overlong, surrogate, too high, cut, invalid leads
                            "\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF",
                            "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5",
                            "\xF5\x80\x80\x80", "\xFF", "\xC3", "\xE2\x82", "\xF0\x9F\x98"};
    std::uint32_t seed = 777;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int count = static_cast<int>(next() % (round % 10 == 0 ? 400 : 40));
        const bool broken = next() % 2 == 0;
        for (int t = 0; t < count; ++t) text += pieces[next() % (broken ? std::size(pieces) : 11)];
        ASSERT_EQ(utf8_valid_prefix(text), reference_valid_prefix(text)) << round;
    }
}

}  // namespace
}  // namespace kv
