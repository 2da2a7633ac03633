// The block pass over a tuple's body: 64 bytes at a time, with single-quoted strings (and
// their escapes) resolved by bit masks, values counted at depth 1 and nesting tracked. Shared
// by the statement loop's scan and the helper threads that scan chunks ahead of it, so that
// both read a tuple by one definition.
//
// Works in place on the caller's bytes (a 1 MiB window or a helper's buffer) and allocates
// nothing. Limits: 4,096 values a tuple, nesting depth 4,096 (insert_scan.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/sql_lex.h"

namespace kv {

inline constexpr std::uint32_t MAX_TUPLE_VALUES = 4096;
inline constexpr std::uint32_t MAX_TUPLE_DEPTH = 4096;

enum BlockOutcome {
    BLOCK_HANDOVER,
    BLOCK_CLOSED,
    BLOCK_TOO_DEEP,
    BLOCK_TOO_MANY,
    BLOCK_FAILED,
    BLOCK_STOPPED,
};

// What a chain asks of the block pass after it took a tuple joined to the next by ",(".
enum ChainStep { CHAIN_NEXT, CHAIN_STOP, CHAIN_FAILED };

// Walks the tuple body in [0, n) starting outside any string. BLOCK_CLOSED with at just after
// the tuple's ')'; BLOCK_TOO_DEEP / BLOCK_TOO_MANY with at just after the '(' or ',' that
// exceeds the limit; BLOCK_HANDOVER with at on a byte outside any string from which the
// stop-by-stop walk goes on: the start of the last part of fewer than 64 bytes (or the opening
// quote of a string that runs into it), or a byte this pass leaves to it (a comment starter,
// a string in other quotes, a backslash outside strings).
//
// With a chain (not null), a tuple that closes with exactly expected_values values and is
// followed by ",(" and a value start in the same block is handed to chain->link(k), k the
// index of its ')'. CHAIN_NEXT goes on with the next tuple (1 value so far); CHAIN_STOP ends
// with BLOCK_STOPPED and at on the next tuple's '('; CHAIN_FAILED ends with BLOCK_FAILED.
template <typename Chain>
BlockOutcome tuple_blocks(const unsigned char* p, std::size_t n, EscapeMode mode,
                          std::uint32_t& depth, std::uint32_t& values, std::size_t& at,
                          Chain* chain) {
    std::size_t i = 0;
    std::uint64_t in_string = 0;  // all ones inside a string at the block start
    std::uint64_t escape_carry = 0;
    std::size_t string_start = 0;
    for (; i + 64 <= n; i += 64) {
        const QuoteMasks q = quote_masks(p + i, escapes_in(mode, '\''), in_string, escape_carry);
        const std::uint64_t quotes = q.quotes;
        const std::uint64_t inside = q.inside;
        const std::uint64_t stray = q.backslashes & ~inside;  // backslashes outside strings
        const std::uint64_t before_stray =
            stray != 0 ? (stray & (0 - stray)) - 1 : ~std::uint64_t{0};
        const std::uint64_t outside = ~inside & ~quotes & before_stray;
        std::uint64_t stops = outside != 0 ? byte_block_candidates(p + i) & outside : 0;
        while (stops != 0) {
            const std::size_t k = i + scan_first_bit(stops);
            stops &= stops - 1;
            // Commas are by far the most frequent stop, then ')'; tests in that order keep the
            // branches predictable.
            const unsigned char c = p[k];
            if (c == ',') {
                if (depth == 1 && ++values > MAX_TUPLE_VALUES) {
                    at = k + 1;
                    return BLOCK_TOO_MANY;
                }
                continue;
            }
            if (c == ')') {
                if (depth == 1) {
                    // Only the join without blanks, whose "(" lies in this block.
                    if (chain != nullptr && values == chain->expected_values && k + 3 < i + 64 &&
                        tuple_join_gap(p + k + 1, n - k - 1) == 1) {
                        const ChainStep step = chain->link(k);
                        if (step == CHAIN_FAILED) {
                            at = k + 1;
                            return BLOCK_FAILED;
                        }
                        if (step == CHAIN_STOP) {
                            at = k + 2;
                            return BLOCK_STOPPED;
                        }
                        values = 1;
                        stops &= ~((std::uint64_t{2} << (k + 2 - i)) - 1);  // the ",("
                        continue;
                    }
                    at = k + 1;
                    return BLOCK_CLOSED;
                }
                --depth;
                continue;
            }
            if (c == '(') {
                if (++depth > MAX_TUPLE_DEPTH) {
                    at = k + 1;
                    return BLOCK_TOO_DEEP;
                }
                continue;
            }
            if (c == '-' || c == '/') {
                // Starts a comment only with "--" or "/*"; the stop-by-stop walk decides when
                // the next byte is not in the window.
                if (k + 1 < n && !sql_may_start_comment(c, p[k + 1])) continue;
                at = k;
                return BLOCK_HANDOVER;
            }
            if (c == '"' || c == '`' || c == '#') {
                at = k;
                return BLOCK_HANDOVER;
            }
        }
        if (stray != 0) {
            at = i + scan_first_bit(stray);
            return BLOCK_HANDOVER;
        }
        in_string = (inside >> 63) != 0 ? ~std::uint64_t{0} : 0;
        if (in_string != 0) {
            const std::uint64_t openings = quotes & inside;
            if (openings != 0) string_start = i + scan_last_bit(openings);
        } else {
            escape_carry = 0;
        }
    }
    at = in_string != 0 ? string_start : i;
    return BLOCK_HANDOVER;
}

}  // namespace kv
