// The value model of a decoded tuple and the classification of one value's source text.
//
// A value is read back exactly as the dump wrote it: quoted strings are unescaped, numbers and
// binary literals stay as written, NULL is recognised, and everything else stays SQL text that
// is never evaluated. Values can be as large as their tuple (up to 64 MiB) and a tuple holds up
// to 4,096 of them, so classification works in place on the caller's bytes and copies only the
// result (and, for values holding comments, the source once).
//
// All functions here are pure; they report only running out of memory (false), never a
// malformed literal, which is simply SQL text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/sql_lex.h"  // EscapeMode
#include "foundation/sql_quote.h"  // escape_byte

namespace kv {

enum ValueKind : std::int32_t {
    VALUE_NULL = 0,           // SQL NULL; no text
    VALUE_TEXT = 1,           // string bytes after unescaping; may hold NUL bytes
    VALUE_NUMBER = 2,         // numeric literal exactly as written
    VALUE_BINARY = 3,         // "0x" + hex digits, or a bit literal b'..' as written
    VALUE_SQL = 4,            // anything else: source text, trimmed, comments as one space
    VALUE_NOT_IN_INSERT = 5,  // the column was not named by the tuple's INSERT; no text
};

// One decoded value. Owns its bytes; text.size() is the value's length (NUL bytes included).
// For VALUE_NULL and VALUE_NOT_IN_INSERT the text is always empty and means "no text":
// consumers test value_is_present rather than the emptiness of text (an empty string literal
// is VALUE_TEXT with empty text).
struct Value {
    std::string text;
    ValueKind kind = VALUE_NULL;
};

// True when the tuple holds a value for the column: not NULL and named by its INSERT. An empty
// string literal is present.
inline bool value_is_present(const Value& value) {
    return value.kind != VALUE_NULL && value.kind != VALUE_NOT_IN_INSERT;
}

// The label the record details show for a kind ("NULL", "Text", "Zahl / exaktes SQL-Literal",
// ...); "" for a code outside 0..5.
const char* value_kind_label(ValueKind kind);

// Decodes one value's source (the bytes between its separators, blanks included). Comments
// outside quotes become one space each; only then is a copy made. mode: whether backslashes in
// strings escape (as the tuple's layout word says). False only when memory runs out; out is
// then reset to an empty VALUE_NULL.
bool value_decode(std::string_view source, EscapeMode mode, Value& out);

// The fast path of the tuple reader. Decodes the value starting at tuple[start] when it has one
// of the plain shapes mysqldump writes: a quoted string ('...' or "..."), a number, or NULL,
// directly followed by ',' or ')'. Returns the position of that byte, with out holding exactly
// what value_find_end and value_decode give for the same value. Returns length when the value
// has any other shape (blanks, comments, adjacent strings, expressions) or memory runs out;
// out is then unspecified and the caller takes the general path.
std::size_t value_decode_plain(const unsigned char* tuple, std::size_t length, std::size_t start,
                               EscapeMode mode, Value& out);

// True for the bytes a numeric literal is made of (digits, '.', '+', '-', 'e', 'E'): the tuple
// reader takes the longest run of them before number_literal_test.
constexpr bool number_literal_byte(unsigned char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

// The digits of hex_encode and of binary values written from tuple bytes.
inline constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// True when the d bytes at b are exactly a numeric literal: sign, digits, optional fraction,
// optional exponent with at least one digit, and at least one mantissa digit.
bool number_literal_test(const unsigned char* b, std::size_t d);

// Classifies a literal without comment removal (leading blanks and comments are skipped,
// trailing blanks dropped). Same result contract as value_decode. For both functions the source
// must not lie inside out.text.
bool literal_classify(std::string_view bytes, EscapeMode mode, Value& out);

// True when the first word of a column type text (before a blank, "(" or NUL, cut to 31
// bytes) is binary, varbinary, blob, tinyblob, mediumblob or longblob, ignoring ASCII case.
bool binary_type_test(std::string_view type_text);

// "0x" followed by two upper-case hex digits per byte, into out (replacing its content).
// False when memory runs out (out is then empty).
bool hex_encode(std::string_view bytes, std::string& out);

}  // namespace kv
