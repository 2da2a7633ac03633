// The walk over a tuple's body: where it stands in the tuple's grammar (nesting, values at
// depth 1), the rules of its three structural bytes, and the block pass that goes 64 bytes at
// a time, with single-quoted strings (and their escapes) resolved by bit masks. Shared by the
// statement loop's walks (the block pass, the stop-by-stop window walk and the byte path) and
// the helper threads that scan chunks ahead of it, so that all read a tuple by one definition.
//
// Works in place on the caller's bytes (a 1 MiB window or a helper's buffer) and allocates
// nothing. Limits: 4,096 values a tuple, nesting depth 4,096 (insert_scan.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/byte_scan.h"
#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"

namespace kv {

inline constexpr std::uint32_t MAX_TUPLE_VALUES = 4096;
inline constexpr std::uint32_t MAX_TUPLE_DEPTH = 4096;

// What a structural byte (',', '(' or ')') does to the walk.
enum class TupleStep : std::uint8_t { inside, closed, too_many, too_deep };

// How a block pass ended (TupleWalk::blocks).
enum class BlockOutcome : std::uint8_t { handover, closed, too_deep, too_many, failed, stopped };

// Where a block pass ended: its outcome and the index of the byte it stands at.
struct BlockStop {
    BlockOutcome outcome;
    std::size_t at;
};

// What a chain asks of the block pass after it took a tuple joined to the next by ",(".
enum class ChainStep : std::uint8_t { next, stop, failed };

// The string state of the block pass between its 64-byte blocks.
struct BlockStrings {
    bool escapes = true;            // a backslash escapes in single-quoted strings
    std::uint64_t in_string = 0;    // all ones when a string runs on into the next block
    std::uint64_t escape_carry = 0;
    std::size_t string_start = 0;   // the opening quote of the string that runs on

    // The block p[i, i + 64): stops are its bytes outside strings that may mean something to
    // the tuple (the candidates of byte_scan.h), up to its first stray backslash (one outside
    // strings, which the pass leaves to the stop-by-stop walk).
    struct Block {
        std::uint64_t stops;
        std::uint64_t stray;
    };
    Block next(const unsigned char* p, std::size_t i) {
        const QuoteMasks q = quote_masks(p + i, escapes, in_string, escape_carry);
        const std::uint64_t stray = q.backslashes & ~q.inside;
        const std::uint64_t before_stray =
            stray != 0 ? (stray & (0 - stray)) - 1 : ~std::uint64_t{0};
        const std::uint64_t outside = ~q.inside & ~q.quotes & before_stray;
        const std::uint64_t stops = outside != 0 ? byte_block_candidates(p + i) & outside : 0;
        in_string = (q.inside >> 63) != 0 ? ~std::uint64_t{0} : 0;
        if (in_string != 0) {
            const std::uint64_t openings = q.quotes & q.inside;
            if (openings != 0) string_start = i + scan_last_bit(openings);
        } else {
            escape_carry = 0;
        }
        return {stops, stray};
    }
};

// One tuple's walk, from just after its '(' to its matching ')'. Between walks it stands
// outside any string: each walk passes strings whole or hands over at their opening quote.
struct TupleWalk {
    EscapeMode mode = EscapeMode::backslash;  // the mode the tuple is read in
    std::uint32_t depth = 1;                  // open parentheses, the tuple's own included
    std::uint32_t values = 1;                 // values at depth 1 so far

    // The rules of the structural bytes, for every walk: a ',' at depth 1 counts a value, a
    // '(' opens a level, a ')' closes one or, at depth 1, the tuple (depth stays 1).
    TupleStep comma() {
        return depth == 1 && ++values > MAX_TUPLE_VALUES ? TupleStep::too_many
                                                         : TupleStep::inside;
    }
    TupleStep open() { return ++depth > MAX_TUPLE_DEPTH ? TupleStep::too_deep : TupleStep::inside; }
    TupleStep close() {
        if (depth == 1) return TupleStep::closed;
        --depth;
        return TupleStep::inside;
    }
    TupleStep structural(unsigned char c) {
        return c == ',' ? comma() : c == '(' ? open() : close();
    }

    // The block pass over the body bytes [0, n), starting outside any string. closed with at
    // just after the tuple's ')'; too_deep / too_many with at just after the '(' or ',' that
    // exceeds the limit; handover with at on a byte outside any string from which the
    // stop-by-stop walk goes on: the start of the last part of fewer than 64 bytes (or the
    // opening quote of a string that runs into it), or a byte this pass leaves to it (a
    // comment starter, a string in other quotes, a backslash outside strings).
    //
    // With a chain (not null), a tuple that closes with exactly chain->expected_values values
    // and is followed by ",(" and a value start in the same block is handed to chain->link(k),
    // k the index of its ')'. ChainStep::next goes on with the next tuple (1 value so far);
    // stop ends with stopped and at on the next tuple's '('; failed ends with failed.
    template <typename Chain>
    BlockStop blocks(const unsigned char* p, std::size_t n, Chain* chain);
};

template <typename Chain>
BlockStop TupleWalk::blocks(const unsigned char* p, std::size_t n, Chain* chain) {
    TupleWalk w = *this;  // held in registers for the pass
    const auto end = [&](BlockOutcome outcome, std::size_t at) {
        *this = w;
        return BlockStop{outcome, at};
    };
    BlockStrings strings;
    strings.escapes = escapes_in(mode, '\'');
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const BlockStrings::Block block = strings.next(p, i);
        std::uint64_t stops = block.stops;
        while (stops != 0) {
            const std::size_t k = i + scan_first_bit(stops);
            stops &= stops - 1;
            // Commas are by far the most frequent stop, then ')'; tests in that order keep the
            // branches predictable.
            const unsigned char c = p[k];
            if (c == ',') {
                if (w.comma() == TupleStep::too_many) return end(BlockOutcome::too_many, k + 1);
                continue;
            }
            if (c == ')') {
                if (w.close() == TupleStep::inside) continue;
                // Only the join without blanks, whose "(" lies in this block.
                if (chain == nullptr || w.values != chain->expected_values || k + 3 >= i + 64 ||
                    tuple_join_gap(p + k + 1, n - k - 1) != 1) {
                    return end(BlockOutcome::closed, k + 1);
                }
                const ChainStep step = chain->link(k);
                if (step == ChainStep::failed) return end(BlockOutcome::failed, k + 1);
                if (step == ChainStep::stop) return end(BlockOutcome::stopped, k + 2);
                w.values = 1;
                stops &= ~((std::uint64_t{2} << (k + 2 - i)) - 1);  // the ",("
                continue;
            }
            if (c == '(') {
                if (w.open() == TupleStep::too_deep) return end(BlockOutcome::too_deep, k + 1);
                continue;
            }
            // '-' and '/' start a comment only with "--" or "/*"; the stop-by-stop walk decides
            // when the next byte is not in the window.
            if ((c == '-' || c == '/') && k + 1 < n && !sql_may_start_comment(c, p[k + 1])) {
                continue;
            }
            if (c == '-' || c == '/' || c == '"' || c == '`' || c == '#') {
                return end(BlockOutcome::handover, k);
            }
        }
        if (block.stray != 0) return end(BlockOutcome::handover, i + scan_first_bit(block.stray));
    }
    return end(BlockOutcome::handover, strings.in_string != 0 ? strings.string_start : i);
}

}  // namespace kv
