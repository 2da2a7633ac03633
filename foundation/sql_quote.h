// The rule for quoted strings in MySQL dump text, defined once for all that read it: the
// import's scans, the value decoder, the fast CSV row writer and the filter's raw pre-test.
// Strings run up to 64 MiB inside dumps of many gigabytes, so everything here works in place
// on the caller's bytes and allocates nothing.
//
// A string opens with ' " or ` and closes with the same quote; a doubled quote inside stands
// for one quote. In ' and " strings, unless NO_BACKSLASH_ESCAPES is in force ("escapes"
// false), a backslash takes the next byte along as an escape (see SQL_ESCAPES). Backquoted
// names have no escapes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/byte_scan.h"

namespace kv {

// The backslash escapes, indexed by the byte after the backslash.
struct SqlEscapes {
    // The byte the escape stands for: \0 NUL, \b \n \r \t \Z their control bytes, any other
    // byte itself; -1 for % and _, whose escapes keep the backslash (LIKE wildcards).
    short decoded[256];
    // The escape does more than drop its backslash: it stands for another byte, keeps the
    // backslash, or stands for a quote or a backslash.
    bool special[256];
    // The byte is what a special escape or a doubled quote stands for.
    bool produced[256];
};

constexpr SqlEscapes sql_escapes_make() {
    SqlEscapes t{};
    for (int c = 0; c < 256; ++c) t.decoded[c] = static_cast<short>(c);
    constexpr struct {
        unsigned char escape;
        short byte;
    } OTHER_BYTES[] = {{'0', 0},    {'b', '\b'}, {'n', '\n'}, {'r', '\r'},
                       {'t', '\t'}, {'Z', 0x1A}, {'%', -1},   {'_', -1}};
    for (const auto& e : OTHER_BYTES) t.decoded[e.escape] = e.byte;
    for (int c = 0; c < 256; ++c) {
        t.special[c] = t.decoded[c] != c || c == '\'' || c == '"' || c == '\\';
        if (t.special[c] && t.decoded[c] >= 0) t.produced[t.decoded[c]] = true;
    }
    return t;
}

inline constexpr SqlEscapes SQL_ESCAPES = sql_escapes_make();

// The byte a backslash escape (backslash, then c) stands for; -1 for \% and \_ (see
// SqlEscapes::decoded).
constexpr int escape_byte(unsigned char c) { return SQL_ESCAPES.decoded[c]; }

// Fast entry: walks a quoted text from index i, just after its opening quote, without
// decoding it. True with i just after the closing quote; false with i on the first byte the
// range cannot decide (n, or a quote or backslash on the last byte, whose meaning depends on
// the byte after it). For windows of a longer text.
inline bool scan_quoted(const unsigned char* p, std::size_t n, unsigned char quote, bool escapes,
                        std::size_t& i) {
    const unsigned char other = escapes ? static_cast<unsigned char>('\\') : quote;
    for (;;) {
        i = scan_find2(p, i, n, quote, other);
        if (i + 1 >= n) return false;
        if (p[i] != quote) {
            i += 2;  // backslash and the byte it escapes
            continue;
        }
        if (p[i + 1] == quote) {
            i += 2;  // doubled quote
            continue;
        }
        ++i;
        return true;
    }
}

// The same for a whole text [0, n): the position of the closing quote of the string whose
// text starts at i, or n when the text ends inside the string.
inline std::size_t sql_quoted_end(const unsigned char* p, std::size_t n, unsigned char quote,
                                  bool escapes, std::size_t i) {
    if (scan_quoted(p, n, quote, escapes, i)) return i - 1;
    return i + 1 == n && p[i] == quote ? i : n;
}

// General entry: walks the string whose text starts at i, up to its closing quote in [i, n),
// and hands its decoded text over in order: literal(first, count) for runs of bytes that
// stand for themselves, decoded(byte) for each byte a doubled quote or an escape stands for
// (\% and \_ hand over the backslash and the byte). Returns the closing quote's position,
// or n when the text ends inside the string (what was handed over is then incomplete).
template <typename Literal, typename Decoded>
inline std::size_t sql_quoted_walk(const unsigned char* p, std::size_t n, unsigned char quote,
                                   bool escapes, std::size_t i, Literal&& literal,
                                   Decoded&& decoded) {
    for (;;) {
        const std::size_t j = scan_find2(p, i, n, quote, escapes ? '\\' : quote);
        literal(p + i, j - i);
        if (j + 1 >= n) return j < n && p[j] == quote ? j : n;
        if (p[j] == quote) {
            if (p[j + 1] != quote) return j;
            decoded(quote);
        } else {
            const int b = escape_byte(p[j + 1]);
            if (b < 0) decoded('\\');
            decoded(static_cast<unsigned char>(b < 0 ? p[j + 1] : b));
        }
        i = j + 2;
    }
}

// Block form of the rule for strings in single quotes, over 64 bytes at p (bit k for byte k).
// in_string: all ones when p[0] lies inside a string; escape_carry (0 or 1): p[0] is escaped
// by the previous block's last backslashes, and receives the same for the next block: the
// state one block hands to the next. The first bytes of a block, with escapes:
//
//   bytes        x ' a \ ' b ' ' c ' y
//   backslashes  . . . 1 . . . . . . .
//   escaped      . . . . 1 . . . . . .      the quote after an odd run of backslashes
//   quotes       . 1 . . . . 1 1 . 1 .      every quote not escaped
//   inside       . 1 1 1 1 1 . 1 1 . .      parity of the quotes so far: a doubled quote
//                                           closes and reopens the string
//
// A backslash outside strings is flagged by the callers (the block pass hands it over).
struct QuoteMasks {
    std::uint64_t backslashes = 0;  // every backslash when escapes apply, else none
    std::uint64_t escaped = 0;      // bytes taken along by a backslash
    std::uint64_t quotes = 0;       // quotes that open or close a string (doubled ones pair up)
    std::uint64_t inside = 0;       // from an opening quote to the byte before its closing one
};

inline QuoteMasks quote_masks(const unsigned char* p, bool escapes, std::uint64_t in_string,
                              std::uint64_t& escape_carry) {
    const ByteBlock block = byte_block_quotes(p);
    QuoteMasks m;
    m.backslashes = escapes ? block.backslashes : 0;
    if ((m.backslashes | escape_carry) != 0) m.escaped = escaped_bytes(m.backslashes, escape_carry);
    m.quotes = block.quotes & ~m.escaped;
    m.inside = prefix_xor(m.quotes) ^ in_string;
    return m;
}

}  // namespace kv
