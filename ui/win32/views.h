// The views the main window draws from its state: the grid (a virtual list view: its columns,
// row count, and the texts and colours of its cells) and the tree, filled from a TreeModel.
// Columns, texts and colours come from ui/logic; the window object decides what the views show
// and handles their notifications.
//
// A grid page holds up to 100 rows of up to 4,097 cells; a structure cell is shown in a
// buffer of 16,384 UTF-16 units. The tree holds up to 65,536 objects with their groups.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "jobs/job.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/tree_model.h"

namespace kv {

// What the grid shows: the loaded page of a table's "Daten" tab, or the columns of an object
// on its "Struktur" tab; neither for the other tabs.
struct GridSource {
    const PageData* page = nullptr;
    const SchemaObject* structure = nullptr;
    Charset charset = CHARSET_UTF8;
};

class GridView {
public:
    static constexpr std::size_t DISPLAY_TEXT_UNITS = 16384;

    void attach(HWND list) { list_ = list; }
    // Replaces the columns (widths scaled for dpi) and the row count.
    void show(const std::vector<GridColumn>& columns, std::size_t rows, int dpi);
    // No columns, no rows.
    void clear();
    // Answers LVN_GETDISPINFOW with the cell of source.
    void answer_text(NMLVDISPINFOW& info, const GridSource& source);
    // Answers NM_CUSTOMDRAW: the cell's colours from grid_cell_look.
    LRESULT custom_draw(NMLVCUSTOMDRAW& draw, const GridSource& source) const;
    // The selected row when it is one of rows, else -1.
    int selected_row(std::uint32_t rows) const;
    // Selects and focuses the first row and scrolls it into view.
    void select_first();

private:
    HWND list_ = nullptr;
    int columns_ = 0;
    std::array<wchar_t, DISPLAY_TEXT_UNITS> display_text_{};
};

// Fills tree with the model (databases and their groups expanded, then the root) and returns
// the item to select, null for none. The caller ignores the selection changes meanwhile.
HTREEITEM fill_tree(HWND tree, const TreeModel& model);

}  // namespace kv
