// Page arithmetic of the grid, one rule for the window's paging buttons and page field and for
// korvane-dump: a view (a table or the hits of its filter) of up to 2^64 - 1 entries shows
// PAGE_ROWS (100) entries a page, the pages starting at multiples of 100. Page texts are
// whatever the user typed; nothing here may overflow, whatever the text or the offset.
//
// The page job's own rule (a requested row beyond the end shows the last page) lives with the
// job as page_first_row in jobs/page_job.h; page_last asks it, and the window clamps every
// page it loads with it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv {

// Pages of a view of total entries: 1 for an empty view, else (total - 1) / 100 + 1.
std::uint64_t page_count(std::uint64_t total);

// Page n of a view of total entries, typed as text: true with its first entry (0-based),
// (n - 1) * 100, when text is one or more ASCII digits whose value fits in 64 bits and
// 1 <= n <= page_count(total). False otherwise (then Msg::page_missing is shown).
bool page_first_entry(std::string_view text, std::uint64_t total, std::uint64_t& first_entry);

// The page number of the page that starts at offset, as the page field shows it (1-based).
std::uint64_t page_number_at(std::uint64_t offset);
// The end (one past the last entry) of the page at offset in a view of total entries.
std::uint64_t page_end(std::uint64_t offset, std::uint64_t total);
// The page before the one at offset (the first page stays the first).
std::uint64_t page_previous(std::uint64_t offset);
// Whether another page follows the one at offset in a view of total entries.
bool page_has_next(std::uint64_t offset, std::uint64_t total);
// The page after the one at offset; only meaningful when page_has_next.
std::uint64_t page_next(std::uint64_t offset);
// The first entry of the last page (0 for an empty view).
std::uint64_t page_last(std::uint64_t total);

}  // namespace kv
