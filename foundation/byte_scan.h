// Searches over the bytes of the reader's window that find the next byte of a small set: the
// inner loops of the import, which walk every byte of dumps of tens of gigabytes.
//
// On x86-64 (SSE2 is part of every such processor, so the Windows build has it too) 16 or 32
// bytes are tested at a time; elsewhere the same results come from a byte loop. Builds with
// KV_SCALAR_ONLY (the "scalar" preset, whose suites ./kv test runs too) take the byte loops
// on x86-64 as well, so that every test checks them against the same expectations. Every function
// takes a range [from, n) of readable bytes and returns the index of the first byte of the set
// in it, or n when there is none; nothing is read at or beyond n.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(KV_SCALAR_ONLY)
#include <emmintrin.h>
#define KV_BYTE_SCAN_SSE2 1
#endif

namespace kv {

// Bytes that interrupt the plain run of a tuple body: quotes, parentheses, the comma and the
// first bytes of comments.
inline constexpr bool tuple_stop_byte(unsigned char b) {
    return b == '\'' || b == '"' || b == '`' || b == '(' || b == ')' || b == ',' || b == '#' ||
           b == '-' || b == '/';
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
#ifdef KV_BYTE_SCAN_SSE2
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    for (; i + 32 <= n; i += 32) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
        const __m128i mx = _mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb));
        const __m128i my = _mm_or_si128(_mm_cmpeq_epi8(y, va), _mm_cmpeq_epi8(y, vb));
        const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(mx)) |
                          (static_cast<std::uint32_t>(_mm_movemask_epi8(my)) << 16);
        if (mask != 0) return i + scan_first_bit(mask);
    }
    if (i + 16 <= n) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const auto mask = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb))));
        if (mask != 0) return i + scan_first_bit(mask);
        i += 16;
    }
#endif
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
#ifdef KV_BYTE_SCAN_SSE2
    const __m128i quote = _mm_set1_epi8('\'');
    const __m128i dquote = _mm_set1_epi8('"');
    const __m128i bquote = _mm_set1_epi8('`');
    const __m128i open = _mm_set1_epi8('(');
    const __m128i close = _mm_set1_epi8(')');
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i hash = _mm_set1_epi8('#');
    const __m128i dash = _mm_set1_epi8('-');
    const __m128i slash = _mm_set1_epi8('/');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i m = _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, dquote));
        m = _mm_or_si128(m, _mm_or_si128(_mm_cmpeq_epi8(x, bquote), _mm_cmpeq_epi8(x, open)));
        m = _mm_or_si128(m, _mm_or_si128(_mm_cmpeq_epi8(x, close), _mm_cmpeq_epi8(x, comma)));
        m = _mm_or_si128(m, _mm_or_si128(_mm_cmpeq_epi8(x, hash), _mm_cmpeq_epi8(x, dash)));
        m = _mm_or_si128(m, _mm_cmpeq_epi8(x, slash));
        const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(m));
        if (mask != 0) return i + scan_first_bit(mask);
    }
#endif
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

#ifdef KV_BYTE_SCAN_SSE2
// The four 16-byte parts of a block.
struct Block4 {
    __m128i x0, x1, x2, x3;
};
inline Block4 block_load(const unsigned char* p) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48))};
}
// 64-bit mask of four 16-byte comparison results.
inline std::uint64_t block_mask(__m128i m0, __m128i m1, __m128i m2, __m128i m3) {
    const auto a = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m0)));
    const auto b = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m1)));
    const auto c = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m2)));
    const auto d = static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m3)));
    return a | (b << 16) | (c << 32) | (d << 48);
}
inline std::uint64_t block_equal(const Block4& x, unsigned char c) {
    const __m128i v = _mm_set1_epi8(static_cast<char>(c));
    return block_mask(_mm_cmpeq_epi8(x.x0, v), _mm_cmpeq_epi8(x.x1, v), _mm_cmpeq_epi8(x.x2, v),
                      _mm_cmpeq_epi8(x.x3, v));
}
// Bytes from '"' to '/' and '`'.
inline __m128i candidate_bytes(__m128i x) {
    const __m128i shifted = _mm_sub_epi8(x, _mm_set1_epi8('"'));
    const __m128i in_range =
        _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8('/' - '"')), shifted);
    return _mm_or_si128(in_range, _mm_cmpeq_epi8(x, _mm_set1_epi8('`')));
}
#endif

// Quotes and backslashes of the block (candidates stay 0).
inline ByteBlock byte_block_quotes(const unsigned char* p) {
    ByteBlock b;
#ifdef KV_BYTE_SCAN_SSE2
    const Block4 x = block_load(p);
    b.quotes = block_equal(x, '\'');
    b.backslashes = block_equal(x, '\\');
#else
    for (int k = 0; k < 64; ++k) {
        const std::uint64_t bit = std::uint64_t{1} << k;
        if (p[k] == '\'') b.quotes |= bit;
        if (p[k] == '\\') b.backslashes |= bit;
    }
#endif
    return b;
}

// The candidates mask of the block; needed only where a block has bytes outside strings.
inline std::uint64_t byte_block_candidates(const unsigned char* p) {
#ifdef KV_BYTE_SCAN_SSE2
    const Block4 x = block_load(p);
    return block_mask(candidate_bytes(x.x0), candidate_bytes(x.x1), candidate_bytes(x.x2),
                      candidate_bytes(x.x3));
#else
    std::uint64_t candidates = 0;
    for (int k = 0; k < 64; ++k) {
        if ((p[k] >= '"' && p[k] <= '/') || p[k] == '`') candidates |= std::uint64_t{1} << k;
    }
    return candidates;
#endif
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
