// Page and details loading: turning index entries into text for the interface.
//
// A page reads up to 100 consecutive entries of the current view (a table's index or the
// filter result) with one seek and one read, whatever the row number, decodes each tuple
// (through the dump state's 1 MiB read cache) and builds short UTF-16 previews; wide tables
// get shorter previews (16,384 bytes / columns, 24..256). Tuples above 64 MiB are never read
// here. The details text of one record is built in one buffer of at most 2 MiB - 1 bytes plus
// a closing note.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/job.h"

namespace kv {

inline constexpr std::size_t DETAILS_LIMIT = 2097151;  // 2 MiB - 1

// First row of the page that shows row `requested` in a view of `rows` rows: the row itself
// while it exists, else the start of the last page (0 for an empty view).
std::uint64_t page_first_row(std::uint64_t requested, std::uint64_t rows);
// Preview cap of a table with this many columns: 16,384 / columns, within 24..256.
std::uint32_t page_preview_cap(std::uint32_t columns);

// The page job: job.page on success.
Status page_load(BackgroundJob& job);
// The search page job: job.page with the hits of "search.kvs" from job.first_row on.
Status search_page_load(BackgroundJob& job);
// The details job: job.details_text on success.
Status details_load(BackgroundJob& job);

void page_free(PageData* page);

}  // namespace kv
