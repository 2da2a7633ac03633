// The reader's own contracts that a whole import does not show: token kinds and limits and
// the size fixed at opening; the span lexer of the CREATE parser; and the SQL_MODE recogniser
// over the table in tests/data/importer/sql_mode.txt.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>

#include "importer/dump_reader.h"
#include "importer/schema.h"
#include "importer/sql_mode.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

using Tokens = std::vector<std::pair<std::uint32_t, std::string>>;

// A reader over a file holding content; size is the size taken at opening.
struct ReaderFixture {
    explicit ReaderFixture(const std::string& content, std::uint32_t mode = 0, std::uint64_t size = ~0ull) {
        test::write_file(dir.file("r.sql"), content);
        state.dump_handle = file_open(dir.file("r.sql"), FILE_MODE_READ);
        state.dump_size = size != ~0ull ? size : content.size();
        ProgressSink sink;
        sink.mode = mode;
        EXPECT_TRUE(reader_start(reader, state, &sink));
    }
    Tokens tokens() {
        Tokens out;
        while (reader_read_token(reader, *token)) out.emplace_back(token->kind, token->text);
        return out;
    }
    test::TempDir dir;
    DumpState state;
    DumpReader reader;
    std::unique_ptr<Token> token = std::make_unique<Token>();
};

TEST(DumpReader, TokensKindsAndLimits) {
    const std::uint32_t W = TOKEN_WORD, S = TOKEN_STRING, B = TOKEN_BACKQUOTED, O = TOKEN_OTHER;
    const std::vector<std::pair<std::string, Tokens>> cases = {
        {"INSERT  INTO `db`.`t` VALUES",
         {{W, "INSERT"}, {W, "INTO"}, {B, "db"}, {O, "."}, {B, "t"}, {W, "VALUES"}}},
        {"-- x\nA --x -1 x--", {{W, "A"}, {O, "-"}, {O, "-"}, {W, "x"}, {O, "-"}, {W, "1"}, {W, "x"}}},
        {"#c\rC\nD /*/ x */E/**/F/*!40101 SET NAMES utf8 */G", {{W, "D"}, {W, "E"}, {W, "F"}, {W, "G"}}},
        {"'it''s' \"a\\\"b\" 'a\\nb' `a``b` `a\\b`",
         {{S, "it's"}, {S, "a\"b"}, {S, "anb"}, {B, "a`b"}, {B, "a\\b"}}},
        {"\v caf\xC3\xA9.t_1$@x \t\r\n\f", {{O, "\v"}, {W, "caf\xC3\xA9"}, {O, "."}, {W, "t_1$@x"}}},
        {std::string(8191, 'w') + " `" + std::string(8191, 'q') + "` '" + std::string(8190, 'q') + "'''",
         {{W, std::string(8191, 'w')}, {B, std::string(8191, 'q')}, {S, std::string(8190, 'q') + "'"}}},
    };
    for (const auto& [input, want] : cases) {
        ReaderFixture f(input);
        EXPECT_EQ(f.tokens(), want) << input.substr(0, 40);
        EXPECT_STREQ(f.state.message, "");
    }
    ReaderFixture nb("'a\\' x", 1);
    EXPECT_EQ(nb.tokens(), (Tokens{{S, "a\\"}, {W, "x"}}));
    for (const std::string& too_long : {std::string(8192, 'w'), "`" + std::string(8192, 'q') + "`",
                                       "'" + std::string(8191, 'q') + "'''"}) {
        ReaderFixture f("a " + too_long);
        EXPECT_EQ(f.tokens(), (Tokens{{W, "a"}}));
        EXPECT_STREQ(f.state.message, too_long[0] == 'w' ? "Zu langes Token im SQL-Header."
                                      : "Ein SQL-Bezeichner oder Header-Token ist zu lang.");
        EXPECT_EQ(reader_peek(f.reader, 0), READER_END);  // the failure is sticky
    }
}

// Bytes beyond the size at opening are not read; a file that shrank is a read error.
TEST(DumpReader, SizeFixedAtOpening) {
    ReaderFixture grown("ABC DEF", 0, 3);
    EXPECT_EQ(grown.tokens(), (Tokens{{TOKEN_WORD, "ABC"}}));
    EXPECT_STREQ(grown.state.message, "");
    ReaderFixture shrunk("ABC", 0, 10);
    shrunk.tokens();
    EXPECT_STREQ(shrunk.state.message, "Lesefehler im Dump. Datei oder Datenträger prüfen.");
}

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
        EXPECT_STREQ(state.message, fails ? "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für "
                                            "einen zuverlässigen Import einen normalen mysqldump "
                                            "verwenden." : "") << text;
        ++rows;
    }
    EXPECT_EQ(rows, 43);
}

}  // namespace
}  // namespace kv
