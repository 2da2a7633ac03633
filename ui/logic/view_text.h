// Texts the interface shows, computed without any window: status lines, page and info labels,
// the window title, the breadcrumb, the import notes text and the rows of the structure view,
// from the catalogue's sentences and formats (foundation/messages.inc). The Win32 window and
// the command-line browser both show exactly these strings.
//
// All texts are UTF-8. Names from the dump are converted under the chosen character set;
// counts use "." every three digits. Notes texts are capped at 131,071 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "records/display_text.h"

namespace kv {

inline constexpr std::size_t NOTES_TEXT_LIMIT = 131071;

// "%s · %s Einträge · %s Positionsindex · %u Hinweise" after an open.
std::string status_open_text(const DumpState& state);
// "%s  ·  %s  ·  %s Einträge im Dump  ·  %u Hinweise  ·  Schreibgeschützt" after a page.
std::string status_page_text(const DumpState& state);
// Progress of a job in thousandths: done × 1000 / (total + 1), at most 1,000; 0 for a total
// of 0. (500,000 of 1,000,000 is 499; 1,000 of 1,000 is 999.)
std::uint64_t progress_thousandths(std::uint64_t done, std::uint64_t total);
// "%s …  %llu %%  ·  %s Einträge" (or the cancel text) while a job runs.
std::string status_progress_text(const char* label, std::uint64_t done, std::uint64_t total,
                                 std::uint64_t count, bool cancel_requested);

// The file name of a path: the text after the last '/' or '\'.
std::string path_file_name(const std::string& path);

// "%s–%s von %s" for the page that starts at offset in a view of total rows.
std::string page_label_text(std::uint64_t offset, std::uint64_t total);
// The refusal of a page number that names no page of a view of total entries, with the
// valid range.
std::string page_missing_text(std::uint64_t total);
// "%s Einträge · Originalreihenfolge · 100 pro Seite" or, with a filter, the hits line.
std::string info_label_text(std::uint64_t total, bool filter_active);
// "%s  ›  %s  ›  %s": database, kind word, object name.
std::string breadcrumb_text(const SchemaObject& object, Charset charset);
// Kind words: "Tabellen", "Views", "Routinen".
const char* object_kind_plural(ObjectKind kind);
// The main window's title: the program's name, after the dump's file name while one is open.
std::string main_window_title(const DumpState* state);

// The "Import-Hinweise" text: header, the report on the dump (report_text.h), notes (or "Keine
// besonderen Import-Hinweise."), and the closing paragraph, within NOTES_TEXT_LIMIT bytes.
std::string import_notes_text(const DumpState& state);

// The CREATE text for "Original-SQL", or "Kein CREATE-Text vorhanden." when none can be made.
std::string create_text_view(const SchemaObject& object, Charset charset);

// What the text view shows on the "Daten" tab of a view or routine, and on its "Struktur" tab
// when it has no columns: why there is nothing to list, and where its definition is.
std::string no_rows_text(const SchemaObject& object, int tab);
// The line over the "Struktur" grid: a table's columns come from its CREATE TABLE, a view's
// from the stand-in table the dump writes for it.
const char* structure_info_text(const SchemaObject& object);

// One row of the structure view: "#", "Spalte", "MySQL-Definition (Original)".
struct StructureRow {
    std::string number;
    std::string name;
    std::string definition;
};
std::vector<StructureRow> structure_rows(const SchemaObject& object, Charset charset);
// Cell column (0 "#", 1 "Spalte", 2 the definition) of structure row `row`; "" outside them.
std::string structure_cell_text(const SchemaObject& object, std::size_t row, std::size_t column,
                                Charset charset);

// The details pane: its caption and text for the selected object and, when row points at a
// row of page, that row (its position in the dump and its grid cells). Without a dump or an
// object, the invitation. The text is UTF-8 of at most DETAILS_PANE_LIMIT bytes; a piece that
// does not fit is cut at the limit and nothing follows it.
inline constexpr std::size_t DETAILS_PANE_LIMIT = 65535;
inline constexpr std::uint32_t DETAILS_NO_ROW = 0xFFFFFFFFu;
struct DetailsPane {
    std::string caption;
    std::string text;
};
struct PageData;
DetailsPane details_pane(const DumpState* state, int object, const PageData* page,
                         std::uint32_t row, Charset charset);

}  // namespace kv
