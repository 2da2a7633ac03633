// Lexical helpers over SQL text held in memory: skipping blanks and comments, and finding the
// end of one item of a comma-separated list (a column definition of CREATE TABLE, a value of
// a VALUES tuple). Shared by the importer and the record decoder; both work on spans of up to
// 64 MiB, so positions are 64-bit and nothing allocates.
//
// Blank: tab, line feed, form feed, carriage return, space (not vertical tab).
// Comments: "#" to the end of the line; "--" followed by a blank, to the end of the line;
// "/*" to the first "*/" whose "*" is at least the second byte after the "/" (so "/*/" does not
// close it), or to the end of the span.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

inline bool sql_is_blank(unsigned char c) {
    return c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

// ASCII letters and digits, '$', '@', '_' and every byte 0x80..0xFF.
inline bool sql_is_word(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           c == '$' || c == '@' || c == '_' || c >= 0x80;
}

// True when a comment starts at t[i], i < end.
bool sql_comment_starts(const unsigned char* t, std::uint64_t end, std::uint64_t i);

// Position after the comment that starts at t[i], at most end: a line comment ends after its
// line feed, a block comment after its "*/".
std::uint64_t sql_comment_end(const unsigned char* t, std::uint64_t end, std::uint64_t i);

// Advances position over blanks and comments of bytes[0..length); stops at any other byte or
// at length. Returns the new position.
std::uint64_t span_skip_blanks(const unsigned char* bytes, std::uint64_t length,
                               std::uint64_t position);

// Position of the ',' or ')' that ends the item starting at start, at parenthesis depth 0 and
// outside quotes and comments; a position >= end when there is none. no_backslash: backslashes
// inside quoted strings are ordinary bytes (NO_BACKSLASH_ESCAPES).
std::uint64_t value_find_end(const unsigned char* text, std::uint64_t end, std::uint64_t start,
                             bool no_backslash);

}  // namespace kv
