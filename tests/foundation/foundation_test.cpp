// Foundation pieces: UTF-8/UTF-16 conversion, SQL lexing, the message formatter, the dump state
// record and the completion signal between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "foundation/dump_state.h"
#include "foundation/message.h"
#include "foundation/status.h"
#include "foundation/sql_lex.h"
#include "foundation/text.h"
#include "foundation/thread.h"
#include "tests/foundation/lex_model.h"

using namespace kv;
using namespace std::literals;

// Valid text round trips exactly; every malformed sequence becomes U+FFFD.
TEST(Text, ConversionsAndCaseFolding) {
    for (std::string s : {"Grüße – \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"s, "nul\0in"s, ""s}) {
        EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s);
    }
    EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80ä"), u"\xD83D\xDE00\x00E4");
    EXPECT_EQ(utf8_to_utf16("\x80|a\xC3|\xC0\x80|\xED\xA0\x80|\xF5\x80\x80\x80|\xE2\x82x|\xFF"),
              u"\xFFFD|a\xFFFD|\xFFFD\xFFFD|\xFFFD\xFFFD\xFFFD|\xFFFD\xFFFD\xFFFD\xFFFD|\xFFFDx|\xFFFD");
    EXPECT_EQ(utf16_to_utf8(u"a\xD800" u"b\xDC00\xD83D"), "a\uFFFD" "b\uFFFD\uFFFD");
    EXPECT_TRUE(ascii_iequals("No_Backslash", "NO_BACKSLASH"));
    // "[" and "{" differ by 32 but are no letters.
    EXPECT_FALSE(ascii_iequals("Ä", "ä") || ascii_iequals("[", "{") || ascii_iequals("ab", "abc"));
}

// Where an item of a comma-separated list ends, and where blanks and comments end.
TEST(SqlLex, ItemEndsAndCommentSkipping) {
    const struct { std::string text; bool no_backslash; std::uint64_t end; } items[] = {
        {"5--1,2", false, 4},          {"DECIMAL(10,2) NOT NULL,x", false, 22},
        {"f(a,b))", false, 6},         {"/*/,*/1)", false, 7},
        {"'a,b\\',c',d", false, 9},    {"'a,b\\',c',d", true, 6},
        {"-- x,\n1,2", false, 7},      {"# x)\n3)", false, 6},
    };
    auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    for (const auto& c : items) EXPECT_EQ(value_find_end(bytes(c.text), c.text.size(), 0, escape_mode_of(c.no_backslash)), c.end) << c.text;
    const std::pair<std::string, std::uint64_t> skips[] = {
        {" \t/* c */ -- n\r\n#x\nINSERT", 19}, {"--1", 0}, {"/*/ */x", 6}, {"/* open", 7}};
    for (const auto& [text, end] : skips) EXPECT_EQ(span_skip_blanks(bytes(text), text.size(), 0, EscapeMode::backslash), end) << text;
}

// Every lexical rule against the byte-by-byte model (lex_model.h, shared with fuzz_lex) on
// texts dense with the bytes the rules turn on, in both escape modes.
TEST(SqlLex, RulesAgainstTheByteModel) {
    static const char* const pieces[] = {
        "/*", "*/", "/*!", "/*M!", "/*!50003 ", "--", "-- ", "--\x01", "--\x7f", "--x", "#",
        "\n", "\r", "'", "\"", "`", "\\", "''", "(", ")", ",", "x", " ", "*", "/", "-", "!",
        "M", "\xc3\xbc"};
    std::uint64_t state = 88172645463325252ull;  // xorshift: the same texts on every platform
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::uint64_t length = next() % 160; text.size() < length;) {
            text += pieces[next() % std::size(pieces)];
        }
        for (const EscapeMode mode : {EscapeMode::backslash, EscapeMode::no_backslash}) {
            const std::string difference = test::lex_model_check(text, mode);
            ASSERT_EQ(difference, "") << text << " (mode " << static_cast<int>(mode) << ")";
        }
    }
}

// A status's text: its sentence with the arguments in order (an argument's own '%' stays as
// it is), then the dump position; success has none.
TEST(Status, TextFillsArgumentsAndPosition) {
    EXPECT_EQ(status_text(Status{}), "");
    EXPECT_EQ(status_text(status_cancelled()), "Vorgang abgebrochen.");
    Status s = status_fail(StatusKind::refused, Msg::export_done, {"100 %s %n %% Treffer.csv"});
    EXPECT_EQ(status_text(s), "Export abgeschlossen: 100 %s %n %% Treffer.csv");
    s.byte = 0;
    EXPECT_EQ(status_text(s), "Export abgeschlossen: 100 %s %n %% Treffer.csv (Byte 0)");
    s = status_fail(StatusKind::syntax, Msg::export_done);  // a missing argument stays empty
    s.byte = 18446744073709551614ULL;
    EXPECT_EQ(status_text(s), "Export abgeschlossen:  (Byte 18446744073709551614)");
    EXPECT_FALSE(s.ok());
}

TEST(Message, SixtyFourBitValuesAndSafeCuts) {
    char b[64], small[8] = "zzzzzzz";
    EXPECT_EQ(msg_format(b, sizeof b, "%llu %016llx %%%s", 18446744073709551615ULL, 255ULL, "x"), 40);
    EXPECT_STREQ(b, "18446744073709551615 00000000000000ff %x");
    EXPECT_LT(msg_format(small, sizeof small, "%s", "Vorgang abgebrochen."), 0);
    EXPECT_STREQ(small, "Vorgang");
    EXPECT_EQ(msg_format(small, sizeof small, "%s", "1234567"), 7);
    msg_format(b, 0, "%s", "abc");
    EXPECT_STREQ(b, "18446744073709551615 00000000000000ff %x");  // no room: untouched
}

TEST(DumpState, ClearDestroyAndNoteLimit) {
    DumpState state;
    state.objects.resize(3), state.total_entries = 42, state.cache_folder = "/c/0123";
    import_note_append(state, "Hinweis");
    EXPECT_EQ(state.import_notes, "Hinweis\r\n");
    dump_state_clear_schema(state);  // notes are not part of the schema
    EXPECT_TRUE(state.objects.empty() && state.total_entries == 0 && state.note_count == 1);
    state.import_notes.assign(65532, 'n');
    import_note_append(state, "x");  // 65532 + 1 + 4 > 65536: dropped, but counted
    import_note_append(state, "");   // 65532 + 0 + 4 still fits
    EXPECT_EQ(std::to_string(state.import_notes.size()) + " " + std::to_string(state.note_count), "65534 3");
    for (int i = 0; i < 2; ++i) dump_state_destroy(state);  // twice is harmless
    EXPECT_TRUE(state.dump_handle == INVALID_FILE && state.import_notes.empty() &&
                state.cache_folder.empty());
}

// A set is never lost (before or during a wait), wakes one wait, and two sets count as one; a
// detached thread runs once per start.
TEST(Signal, SetsAreRememberedOnceAndHandedToDetachedThreads) {
    Signal signal;
    EXPECT_FALSE(signal.wait_for(20ms));
    signal.set(), signal.set();
    EXPECT_TRUE(signal.wait_for(0ms) && !signal.wait_for(0ms));
    static Signal go, back;  // static: a thread may still be in back.set() when the test ends
    static std::atomic<int> runs{0};
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(thread_start_detached([](void*) { go.wait_for(10s); runs.fetch_add(1); back.set(); }, nullptr));
        go.set();
        ASSERT_TRUE(back.wait_for(10s)) << "round " << i;
        EXPECT_EQ(runs.load(), i + 1);
    }
}
