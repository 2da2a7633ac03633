// Dump reader and lexer: tokens, comments, quoting under both escape modes, token limits,
// statement ends at the delimiter, window boundaries, progress and cancellation, failures.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "importer/dump_reader.h"
#include "importer_test_support.h"

namespace kv {
namespace {

using test::TempDir;

// A reader over a file holding content (no cache folder: the lexer needs none).
struct ReaderFixture {
    explicit ReaderFixture(const std::string& content, const ProgressSink* sink = nullptr,
                           std::uint64_t size_override = ~std::uint64_t{0}) {
        std::string path = dir.file("r.sql");
        test::write_file(path, content);
        state.dump_handle = file_open(path, FILE_MODE_READ);
        state.dump_size = size_override != ~std::uint64_t{0} ? size_override : content.size();
        EXPECT_TRUE(reader_start(reader, state, sink));
    }
    std::vector<std::pair<std::uint32_t, std::string>> tokens() {
        std::vector<std::pair<std::uint32_t, std::string>> out;
        auto token = std::make_unique<Token>();
        while (reader_read_token(reader, *token)) out.emplace_back(token->kind, token->text);
        return out;
    }
    TempDir dir;
    DumpState state;
    DumpReader reader;
};

using Tokens = std::vector<std::pair<std::uint32_t, std::string>>;

TEST(DumpReader, TokensAndComments) {
    struct Case {
        std::string input;
        Tokens expected;
    };
    const std::vector<Case> cases = {
        {"INSERT  INTO `db`.`t` VALUES",
         {{TOKEN_WORD, "INSERT"}, {TOKEN_WORD, "INTO"}, {TOKEN_BACKQUOTED, "db"},
          {TOKEN_OTHER, "."}, {TOKEN_BACKQUOTED, "t"}, {TOKEN_WORD, "VALUES"}}},
        {"-- x\nA", {{TOKEN_WORD, "A"}}},
        {"--x", {{TOKEN_OTHER, "-"}, {TOKEN_OTHER, "-"}, {TOKEN_WORD, "x"}}},
        {"-1", {{TOKEN_OTHER, "-"}, {TOKEN_WORD, "1"}}},
        {"x--", {{TOKEN_WORD, "x"}}},  // "--" as the last two bytes is a comment
        {"#c\nB", {{TOKEN_WORD, "B"}}},
        {"#c\rC\nD", {{TOKEN_WORD, "D"}}},  // a lone CR does not end a line comment
        {"/*/ x */E", {{TOKEN_WORD, "E"}}},
        {"/**/F/*!40101 SET NAMES utf8 */G", {{TOKEN_WORD, "F"}, {TOKEN_WORD, "G"}}},
        {"'it''s'", {{TOKEN_STRING, "it's"}}},
        {"\"a\\\"b\"", {{TOKEN_STRING, "a\"b"}}},
        {"'a\\nb'", {{TOKEN_STRING, "anb"}}},  // escaped byte stored without translation
        {"`a``b`", {{TOKEN_BACKQUOTED, "a`b"}}},
        {"`a\\b`", {{TOKEN_BACKQUOTED, "a\\b"}}},
        {"\v", {{TOKEN_OTHER, "\v"}}},  // vertical tab is not blank
        {"caf\xC3\xA9.t_1$@x", {{TOKEN_WORD, "caf\xC3\xA9"}, {TOKEN_OTHER, "."},
                                {TOKEN_WORD, "t_1$@x"}}},
        {" \t\r\n\f", {}},
    };
    for (const Case& c : cases) {
        ReaderFixture f(c.input);
        EXPECT_EQ(f.tokens(), c.expected) << c.input;
        EXPECT_EQ(f.reader.failed, 0) << c.input;
    }
    // Under NO_BACKSLASH_ESCAPES (from the sink) a backslash ends nothing.
    ProgressSink sink;
    sink.mode = 1;
    ReaderFixture f("'a\\' x", &sink);
    EXPECT_EQ(f.tokens(), (Tokens{{TOKEN_STRING, "a\\"}, {TOKEN_WORD, "x"}}));
}

TEST(DumpReader, TokenPositions) {
    ReaderFixture f("  /* c */ `ab` x");
    Token t;
    ASSERT_TRUE(reader_read_token(f.reader, t));
    EXPECT_EQ(t.start, 10u);
    EXPECT_EQ(t.end, 14u);
    ASSERT_TRUE(reader_read_token(f.reader, t));
    EXPECT_EQ(t.start, 15u);
    EXPECT_EQ(t.end, 16u);
    EXPECT_FALSE(reader_read_token(f.reader, t));
    EXPECT_EQ(t.kind, TOKEN_NONE);
    EXPECT_EQ(f.state.message[0], '\0');  // the end of the dump is no failure
}

TEST(DumpReader, TokenLengthLimits) {
    struct Case {
        std::string input;
        bool ok;
        const char* message;
    };
    const std::vector<Case> cases = {
        {std::string(8191, 'w'), true, ""},
        {std::string(8192, 'w'), false, "Zu langes Token im SQL-Header."},
        {"`" + std::string(8191, 'q') + "`", true, ""},
        {"`" + std::string(8192, 'q') + "`", false,
         "Ein SQL-Bezeichner oder Header-Token ist zu lang."},
        {"'" + std::string(8190, 'q') + "'''", true, ""},  // 8,191 stored bytes with a doubled quote
        {"'" + std::string(8191, 'q') + "'''", false,
         "Ein SQL-Bezeichner oder Header-Token ist zu lang."},
    };
    for (const Case& c : cases) {
        ReaderFixture f(c.input);
        auto t = std::make_unique<Token>();
        EXPECT_EQ(reader_read_token(f.reader, *t), c.ok) << c.input.size();
        EXPECT_STREQ(f.state.message, c.message);
        if (c.ok) {
            EXPECT_EQ(t->length, 8191u);
        }
    }
}

TEST(DumpReader, LexicalFailures) {
    struct Case {
        std::string input;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"A /* open", "Nicht abgeschlossener Blockkommentar im Dump."},
        {"A /*! open", "Nicht abgeschlossener Blockkommentar im Dump."},
        {"A 'open", "Nicht abgeschlossene Zeichenkette oder Bezeichner im SQL-Header."},
        {"A `open", "Nicht abgeschlossene Zeichenkette oder Bezeichner im SQL-Header."},
        {"'a\\' x", "Nicht abgeschlossene Zeichenkette oder Bezeichner im SQL-Header."},
    };
    for (const Case& c : cases) {
        ReaderFixture f(c.input);
        f.tokens();
        EXPECT_EQ(f.reader.failed, 1) << c.input;
        EXPECT_STREQ(f.state.message, c.message) << c.input;
        EXPECT_EQ(reader_peek(f.reader, 0), READER_END);  // sticky
    }
}

TEST(DumpReader, SkipStatementFindsTheDelimiterOutsideQuotesAndComments) {
    struct Case {
        std::string input;
        std::string delimiter;
        std::string rest;  // what follows the statement
    };
    const std::vector<Case> cases = {
        {"a 'x;y' \"p;\" `q;` b; REST", ";", " REST"},
        {"a -- c;\n b; REST", ";", " REST"},
        {"a --; REST", ";", " REST"},  // "--" without a blank is no comment
        {"a # c;\r; x\n; REST", ";", " REST"},
        {"a /* ; */ /*! ; */ b; REST", ";", " REST"},
        {"a 'it''s;' 'b\\';' ; REST", ";", " REST"},
        {"BEGIN x; y; END$$REST", "$$", "REST"},
        {"BEGIN x; y; END ;;\nREST", ";;", "\nREST"},
        {"a ;", ";", ""},
        {"no delimiter at all", ";", ""},
    };
    for (const Case& c : cases) {
        ReaderFixture f(c.input);
        std::memcpy(f.reader.delimiter, c.delimiter.c_str(), c.delimiter.size() + 1);
        f.reader.delimiter_length = static_cast<std::uint32_t>(c.delimiter.size());
        EXPECT_TRUE(reader_skip_statement(f.reader)) << c.input;
        EXPECT_EQ(c.input.substr(f.reader.position), c.rest) << c.input;
    }
    ReaderFixture g("a 'open; b");
    EXPECT_FALSE(reader_skip_statement(g.reader));
    EXPECT_STREQ(g.state.message, "Nicht abgeschlossene Zeichenkette im Dump.");
    EXPECT_EQ(g.reader.position, 10u);

    ProgressSink sink;
    sink.mode = 1;
    ReaderFixture h("a 'b\\'; c", &sink);
    EXPECT_TRUE(reader_skip_statement(h.reader));
    EXPECT_EQ(h.reader.position, 7u);
}

TEST(DumpReader, WindowBoundariesDoNotChangeResults) {
    // Tokens, strings and a two-byte delimiter that straddle the 1 MiB window end.
    const std::size_t w = READER_WINDOW_SIZE;
    for (std::size_t shift : {0u, 1u, 2u, 3u}) {
        std::string dump(w - 4 + shift, ' ');
        dump += "ABCDEF 'x''y' `z` END$$ tail";
        ReaderFixture f(dump);
        auto t = std::make_unique<Token>();
        ASSERT_TRUE(reader_read_token(f.reader, *t));
        EXPECT_STREQ(t->text, "ABCDEF");
        EXPECT_EQ(t->start, w - 4 + shift);
        ASSERT_TRUE(reader_read_token(f.reader, *t));
        EXPECT_STREQ(t->text, "x'y");
        std::memcpy(f.reader.delimiter, "$$", 3);
        f.reader.delimiter_length = 2;
        ASSERT_TRUE(reader_skip_statement(f.reader));
        EXPECT_EQ(dump.substr(f.reader.position), " tail");
    }
}

TEST(DumpReader, ProgressAndCancellationAtRefills) {
    test::ProgressLog log;
    ProgressSink sink = log.sink();
    ReaderFixture f(std::string(3 * READER_WINDOW_SIZE, ' ') + "X", &sink);
    Token t;
    ASSERT_TRUE(reader_read_token(f.reader, t));
    EXPECT_STREQ(t.text, "X");
    ASSERT_GE(log.done.size(), 1u);  // the first refill always reports
    EXPECT_EQ(log.done[0], 0u);
    for (const std::string& label : log.labels) EXPECT_EQ(label, "Dump indexieren");

    test::ProgressLog cancel;
    cancel.cancel_at = 1;
    ProgressSink stop = cancel.sink();
    ReaderFixture g("SELECT 1;", &stop);
    EXPECT_FALSE(reader_read_token(g.reader, t));
    EXPECT_EQ(g.reader.failed, 1);
    EXPECT_STREQ(g.state.message, "Vorgang abgebrochen.");
}

TEST(DumpReader, SizeFixedAtOpening) {
    // Bytes beyond the size at opening are not read; a file that shrank is a read error.
    ReaderFixture grown("ABC DEF", nullptr, 3);
    EXPECT_EQ(grown.tokens(), (Tokens{{TOKEN_WORD, "ABC"}}));
    EXPECT_EQ(grown.reader.failed, 0);

    ReaderFixture shrunk("ABC", nullptr, 10);
    shrunk.tokens();
    EXPECT_STREQ(shrunk.state.message, "Lesefehler im Dump. Datei oder Datenträger prüfen.");
}

// Executable comments: SQL_MODE assignments apply, and code objects inside them (a view,
// routine, trigger or event, whole or split over a chain of comments) get one note each that
// names them.
TEST(DumpReader, ExecutableCommentCapture) {
    struct Case {
        std::string input;
        std::vector<std::string> named;  // the objects the notes name, in order
        std::uint32_t escape_mode;
    };
    const std::vector<Case> cases = {
        {"/*!50001 CREATE VIEW `v` AS SELECT 1 AS `x`*/;", {"View `v`"}, 0},
        {"/*M!100100 CREATE OR REPLACE PROCEDURE p() BEGIN END */;", {"Prozedur `p`"}, 0},
        {"/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`localhost`*/ /*!50003 TRIGGER t BEFORE "
         "INSERT ON a FOR EACH ROW SET x=1 */;;",
         {"Trigger `t`"}, 0},
        {"/*!50001 CREATE ALGORITHM=UNDEFINED */\n/*!50013 DEFINER=`event`@`%` SQL SECURITY "
         "DEFINER */\n/*!50001 VIEW `db`.`v2` AS select 1 AS `1` */;",
         {"View `db`.`v2`"}, 0},
        {"/*!50106 CREATE*/ /*!50117 DEFINER=`root`@`localhost`*/ /*!50106 EVENT IF NOT EXISTS "
         "`ev` ON SCHEDULE EVERY 1 DAY DO DELETE FROM t */ ;;",
         {"Event `ev`"}, 0},
        // The temporary view and the view itself are one object: one note.
        {"/*!50001 CREATE VIEW `v` AS SELECT 1 AS `x`*/;\n/*!50001 CREATE ALGORITHM=UNDEFINED "
         "*/ /*!50001 VIEW `v` AS select 1 */;/*!50001 CREATE FUNCTION `v`() */",
         {"View `v`", "Funktion `v`"}, 0},
        {"/*!50001 CREATE TABLE `v` (`x` int) */ /*!50001 VIEW w */;", {}, 0},  // a placeholder
        {"/*!50001 CREATE `view` */;", {}, 0},
        {"/* CREATE VIEW v */;", {}, 0},  // a plain comment is not examined
        {"/*!40101 SET NAMES utf8mb4 */;", {}, 0},
        {"/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;", {}, 1},
        {"/*M!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;", {}, 1},
        {"/*!40101 CREATE " + std::string(CAPTURE_MAX, ' ') + "VIEW */;", {}, 0},
        {"/*!" + std::string(CAPTURE_MAX - 8, 'x') + " sql_mode='no_backslash_escapes' */", {}, 0},
        {"/*!" + std::string(CAPTURE_MAX - 32, 'x') + " sql_mode='no_backslash_escapes' */", {},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 60));
        ReaderFixture f(c.input);
        f.tokens();
        EXPECT_EQ(f.reader.failed, 0);
        std::string want;
        for (const std::string& name : c.named) want += test::note_code(name);
        EXPECT_EQ(f.state.note_count, c.named.size());
        EXPECT_EQ(f.state.import_notes, want);
        EXPECT_EQ(f.reader.escape_mode, c.escape_mode);
    }
}

TEST(DumpReader, StatementTextIsCappedAtTwoMiB) {
    std::string dump = "CREATE " + std::string(3 * 1048576, 'x') + ";";
    ReaderFixture f(dump);
    auto text = reader_read_text(f.reader, 0, dump.size());
    ASSERT_TRUE(text);
    EXPECT_EQ(std::strlen(text.get()), STATEMENT_TEXT_MAX);
    EXPECT_EQ(std::string(text.get(), 7), "CREATE ");
    EXPECT_EQ(f.state.note_count, 1u);
    EXPECT_EQ(f.state.import_notes,
              "Ein Schema-/SQL-Text wurde in der Vorschau auf 2 MiB begrenzt.\r\n");

    auto small = reader_read_text(f.reader, 7, 3);
    ASSERT_TRUE(small);
    EXPECT_STREQ(small.get(), "xxx");
    EXPECT_FALSE(reader_read_text(f.reader, dump.size() - 1, 5));  // short read: nothing
    EXPECT_EQ(f.reader.position, 0u);  // the scan position is untouched
}

}  // namespace
}  // namespace kv
