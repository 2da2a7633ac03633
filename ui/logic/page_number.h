// Page numbers of the grid, one rule for the window's page field and for korvane-dump: a view
// (a table or the hits of its filter) of up to 2^64 - 1 entries shows PAGE_ROWS (100) entries a
// page. Page texts are whatever the user typed; nothing here may overflow, whatever the text.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv {

// The sentence shown for a page text that names no page of the view.
inline constexpr const char* PAGE_NUMBER_MISSING = "Diese Seitennummer existiert nicht.";

// Pages of a view of total entries: 1 for an empty view, else (total - 1) / 100 + 1.
std::uint64_t page_count(std::uint64_t total);

// Page n of a view of total entries, typed as text: true with its first entry (0-based),
// (n - 1) * 100, when text is one or more ASCII digits whose value fits in 64 bits and
// 1 <= n <= page_count(total). False otherwise (PAGE_NUMBER_MISSING).
bool page_first_entry(std::string_view text, std::uint64_t total, std::uint64_t& first_entry);

}  // namespace kv
