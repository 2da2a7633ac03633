// Table filter: decodes every tuple of a table and writes the matching 16-byte index entries,
// in dump order, to a result file of the position index format ("query-new.kvi"), so the hits
// of a table of any size live on disk, never in memory.
//
// Tables may hold billions of rows and tuples of up to 64 MiB: the scan keeps two 64 KiB
// batches of 4,096 entries, one decoded tuple and the search table of the filter text (4 bytes
// per byte of text, at most 4 MiB), whatever the table size. Runs on the worker thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "records/display_text.h"

namespace kv {

enum FilterOperator : std::uint32_t {
    FILTER_CONTAINS = 0,     // "enthält": not NULL / missing, text contains the filter text
    FILTER_EQUALS = 1,       // "entspricht": not NULL / missing, text equals the filter text
    FILTER_IS_NULL = 2,      // kind is NULL
    FILTER_IS_NOT_NULL = 3,  // neither NULL nor missing from the INSERT
};

struct FilterRequest {
    std::int32_t column = -1;             // negative: all columns
    std::uint32_t op = FILTER_CONTAINS;   // codes other than 1..3 act as FILTER_CONTAINS
    std::string text;                     // UTF-8 as typed (at most 4,096 characters)
    std::uint32_t charset = CHARSET_UTF8;
};

// Longest filter text accepted, in bytes.
inline constexpr std::size_t FILTER_TEXT_MAX = 1048576;

// The search table of a pattern: entry i is the length of the longest proper prefix of pattern
// that ends at byte i. Replaces out; throws std::bad_alloc when memory runs out.
void filter_prefix_table(std::string_view pattern, std::vector<std::uint32_t>& out);
// True when pattern occurs in text; prefix is the pattern's search table. Linear in
// text.size(). An empty pattern occurs everywhere.
bool filter_text_contains(std::string_view text, std::string_view pattern,
                          const std::vector<std::uint32_t>& prefix);

// Scans every entry of object `table` and writes the entries whose tuple matches request to
// result_path (created or truncated), in index order; hits counts them as they are found.
// Progress is reported at most every 100 ms (label "Tabelle filtern"); a report answered with
// 0 cancels. False with the German reason in state.message; the result file is then deleted.
bool filter_run(DumpState& state, std::uint32_t table, const FilterRequest& request,
                const std::string& result_path, std::uint64_t& hits, const ProgressSink* sink);

}  // namespace kv
