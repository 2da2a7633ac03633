// The lexical rules of MySQL dump text, defined once for every reader of it: the import's
// streaming reader over dumps of many gigabytes, its helper threads, the CREATE parser, the
// value decoder and the filter. Where a comment starts and ends (also inside executable
// comments, whose contents are code), how a quoted string or name ends in each escape mode
// (sql_quote.h, with its block form), and what joins two tuples. The searches for the bytes
// that interrupt these rules, with SSE2 where the processor has it, are in byte_scan.h.
//
// The walkers here are templates over a byte source, so that one definition serves text held
// in memory (spans of up to 64 MiB) and the reader's 1 MiB window alike. A source offers
//   int peek(std::uint32_t k)  the byte k ahead of its position, or SQL_END past the end;
//   void advance()             moves one byte on (never past the end).
// Nothing here allocates.
//
// Blank: tab, line feed, form feed, carriage return, space (not vertical tab).
// Comments, as the server's lexer reads them:
// - "#" to the end of the line; "--" followed by a blank, another control byte (0..31, 127)
//   or the end of the text, to the end of the line (so "--x" and "--1" are no comment);
// - "/*" to the first "*/" whose "*" is at least the second byte after the "/" (so "/*/"
//   does not close it); such a comment holds no other comment;
// - "/*!" and "/*M!" (an executable comment, with optional version digits) hold code: its
//   strings, its comments and executable comments nested in it are read as outside, and only
//   a "*/" outside all of them ends it.
// A comment that runs to the end of the text is unterminated; the walkers say so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/sql_quote.h"

namespace kv {

// Whether backslashes escape the next byte in '…' and "…" strings: yes by default, no under
// the SQL mode NO_BACKSLASH_ESCAPES. Backquoted names never have escapes. The dump's index
// stores no_backslash as bit 31 of a tuple's layout word.
enum class EscapeMode : std::uint8_t { backslash = 0, no_backslash = 1 };

constexpr EscapeMode escape_mode_of(bool no_backslash) {
    return no_backslash ? EscapeMode::no_backslash : EscapeMode::backslash;
}
// Whether a backslash escapes in a text opened by quote under mode.
constexpr bool escapes_in(EscapeMode mode, int quote) {
    return mode == EscapeMode::backslash && quote != '`';
}

// Past the last byte of a text: what a source's peek yields there.
inline constexpr int SQL_END = 256;

inline bool sql_is_blank(unsigned char c) {
    return c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

// ASCII letters and digits, '$', '@', '_' and every byte 0x80..0xFF.
inline bool sql_is_word(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           c == '$' || c == '@' || c == '_' || c >= 0x80;
}

// "--" starts a comment when after (the byte after it, or SQL_END) is a blank, another
// control byte or the end of the text.
constexpr bool sql_dashes_comment(int after) {
    return after == SQL_END || (after >= 0 && after <= 32) || after == 127;
}

// Whether c, followed by next, may start a comment: the test of the window scans, which look
// at the bytes after a "--" only when this holds.
constexpr bool sql_may_start_comment(int c, int next) {
    return c == '#' || (c == '-' && next == '-') || (c == '/' && next == '*');
}

enum class SqlComment : std::uint8_t { none, line, block, executable };

// The comment that starts at the source's position.
template <typename Source>
SqlComment sql_comment_at(Source& s) {
    const int c = s.peek(0);
    if (c == '#') return SqlComment::line;
    if (c != '-' && c != '/') return SqlComment::none;
    const int next = s.peek(1);
    if (!sql_may_start_comment(c, next)) return SqlComment::none;
    if (c == '-') return sql_dashes_comment(s.peek(2)) ? SqlComment::line : SqlComment::none;
    const int third = s.peek(2);
    if (third == '!' || (third == 'M' && s.peek(3) == '!')) return SqlComment::executable;
    return SqlComment::block;
}

enum class QuotedEnd : std::uint8_t {
    inside,        // (one step) a byte of the text was passed
    closed,        // the source stands after the closing quote
    unterminated,  // the text ended inside the string
    open_escape,   // the text ended right after an escaping backslash
    stopped,       // content asked to stop
};

// One step inside a string or name (quote: ' " or `): passes one byte of its text, a doubled
// quote or an escape pair, with byte set to the byte it stands for (a doubled quote for one
// quote, an escaped byte for itself, without its backslash and untranslated: \n gives 'n'),
// or the closing quote.
template <typename Source>
QuotedEnd sql_quoted_step(Source& s, int quote, bool escapes, int& byte) {
    byte = s.peek(0);
    if (byte == SQL_END) return QuotedEnd::unterminated;
    s.advance();
    if (byte == quote) {
        if (s.peek(0) != quote) return QuotedEnd::closed;
        s.advance();  // a doubled quote stands for one
    } else if (byte == '\\' && escapes) {
        byte = s.peek(0);
        if (byte == SQL_END) return QuotedEnd::open_escape;
        s.advance();  // the escaped byte, whatever it is
    }
    return QuotedEnd::inside;
}

// Called after the opening quote: hands each byte the text stands for to content(byte), which
// returns false to stop, and moves past the closing quote. The general form of the quote rule;
// sql_quote.h has the fast ones.
template <typename Source, typename Content>
QuotedEnd sql_walk_quoted_body(Source& s, int quote, bool escapes, Content&& content) {
    for (;;) {
        int byte = 0;
        const QuotedEnd step = sql_quoted_step(s, quote, escapes, byte);
        if (step != QuotedEnd::inside) return step;
        if (!content(static_cast<unsigned char>(byte))) return QuotedEnd::stopped;
    }
}

// The same without the bytes: false when the text ends inside the string.
template <typename Source>
bool sql_skip_quoted_body(Source& s, int quote, bool escapes) {
    return sql_walk_quoted_body(s, quote, escapes, [](unsigned char) { return true; }) ==
           QuotedEnd::closed;
}

// Moves through the next line feed (or to the end of the text).
template <typename Source>
void sql_skip_line(Source& s) {
    for (int c = s.peek(0); c != SQL_END; c = s.peek(0)) {
        s.advance();
        if (c == '\n') return;
    }
}

// Called after the "/*" of an ordinary block comment; moves past its "*/". False when the text
// ends first.
template <typename Source>
bool sql_skip_block_body(Source& s) {
    for (;;) {
        const int c = s.peek(0);
        if (c == SQL_END) return false;
        s.advance();
        if (c == '*' && s.peek(0) == '/') {
            s.advance();
            return true;
        }
    }
}

// Called after the "/*" of an executable comment: its contents are code, read in mode, and
// only a "*/" outside strings and comments ends it; an executable comment inside it nests.
// Moves past the closing "*/"; false when the text ends first.
template <typename Source>
bool sql_skip_executable_body(Source& s, EscapeMode mode) {
    std::uint64_t open = 1;  // executable comments not yet closed; bounded by the text
    for (;;) {
        const int c = s.peek(0);
        if (c == SQL_END) return false;
        if (c == '*' && s.peek(1) == '/') {
            s.advance();
            s.advance();
            if (--open == 0) return true;
            continue;
        }
        switch (sql_comment_at(s)) {
            case SqlComment::line:
                sql_skip_line(s);
                continue;
            case SqlComment::block:
                s.advance();
                s.advance();
                if (!sql_skip_block_body(s)) return false;
                continue;
            case SqlComment::executable:
                s.advance();
                s.advance();
                ++open;
                continue;
            case SqlComment::none:
                break;
        }
        s.advance();
        if (c == '\'' || c == '"' || c == '`') {
            if (!sql_skip_quoted_body(s, c, escapes_in(mode, c))) return false;
        }
    }
}

// Moves past the comment of kind (not none) that starts at the source's position. False when
// it is unterminated (the source then stands at the end of the text).
template <typename Source>
bool sql_skip_comment(Source& s, SqlComment kind, EscapeMode mode) {
    if (kind == SqlComment::line) {
        sql_skip_line(s);
        return true;
    }
    s.advance();  // the "/"
    s.advance();  // the "*", which cannot be the one that closes ("/*/" is open)
    return kind == SqlComment::executable ? sql_skip_executable_body(s, mode)
                                          : sql_skip_block_body(s);
}

// A byte source over text in memory, bytes [0, end) from position i.
struct SqlSpanBytes {
    const unsigned char* t = nullptr;
    std::uint64_t end = 0;
    std::uint64_t i = 0;
    int peek(std::uint32_t k) const { return i + k < end ? t[i + k] : SQL_END; }
    void advance() { ++i; }
};

// The comment at t[i] (i < end), or SqlComment::none.
inline SqlComment sql_comment_starts(const unsigned char* t, std::uint64_t end, std::uint64_t i) {
    SqlSpanBytes s{t, end, i};
    return sql_comment_at(s);
}

// Position after the comment of kind (not none) that starts at t[i]: a line comment ends
// after its line feed, a block comment after its "*/"; end when it is unterminated.
std::uint64_t sql_comment_end(const unsigned char* t, std::uint64_t end, std::uint64_t i,
                              SqlComment kind, EscapeMode mode);

// Advances position over blanks and comments of bytes[0..length); stops at any other byte or
// at length. Returns the new position.
std::uint64_t span_skip_blanks(const unsigned char* bytes, std::uint64_t length,
                               std::uint64_t position, EscapeMode mode);

// Position of the ',' or ')' that ends the item starting at start, at parenthesis depth 0 and
// outside quotes and comments; a position >= end when there is none.
std::uint64_t value_find_end(const unsigned char* text, std::uint64_t end, std::uint64_t start,
                             EscapeMode mode);

// A byte that starts a value, so that nothing stands between a tuple's "(" and its first value:
// no blank, no comment, no ")".
inline bool tuple_join_value_start(unsigned char c, unsigned char next) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '\'' ||
           c == '_' || (c == '-' && next != '-');
}

inline constexpr std::size_t TUPLE_JOIN_GAP_MAX = 255;  // a join of more blanks is none

// The join of two tuples that the import's fast paths follow without returning to the
// statement loop, as the loop reads it when no comment intervenes: after a tuple's ")", blanks,
// ",", blanks, "(" and a value start; q[0..n) are the bytes after the ")". Returns the gap,
// the index of the "(" in q (1 for ",(", the way mysqldump joins), below TUPLE_JOIN_GAP_MAX;
// 0 when the bytes are no such join, -1 when they run out before that is known.
inline int tuple_join_gap(const unsigned char* q, std::size_t n) {
    std::size_t i = 0;
    while (i < n && i < TUPLE_JOIN_GAP_MAX && sql_is_blank(q[i])) ++i;
    if (i == n) return -1;
    if (q[i] != ',') return 0;
    ++i;
    while (i < n && i < TUPLE_JOIN_GAP_MAX && sql_is_blank(q[i])) ++i;
    if (i + 2 >= n) return i >= TUPLE_JOIN_GAP_MAX ? 0 : -1;
    if (q[i] != '(' || i >= TUPLE_JOIN_GAP_MAX || !tuple_join_value_start(q[i + 1], q[i + 2])) {
        return 0;
    }
    return static_cast<int>(i);
}

}  // namespace kv
