// Table filter: tests every tuple of a table and writes the matching 16-byte index entries,
// in dump order, to a result file of the position index format ("query-new.kvi"), so the hits
// of a table of any size live on disk, never in memory.
//
// Tables may hold billions of rows and tuples of up to 64 MiB: the scan keeps, per thread, a
// 256 KiB batch of entries, a 1 MiB read window and one decoded tuple, and once the search
// table of the filter text (4 bytes per byte of text, at most 4 MiB), whatever the table size.
// Runs on the job's thread, with helper threads of its own (row_scan.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"
#include "records/display_text.h"

namespace kv {

// In the order of the window's operator list.
enum class FilterOp : std::uint8_t {
    contains,     // "enthält": not NULL / missing, text contains the filter text
    equals,       // "entspricht": not NULL / missing, text equals the filter text
    is_null,      // kind is NULL
    is_not_null,  // neither NULL nor missing from the INSERT
};
inline constexpr std::size_t FILTER_OP_COUNT = 4;

struct FilterRequest {
    std::int32_t column = -1;             // negative: all columns
    FilterOp op = FilterOp::contains;
    std::string text;                     // UTF-8 as typed (at most 4,096 characters)
    Charset charset = CHARSET_UTF8;
    std::uint32_t threads = 0;            // 0: one per processor, at most 8
};

// Longest filter text accepted, in bytes.
inline constexpr std::size_t FILTER_TEXT_MAX = 1048576;

// The search table of a pattern: entry i is the length of the longest proper prefix of pattern
// that ends at byte i. Replaces out; throws std::bad_alloc when memory runs out.
void filter_prefix_table(std::string_view pattern, std::vector<std::uint32_t>& out);
// True when pattern occurs in text; prefix is the pattern's search table. Candidates are found
// 16 bytes at a time by the pattern's first and last byte; once comparing them has cost more
// than a few passes over the text, the rest is searched with the table, so the time stays
// linear in text.size() for any input. An empty pattern occurs everywhere.
bool filter_text_contains(std::string_view text, std::string_view pattern,
                          const std::vector<std::uint32_t>& prefix);

// The raw test: most tuples of a search are rejected from their dump bytes alone, without
// decoding. Sound by construction: for a filter text that could come from decoding only in
// the way it stands in the dump, a tuple whose bytes do not hold the text and that has none of
// the constructs that decoding joins or rewrites (escapes of ordinary bytes, comments,
// adjacent strings, backticks) cannot match. Everything else is decoded and compared.
struct RawFilter {
    bool active = false;                 // false: every tuple is decoded
    std::string bytes;                   // the filter text as the dump's bytes hold it
    std::vector<std::uint32_t> prefix;   // search table of bytes
};

// Sets up the raw test for an operator, filter text and character set. It stays inactive for
// an empty text, IS NULL / IS NOT NULL, a text with bytes that escapes produce (NUL, BS, TAB,
// LF, CR, ^Z, quotes, backslash), a text that could be part of a hex literal (only 0-9, a-f,
// A-F, x, X), a text that is not well-formed UTF-8 or holds U+FFFD, and a text with characters
// the single-byte character set cannot hold. Throws std::bad_alloc.
void raw_filter_init(RawFilter& raw, FilterOp op, std::string_view text, Charset charset);

// False only when no value of the tuple (its bytes "(" through ")", read with or without
// backslash escapes) can match; true means "decode and compare".
bool raw_filter_may_match(const RawFilter& raw, const unsigned char* tuple, std::size_t length,
                          EscapeMode mode);

// Scans every entry of object `table` and writes the entries whose tuple matches request to
// result_path (created or truncated), in index order, on request.threads threads (row_scan.h:
// the same bytes whatever the count); hits counts them. Progress is reported at most every
// 100 ms (label "Tabelle filtern"), and about that often whatever the tuple sizes. A report
// answered with 0 cancels. On failure the result file is deleted.
Status filter_run(DumpState& state, std::uint32_t table, const FilterRequest& request,
                  const std::string& result_path, std::uint64_t& hits, const ProgressSink* sink);

}  // namespace kv
