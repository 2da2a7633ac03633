// CSV fields of the export: markers, quoting, NUL bytes, formula protection, character sets.
#include <gtest/gtest.h>

#include <string>

#include "records/csv_field.h"

namespace kv {
namespace {

using namespace std::string_literals;

std::string field(ValueKind kind, const std::string& text, bool protect = true,
                  Charset cs = CHARSET_UTF8) {
    std::string out = "x;";
    std::string scratch;
    EXPECT_TRUE(csv_value_append(out, Value{text, kind}, cs, protect, scratch));
    return out.substr(2);  // what was appended
}

TEST(CsvValueField, ByKind) {
    struct {
        ValueKind kind;
        std::string text;
        std::string field;
    } cases[] = {
        {VALUE_NULL, "", "\"\\N\""},
        {VALUE_NOT_IN_INSERT, "", "\"[nicht im INSERT]\""},
        {VALUE_NUMBER, "-5", "\"-5\""},            // numbers are never protected
        {VALUE_TEXT, "-5", "\"'-5\""},             // the same characters as text are
        {VALUE_BINARY, "0x41", "\"0x41\""},
        {VALUE_SQL, "NOW()", "\"NOW()\""},          // without the display mark
        {VALUE_SQL, "@@x", "\"'@@x\""},
        {VALUE_TEXT, "", "\"\""},
        {VALUE_TEXT, "say \"hi\"", "\"say \"\"hi\"\"\""},
        {VALUE_TEXT, "a\0b"s, "\"a\\0b\""},
        {VALUE_TEXT, "l1\r\nl2\t;", "\"l1\r\nl2\t;\""},
    };
    for (const auto& c : cases) EXPECT_EQ(field(c.kind, c.text), c.field) << c.text;
}

TEST(CsvValueField, FormulaProtection) {
    struct {
        std::string text;
        bool apostrophe;
    } cases[] = {
        {"=1+1", true},   {"+49", true},      {"-x", true},      {"@SUM", true},
        {"  =x", true},   {" \r\n-x", true},  {"\tabc", true},   {"\n", true},
        {"\r ", true},    {"   ", false},     {"", false},       {"a=b", false},
        {" x-", false},   {"'=x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(field(VALUE_TEXT, c.text), (c.apostrophe ? "\"'" : "\"") + c.text + "\"")
            << c.text;
        // Switched off, nothing is added.
        EXPECT_EQ(field(VALUE_TEXT, c.text, false), "\"" + c.text + "\"") << c.text;
    }
}

TEST(CsvValueField, ConvertsUnderTheCharset) {
    EXPECT_EQ(field(VALUE_TEXT, "\x80\xE4", true, CHARSET_WINDOWS_1252),
              "\"\xE2\x82\xAC\xC3\xA4\"");
    EXPECT_EQ(field(VALUE_TEXT, "\xE4", true, CHARSET_LATIN1), "\"\xC3\xA4\"");
    EXPECT_EQ(field(VALUE_TEXT, "\xE4", true, CHARSET_UTF8), "\"\xEF\xBF\xBD\"");
}

}  // namespace
}  // namespace kv
