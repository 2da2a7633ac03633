// Search of the whole dump: every column of every table tested with the filter's contains /
// equals rule, the hits written to a hit file in the cache folder ("search-new.kvs" while the
// search runs, "search.kvs" once the requester takes it), so that the hits of a dump of any size
// live on disk and a page of them costs one read.
//
// A hit is 16 bytes little-endian: object number (u32), first matching column (u32, 0-based),
// row (u64, 0-based position in the object's position index). Hits are in object-number order,
// then row order, the same bytes whatever the thread count. Memory: what the filter holds on
// each of up to 8 threads (a 1 MiB read window, a 256 KiB batch of entries, one decoded tuple)
// plus 4 result slots of up to 256 KiB per thread, whatever the dump size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"
#include "records/filter.h"

namespace kv {

inline constexpr std::size_t SEARCH_HIT_SIZE = 16;

struct SearchHit {
    std::uint32_t object = 0;  // object number
    std::uint32_t column = 0;  // first matching column, 0-based
    std::uint64_t row = 0;     // 0-based position in the object's table index
};

struct SearchRequest {
    FilterOp op = FilterOp::contains;  // contains or equals; other operators are refused
    std::string text;                  // UTF-8 as typed
    Charset charset = CHARSET_UTF8;    // display charset the values are compared in
    std::uint32_t threads = 0;         // 0: one per processor, at most 8
};

// The 16 bytes of a hit and back.
void search_hit_encode(const SearchHit& hit, unsigned char* out);
SearchHit search_hit_decode(const unsigned char* in);

// Whether object takes part in a search: a table with columns and at least one indexed row.
bool search_covers(const SchemaObject& object);

// Searches every table of state (search_covers) and writes one hit per matching row to
// result_path (created or truncated); hits is the number of hits, tables the number of tables
// with at least one. Case-sensitive, with the filter's rules for NULL, missing columns, binary
// values and character sets. Tuples above 64 MiB, which the filter of their table refuses, are
// passed over and counted in huge_skipped (when not null): one of them does not stop the search. Progress at most every 100 ms (label "Dump durchsuchen", count =
// hits so far); a report answered with 0 cancels, seen within 100 ms. On failure or cancel the
// result file is deleted. Runs on the job's thread, with helper threads of its own.
Status search_run(DumpState& state, const SearchRequest& request, const std::string& result_path,
                  std::uint64_t& hits, std::uint32_t& tables, const ProgressSink* sink,
                  std::uint64_t* huge_skipped = nullptr);

// Reads up to count hits starting at hit first from a hit file; fewer at its end, none past it.
// Fails when the file cannot be read or is not a whole number of hits.
Status search_read_hits(const std::string& path, std::uint64_t first, std::uint32_t count,
                        std::vector<SearchHit>& out);

// The number of hits in a hit file (its size / 16); false when it cannot be read or is not a
// whole number of hits.
bool search_hit_count(const std::string& path, std::uint64_t& count);

}  // namespace kv
