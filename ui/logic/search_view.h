// The search over the whole dump as the window shows it when the tree's root is selected, and
// as korvane-dump prints it: the count line, the grid's columns, the info label, the
// breadcrumb, the details pane of a hit and the text of the tabs that have nothing to show.
// Computed without any window from the dump and a page of hits (jobs/job.h: a search page's
// cells are hit number, "DATABASE.NAME", row number, column name, value preview).
//
// Counts use "." every three digits; hits may number billions, tables up to 65,536.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/view_text.h"

namespace kv {

// "N Treffer in M Tabellen" ("in 1 Tabelle").
std::string search_count_text(std::uint64_t hits, std::uint32_t tables);
// "Nicht durchsucht: N Tupel über 64 MiB …"; "" for none.
std::string search_skipped_text(std::uint64_t skipped);
// "#", "Tabelle", "Zeile", "Spalte", "Wert".
std::vector<GridColumn> grid_search_columns();
// The line over the grid: what the search covers before one has run, then the count and how
// to reach a hit's row.
std::string search_info_text(bool searched, std::uint64_t hits, std::uint32_t tables);
// "dump.sql  ›  Im ganzen Dump suchen".
std::string search_breadcrumb_text(const DumpState& state);
// What "Struktur" and "Original-SQL" show for the whole dump: a pointer to the tables.
const char* search_no_object_text();
// The details pane of the search view: row `row` of the hits page (its table, row, column and
// value), or with no row the dump's counts and what the search does.
struct PageData;
DetailsPane search_details_pane(const DumpState& state, const PageData* page, std::uint32_t row);

}  // namespace kv
