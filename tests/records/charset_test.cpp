// The character sets (records/display_text.h): every byte 0x80..0xFF of every single-byte set
// against the C library's conversion tables (glibc iconv(3); native only, mingw has no iconv),
// the properties the filter's raw test relies on, and the reference charts shared with the
// differential test and the fuzz target (tests/records/reference.h) against the product.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#if !defined(_WIN32)
#include <errno.h>
#include <iconv.h>
#endif

#include "records/display_text.h"
#include "tests/records/reference.h"

namespace kv {
namespace {

// The UTF-8 of one byte under a character set.
std::string byte_text(Charset charset, unsigned byte) {
    const char c = static_cast<char>(byte);
    std::string out;
    EXPECT_TRUE(text_to_utf8(std::string_view(&c, 1), charset, out));
    return out;
}

// The single-byte sets and their names in iconv, in the order of CHARSETS.
struct IconvName {
    Charset charset;
    const char* name;
};
constexpr IconvName ICONV_NAMES[] = {
    {CHARSET_WINDOWS_1252, "CP1252"}, {CHARSET_LATIN1, "ISO-8859-1"},
    {CHARSET_WINDOWS_1250, "CP1250"}, {CHARSET_WINDOWS_1251, "CP1251"},
    {CHARSET_ISO_8859_2, "ISO-8859-2"}, {CHARSET_KOI8_R, "KOI8-R"},
    {CHARSET_WINDOWS_1257, "CP1257"}, {CHARSET_ISO_8859_7, "ISO-8859-7"},
    {CHARSET_WINDOWS_1256, "CP1256"}, {CHARSET_ISO_8859_9, "ISO-8859-9"},
};
static_assert(std::size(ICONV_NAMES) == CHARSET_COUNT - 1, "every single-byte set");

// Every byte from 0x80 is what iconv makes of it; a byte iconv refuses as unassigned (EILSEQ)
// is the code point of its own number. Also lists the unassigned bytes, to be checked by eye
// against the tables' comments.
TEST(Charsets, EveryByteAsTheCLibraryConvertsIt) {
#if defined(_WIN32)
    GTEST_SKIP() << "iconv(3) is the C library's of the native build";
#else
    for (const IconvName& set : ICONV_NAMES) {
        SCOPED_TRACE(set.name);
        const iconv_t cd = iconv_open("UTF-8", set.name);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "iconv does not know " << set.name;
        std::string unassigned;
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            char in = static_cast<char>(b), out[8] = {};
            char* from = &in;
            char* to = out;
            std::size_t left = 1, room = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t done = iconv(cd, &from, &left, &to, &room);
            std::string expected(out, to);
            if (done == static_cast<std::size_t>(-1)) {
                ASSERT_EQ(errno, EILSEQ) << std::hex << b;
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", b);
                unassigned += hex + (unassigned.empty() ? 1 : 0);
                expected = ref::to_utf8(std::string(1, static_cast<char>(b)), CHARSET_LATIN1);
            }
            EXPECT_EQ(byte_text(set.charset, b), expected) << "byte 0x" << std::hex << b;
        }
        iconv_close(cd);
        const std::map<Charset, std::string> UNASSIGNED = {
            {CHARSET_WINDOWS_1252, "81 8D 8F 90 9D"},
            {CHARSET_WINDOWS_1250, "81 83 88 90 98"},
            {CHARSET_WINDOWS_1251, "98"},
            {CHARSET_WINDOWS_1257, "81 83 88 8A 8C 90 98 9A 9C 9F A1 A5"},
            {CHARSET_ISO_8859_7, "AE D2 FF"},
        };
        const auto known = UNASSIGNED.find(set.charset);
        EXPECT_EQ(unassigned, known == UNASSIGNED.end() ? "" : known->second);
    }
#endif
}

// The filter's raw test (records/filter.cpp) looks for the filter text as the dump's bytes
// would hold it: that needs every byte from 0x80 to give a character of its own from U+0080
// on, and ASCII to stay ASCII. The conversion of a byte is at most three bytes long.
TEST(Charsets, NoTwoBytesGiveTheSameCharacter) {
    for (std::uint32_t code = 1; code <= CHARSET_COUNT; ++code) {  // CHARSET_COUNT: unknown
        const auto charset = static_cast<Charset>(code);
        SCOPED_TRACE(code);
        std::set<std::string> seen;
        for (unsigned b = 0; b <= 0xFF; ++b) {
            const std::string text = byte_text(charset, b);
            if (b < 0x80) EXPECT_EQ(text, std::string(1, static_cast<char>(b)));
            else EXPECT_TRUE(text.size() >= 2 && text.size() <= 3) << b;
            EXPECT_TRUE(seen.insert(text).second) << "byte 0x" << std::hex << b;
        }
    }
}

// The reference charts cover their ranges (to 0xFF, Windows-1252 to 0x9F) and agree with the
// product byte for byte; an unknown code is Latin-1.
TEST(Charsets, ReferenceChartsAgreeWithTheTables) {
    EXPECT_EQ(std::size(ref::CHARTS), CHARSET_COUNT - 2);  // all but UTF-8 and Latin-1
    for (const ref::Chart& chart : ref::CHARTS) {
        EXPECT_EQ(chart.first + chart.chars.size(),
                  chart.charset == CHARSET_WINDOWS_1252 ? 0xA0u : 0x100u) << chart.charset;
    }
    for (std::uint32_t code = 1; code <= CHARSET_COUNT + 1; ++code) {
        const auto charset = static_cast<Charset>(code);
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            EXPECT_EQ(byte_text(charset, b), ref::to_utf8(std::string(1, static_cast<char>(b)), charset))
                << "charset " << code << " byte 0x" << std::hex << b;
        }
    }
}

// The list of CHARSETS: in the order of Charset (also checked when compiling), names and
// labels unique, names in lower case as --charset takes them.
TEST(Charsets, OneListOfNamesAndLabels) {
    std::set<std::string> names, labels;
    for (const CharsetInfo& c : CHARSETS) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        EXPECT_TRUE(names.insert(c.mysql_name).second) << c.mysql_name;
        EXPECT_TRUE(labels.insert(msg_text(c.label)).second) << c.name;
        for (const char* s : {c.name, c.mysql_name}) {
            for (const char* p = s; *p; ++p) EXPECT_FALSE(*p >= 'A' && *p <= 'Z') << s;
        }
    }
    EXPECT_EQ(CHARSET_COUNT, 11u);
}

}  // namespace
}  // namespace kv
