// Row scan: the engine behind the table filter and the search of the whole dump. It tests
// every row of a list of tables with one filter rule and writes one 16-byte record per
// matching row to a result file, in table order, then row order.
//
// The tables' indexes are cut into units of rows (at most 16,384 rows and about 4 MiB of
// tuples each) that up to 8 threads test side by side: the calling thread and helper threads,
// each with its own read window on the dump. The calling thread writes the units' hits in unit
// order, so the result file holds the same bytes whatever the thread count, and it alone
// reports progress. A unit's results wait in one of 4 slots per thread; a thread takes a unit
// only while its slot is free, so memory stays bounded (per thread: a 1 MiB read window, a
// 256 KiB batch of entries, 4 slots of up to 256 KiB of hits, one decoded tuple) whatever the
// table sizes. Tuples larger than the read window (up to 64 MiB) are tested by the calling
// thread alone: a helper that meets one hands the rest of its unit back, so that at most one
// such tuple is in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/messages.h"
#include "foundation/progress.h"
#include "foundation/status.h"
#include "records/filter.h"

namespace kv {

inline constexpr std::uint32_t SCAN_THREADS_MAX = 8;
inline constexpr std::uint32_t SCAN_UNIT_ROWS_MAX = 16384;  // rows of a unit (256 KiB of entries)

// Test-only switch, at most SCAN_UNIT_ROWS_MAX (its default) in every program: units of a few
// rows put unit boundaries inside the small tables of tests, so that their helpers have work.
extern std::uint32_t scan_unit_rows;

// Threads a scan asked for `asked` uses: asked, or one per processor for 0; 1 to 8.
std::uint32_t scan_thread_count(std::uint32_t asked);

enum class ScanHits : std::uint8_t {
    entries,  // a hit is the row's index entry (the filter's result, an index of its own)
    search,   // a hit is object, first matching column and row (search.h)
};

struct RowScanRequest {
    std::int32_t column = -1;  // negative: every column
    FilterOp op = FilterOp::contains;
    std::string_view text;     // UTF-8; must outlive the scan
    Charset charset = CHARSET_UTF8;
    std::uint32_t threads = 0;
    ScanHits hits = ScanHits::entries;
    Msg label = Msg::progress_filter;  // of the progress reports
    Msg files_failed = Msg::filter_files_failed;  // result or index cannot be opened
    Msg write_failed = Msg::filter_write_failed;  // result cannot be written
    Msg not_saved = Msg::filter_not_saved;        // result cannot be completed
    // Not null: tuples above 64 MiB, which no decode takes, are passed over and counted here
    // (the search of a whole dump, which one such tuple must not stop). Null: such a tuple
    // fails the scan with the decode's sentence (the filter of a table).
    std::uint64_t* huge_skipped = nullptr;
};

// Scans the rows of tables (object numbers, in the order given, which is the order of the
// result) and writes their hits to result_path (created or truncated). hits counts the hits,
// tables_hit the tables with at least one. Progress at most every 100 ms, about that often
// whatever the tuple sizes (count: hits so far); a report answered with 0 cancels, seen within
// 100 ms. On failure or cancel the result file is deleted.
Status row_scan_run(DumpState& state, const std::vector<std::uint32_t>& tables,
                    const RowScanRequest& request, const std::string& result_path,
                    std::uint64_t& hits, std::uint32_t& tables_hit, const ProgressSink* sink);

}  // namespace kv
