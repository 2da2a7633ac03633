// Searches over the bytes of the reader's window that find the next byte of a small set: the
// inner loops of the import, which walk every byte of dumps of tens of gigabytes.
//
// 16 or 32 bytes are tested at a time through Bytes16 (simd.h: SSE2 on x86-64, byte loops
// elsewhere and in the "scalar" preset). Every function takes a range [from, n) of readable
// bytes and returns the index of the first byte of the set in it, or n when there is none;
// nothing is read at or beyond n.
#pragma once

#include <bit>
#include <iterator>
#include <cstddef>
#include <cstdint>

#include "foundation/simd.h"

namespace kv {

// Bytes that may open a string, a name or a comment: where the plain run of a statement
// ends (the delimiter's first byte aside).
inline constexpr bool statement_stop_byte(unsigned char b) {
    return b == '\'' || b == '"' || b == '`' || b == '#' || b == '-' || b == '/';
}

// Bytes that interrupt the plain run of a tuple body: those of a statement, parentheses and
// the comma.
inline constexpr bool tuple_stop_byte(unsigned char b) {
    return statement_stop_byte(b) || b == '(' || b == ')' || b == ',';
}

// Position of the lowest and of the highest set bit of a non-zero mask.
template <typename Mask>
inline unsigned scan_first_bit(Mask mask) {
    return static_cast<unsigned>(std::countr_zero(mask));
}
template <typename Mask>
inline unsigned scan_last_bit(Mask mask) {
    return static_cast<unsigned>(std::bit_width(mask) - 1);
}

// First byte equal to a or b.
inline std::size_t scan_find2(const unsigned char* p, std::size_t from, std::size_t n,
                              unsigned char a, unsigned char b) {
    std::size_t i = from;
    const Bytes16 va = Bytes16::splat(a);
    const Bytes16 vb = Bytes16::splat(b);
    auto hits = [&](const unsigned char* at) {
        const Bytes16 x = Bytes16::load(at);
        return (equal(x, va) | equal(x, vb)).mask();
    };
    for (; i + 32 <= n; i += 32) {
        const std::uint32_t mask = hits(p + i) | (hits(p + i + 16) << 16);
        if (mask != 0) return i + scan_first_bit(mask);
    }
    if (i + 16 <= n) {
        const std::uint32_t mask = hits(p + i);
        if (mask != 0) return i + scan_first_bit(mask);
        i += 16;
    }
    while (i < n && p[i] != a && p[i] != b) ++i;
    return i;
}

// First byte equal to a.
inline std::size_t scan_find1(const unsigned char* p, std::size_t from, std::size_t n,
                              unsigned char a) {
    return scan_find2(p, from, n, a, a);
}

// First byte for which tuple_stop_byte holds.
inline std::size_t scan_find_tuple_stop(const unsigned char* p, std::size_t from, std::size_t n) {
    std::size_t i = from;
    static constexpr unsigned char STOPS[] = {'\'', '"', '`', '(', ')', ',', '#', '-', '/'};
    Bytes16 stops[std::size(STOPS)];
    for (std::size_t k = 0; k < std::size(STOPS); ++k) stops[k] = Bytes16::splat(STOPS[k]);
    for (; i + 16 <= n; i += 16) {
        const Bytes16 x = Bytes16::load(p + i);
        Bytes16 m = Bytes16::zero();
        for (const Bytes16& stop : stops) m = m | equal(x, stop);
        const std::uint32_t mask = m.mask();
        if (mask != 0) return i + scan_first_bit(mask);
    }
    while (i < n && !tuple_stop_byte(p[i])) ++i;
    return i;
}

// Bit masks over 64 bytes (bit k for byte k), the block form of the tuple scan: quotes,
// backslashes, and the candidates for tuple-level stops: every byte from '"' to '/' (a range
// that holds all of them besides '`', plus the plain bytes $ % & * + .) and '`'.
struct ByteBlock {
    std::uint64_t quotes = 0;
    std::uint64_t backslashes = 0;
    std::uint64_t candidates = 0;
};

// 64-bit mask of the four 16-byte parts of the block at p, each tested by part(x).
template <typename Part>
inline std::uint64_t block_mask(const unsigned char* p, Part part) {
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        mask |= static_cast<std::uint64_t>(part(Bytes16::load(p + 16 * k)).mask()) << (16 * k);
    }
    return mask;
}

// Quotes and backslashes of the block (candidates stay 0).
inline ByteBlock byte_block_quotes(const unsigned char* p) {
    const Bytes16 quote = Bytes16::splat('\'');
    const Bytes16 backslash = Bytes16::splat('\\');
    ByteBlock b;
    b.quotes = block_mask(p, [&](Bytes16 x) { return equal(x, quote); });
    b.backslashes = block_mask(p, [&](Bytes16 x) { return equal(x, backslash); });
    return b;
}

// The candidates mask of the block (bytes from '"' to '/', and '`'); needed only where a block
// has bytes outside strings.
inline std::uint64_t byte_block_candidates(const unsigned char* p) {
    const Bytes16 first = Bytes16::splat('"');
    const Bytes16 span = Bytes16::splat('/' - '"');
    const Bytes16 backquote = Bytes16::splat('`');
    return block_mask(p, [&](Bytes16 x) {
        const Bytes16 shifted = minus(x, first);
        return equal(min_unsigned(shifted, span), shifted) | equal(x, backquote);
    });
}

inline ByteBlock byte_block(const unsigned char* p) {
    ByteBlock b = byte_block_quotes(p);
    b.candidates = byte_block_candidates(p);
    return b;
}

// Bit k set when an odd number of bits at or below k are set in x.
inline std::uint64_t prefix_xor(std::uint64_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
}

// The bytes escaped by a backslash, given the backslash mask of a block: every run of
// backslashes escapes the byte after it when the run's length is odd. carry (0 or 1) says that
// the block's first byte is escaped by the previous block's last run, and receives the same
// for the next block.
inline std::uint64_t escaped_bytes(std::uint64_t backslashes, std::uint64_t& carry) {
    constexpr std::uint64_t EVEN = 0x5555555555555555ull;
    constexpr std::uint64_t ODD = ~EVEN;
    const std::uint64_t starts = backslashes & ~(backslashes << 1);
    const std::uint64_t even_start_mask = EVEN ^ carry;
    const std::uint64_t even_starts = starts & even_start_mask;
    const std::uint64_t odd_starts = starts & ~even_start_mask;
    const std::uint64_t even_carries = backslashes + even_starts;
    const std::uint64_t odd_sum = backslashes + odd_starts;
    const std::uint64_t ends_odd = odd_sum < backslashes ? 1u : 0u;  // carry out of bit 63
    const std::uint64_t odd_carries = odd_sum | carry;
    carry = ends_odd;
    const std::uint64_t even_ends = even_carries & ~backslashes & ODD;
    const std::uint64_t odd_ends = odd_carries & ~backslashes & EVEN;
    return even_ends | odd_ends;
}

}  // namespace kv
