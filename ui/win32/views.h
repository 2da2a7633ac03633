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
#include "ui/logic/tree_layout.h"
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
    // Shows columns (widths scaled for dpi) with rows rows, unselected, scrolled to the top.
    // Columns equal to the shown ones at the same dpi stay (with the widths the user gave
    // them): a page change only sets the row count.
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
    // Selects and shows row (of the rows shown), with the focus rectangle.
    void select(int row);

private:
    void remove_all();

    HWND list_ = nullptr;
    std::vector<GridColumn> columns_;  // as inserted
    int columns_dpi_ = 0;
    std::array<wchar_t, DISPLAY_TEXT_UNITS> display_text_{};
};

// The tree control over a TreeModel, laid out by tree_layout: a fill inserts the top and the
// expanded nodes, and an item's children follow when it is expanded the first time. Holds the
// model and layout of the last fill (65,536 objects: a few MiB) until the next one.
class TreeFill {
public:
    // Fills the emptied tree for model and returns the item to select, its way from the top
    // inserted (null for none). The caller ignores the selection changes meanwhile.
    HTREEITEM fill(HWND tree, TreeModel model);
    // TVN_ITEMEXPANDINGW: inserts the children of an item expanded the first time.
    void expanding(const NMTREEVIEWW& change);
    // Whether an item's lParam is the root's: the dump itself.
    bool is_root(LPARAM param) const;

private:
    void insert(std::int32_t node, HTREEITEM parent);
    void fill_children(std::int32_t node);
    HTREEITEM handle_of(std::int32_t node);

    HWND tree_ = nullptr;
    TreeModel model_;
    TreeLayout layout_;
    std::vector<HTREEITEM> handles_;  // per node, null until inserted
    std::vector<bool> filled_;        // per node: its children are inserted
};

}  // namespace kv
