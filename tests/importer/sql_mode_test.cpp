// SQL_MODE recogniser: literal values, the save-and-restore idiom, DEFAULT, and the refusal of
// every other assignment form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "importer/sql_mode.h"

namespace kv {
namespace {

constexpr const char* MSG_DYNAMIC =
    "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import einen "
    "normalen mysqldump verwenden.";

struct Case {
    std::uint32_t mode;
    std::uint32_t saved;
    std::string text;
    std::uint32_t want_mode;
    std::uint32_t want_saved;
    bool fails;
    bool was_saved = false;  // the dump saved its mode before
};

TEST(SqlMode, Assignments) {
    const std::vector<Case> cases = {
        {1, 0, "SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO'", 0, 1, false},
        {0, 0, "SET SQL_MODE='ANSI_QUOTES,NO_BACKSLASH_ESCAPES'", 1, 0, false},
        {1, 0, "SET SQL_MODE=@OLD_SQL_MODE", 0, 0, false},
        {0, 1, "SET SQL_MODE=@OLD_SQL_MODE", 1, 1, false},
        {0, 0, "SET sql_mode = \"no_backslash_escapes\";", 1, 0, false},
        {1, 0, "SET sql_mode = DEFAULT;", 0, 0, false},
        {1, 0, "SET sql_mode=default", 0, 0, false},
        {1, 0, "SET sql_mode=''", 0, 0, false},
        {0, 0, "SET sql_mode\t=\n'x' , sql_mode = 'NO_BACKSLASH_ESCAPES'", 1, 0, false},  // last wins
        {0, 0, "!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' ", 1, 0, false},
        {0, 0, "SET SESSION.sql_mode='no_backslash_escapes'", 1, 0, false},
        {0, 0, "SET x=(sql_mode='no_backslash_escapes')", 1, 0, false},
        {1, 1, "SET @saved = @@sql_mode", 1, 1, false},    // not at a word start
        {1, 0, "SET @saved_sql_mode = 'x'", 1, 0, false},  // not at a word start
        {1, 0, "SET sql_modes = 'x'", 1, 0, false},
        {1, 0, "SELECT sql_mode, 1", 1, 0, false},
        {1, 0, "SET NAMES utf8mb4", 1, 0, false},
        {1, 0, "sql_mod", 1, 0, false},  // shorter than 8 bytes
        {1, 0, "SET @OLD_SQL_MODE = @@SQL_MODE", 1, 0, false},  // blanks: no save
        {1, 0, "SET @old_sql_mode=@@sql_mode", 1, 1, false},
        {1, 0, "SET @Old_Sql_Mode=@@Sql_Mode", 1, 0, false},  // only the two exact forms
        {0, 0, "SET sql_mode='" + std::string(491, 'a') + "no_backslash_escapes'", 1, 0, false},
        {0, 0, "SET sql_mode='" + std::string(492, 'a') + "no_backslash_escapes'", 0, 0, false},
        {0, 0, "SET sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')", 0, 0, true},
        {0, 0, "SET sql_mode = 7", 0, 0, true},
        {0, 0, "SET sql_mode =", 0, 0, true},
        // The failure stands, but later assignments in the text are still applied.
        {0, 0, "SET sql_mode = x, sql_mode = 'NO_BACKSLASH_ESCAPES'", 1, 0, true},
        // The system variable and the session scope set the mode like the plain name.
        {0, 0, "SET @@sql_mode = 'NO_BACKSLASH_ESCAPES'", 1, 0, false},
        {0, 0, "SET @@SESSION.sql_mode='NO_BACKSLASH_ESCAPES'", 1, 0, false},
        {0, 0, "SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'", 1, 0, false},
        {0, 0, "SET @@LOCAL.sql_mode := \"no_backslash_escapes\"", 1, 0, false},
        {0, 0, "SET sql_mode:='NO_BACKSLASH_ESCAPES'", 1, 0, false},
        {0, 0, "SET x@@sql_mode = 'NO_BACKSLASH_ESCAPES'", 0, 0, false},
        {0, 0, "SET @@@sql_mode = 'NO_BACKSLASH_ESCAPES'", 0, 0, false},
        // The server-wide mode leaves the dump's session as it is, whatever its value.
        {0, 0, "SET GLOBAL sql_mode = 'NO_BACKSLASH_ESCAPES'", 0, 0, false},
        {0, 0, "SET @@GLOBAL.sql_mode = CONCAT(@@sql_mode, 'x')", 0, 0, false},
        {0, 0, "SET PERSIST sql_mode = ''", 0, 0, false},
        // HeidiSQL's restore: the saved mode, or the literal when nothing was saved.
        {0, 1, "SET SQL_MODE=IFNULL(@OLD_SQL_MODE, '')", 1, 1, false, true},
        {1, 0, "SET SQL_MODE=IFNULL(@OLD_SQL_MODE, '')", 0, 0, false},
        {0, 0, "SET sql_mode = ifnull ( @x , 'NO_BACKSLASH_ESCAPES' )", 1, 0, false},
        {0, 0, "SET sql_mode = IFNULL(@@sql_mode, '')", 0, 0, true},
        {0, 0, "SET sql_mode = IFNULL(@x, CONCAT('a'))", 0, 0, true},
        {0, 0, "SET sql_mode = IFNULL(@x, 'a') + 1", 0, 0, false},
    };
    for (const Case& c : cases) {
        DumpState state;
        DumpReader reader;
        reader.state = &state;
        reader.escape_mode = c.mode;
        reader.saved_escape_mode = c.saved;
        reader.mode_saved = c.was_saved ? 1 : 0;
        sql_mode_recognise(reader, c.text.c_str());
        EXPECT_EQ(reader.escape_mode, c.want_mode) << c.text;
        EXPECT_EQ(reader.saved_escape_mode, c.want_saved) << c.text;
        EXPECT_EQ(reader.failed != 0, c.fails) << c.text;
        EXPECT_STREQ(state.message, c.fails ? MSG_DYNAMIC : "") << c.text;
    }
}

}  // namespace
}  // namespace kv
