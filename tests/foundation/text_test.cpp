// UTF-8 <-> UTF-16: exact round trips for valid text, U+FFFD for every malformed sequence.
#include <gtest/gtest.h>

#include <string>

#include "foundation/text.h"

using kv::utf16_to_utf8;
using kv::utf8_to_utf16;

TEST(TextConversion, ValidTextRoundTrips) {
    const std::string samples[] = {
        "", "plain ASCII", "Grüße aus Köln – Straße",  // 2- and 3-byte sequences
        "emoji \xF0\x9F\x98\x80 and \xF4\x8F\xBF\xBF",  // 4-byte, highest code point
        std::string("nul\0inside", 10)};
    for (const auto& s : samples) {
        EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s) << s;
    }
    EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80"), std::u16string(u"\xD83D\xDE00"));
    EXPECT_EQ(utf8_to_utf16("ä"), std::u16string(u"\x00E4"));
}

TEST(TextConversion, MalformedUtf8BecomesReplacementCharacter) {
    struct Case {
        std::string input;
        std::u16string expected;
    } cases[] = {
        {"\x80", u"\xFFFD"},                    // lone continuation byte
        {"a\xC3", u"a\xFFFD"},                  // truncated at the end
        {"\xC0\x80", u"\xFFFD\xFFFD"},          // overlong NUL
        {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},  // encoded surrogate
        {"\xF5\x80\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // beyond U+10FFFF
        {"\xE2\x82x", u"\xFFFDx"},              // broken sequence, next byte starts anew
        {"\xFF" "ok", u"\xFFFDok"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8_to_utf16(c.input), c.expected);
    }
}

TEST(TextConversion, LoneSurrogatesBecomeReplacementCharacter) {
    EXPECT_EQ(utf16_to_utf8(std::u16string(u"a\xD800" u"b")), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, u'\xD83D')), "\xEF\xBF\xBD");
}

TEST(TextConversion, AsciiCaseFoldingOnly) {
    EXPECT_TRUE(kv::ascii_iequals("VALUES", "values"));
    EXPECT_TRUE(kv::ascii_iequals("No_Backslash", "NO_BACKSLASH"));
    EXPECT_FALSE(kv::ascii_iequals("Ä", "ä"));
    EXPECT_FALSE(kv::ascii_iequals("[", "{"));  // 0x5B vs 0x7B differ by 32 but are no letters
    EXPECT_FALSE(kv::ascii_iequals("abc", "abcd"));
}
