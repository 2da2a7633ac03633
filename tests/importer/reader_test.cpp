// Two parts of the import on their own: the span lexer of the CREATE parser, and the SQL_MODE
// recogniser over the table in tests/data/importer/sql_mode.txt. (The reader's tokens and
// their limits show in the golden cases.)
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "importer/schema.h"
#include "importer/sql_mode.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

TEST(TextToken, SpanTokens) {
    const std::vector<std::tuple<std::string, bool, std::vector<std::string>>> cases = {
        {"a /* x */ `b``c` 'd''e' \"f\\\"g\" -- z\n h#\n", false, {"a", "b`c", "d'e", "f\"g", "h"}},
        {"'a\\' b", true, {"a\\", "b"}},
        {"'a\\' b", false, {"a' b"}},  // unterminated: runs to the end, no failure
        {"'ab\\", false, {"ab\\"}},
        {"/*/ x */--x", false, {"-", "-", "x"}},
        {std::string(9000, 'w') + " next", false, {std::string(8191, 'w'), "next"}},
    };
    for (const auto& [text, no_backslash, want] : cases) {
        TextSpan span;
        span.bytes = reinterpret_cast<const unsigned char*>(text.data());
        span.length = text.size();
        span.no_backslash = no_backslash;
        auto t = std::make_unique<Token>();
        std::vector<std::string> got;
        while (text_read_token(span, *t)) got.emplace_back(t->text, t->length);
        EXPECT_EQ(got, want) << text.substr(0, 40);
    }
}

TEST(SqlMode, AssignmentsFromTheTable) {
    std::istringstream table(test::read_file(test::data_file("importer/sql_mode.txt")));
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::uint32_t mode, saved, was_saved, want_mode, want_saved, fails;
        in >> mode >> saved >> was_saved >> want_mode >> want_saved >> fails;
        const std::string text = line.substr(line.find(" | ") + 3);
        DumpState state;
        DumpReader reader;
        reader.state = &state;
        reader.escape_mode = mode;
        reader.saved_escape_mode = saved;
        reader.mode_saved = was_saved;
        sql_mode_recognise(reader, text.c_str());
        EXPECT_EQ(reader.escape_mode, want_mode) << text;
        EXPECT_EQ(reader.saved_escape_mode, want_saved) << text;
        EXPECT_STREQ(state.message, fails ? "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. "
                                            "Für einen zuverlässigen Import einen normalen "
                                            "mysqldump verwenden."
                                          : "")
            << text;
        ++rows;
    }
    EXPECT_EQ(rows, 43);
}

}  // namespace
}  // namespace kv
