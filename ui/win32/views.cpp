// The grid and the tree (see views.h), and what the main window's views show for its state
// (see main_window.h): object selection, the page loader, the view refresh (grid columns,
// labels, text view), the details pane and the tree. Texts and states come from ui/logic;
// nothing here reads the dump.
#include "ui/win32/views.h"

#include <algorithm>

#include "foundation/messages.h"
#include "foundation/text.h"
#include "jobs/page_job.h"
#include "ui/logic/page_number.h"
#include "ui/logic/view_text.h"
#include "ui/win32/main_window.h"
#include "ui/win32/text_io.h"

namespace kv {

namespace {


}  // namespace

// ---- The grid ----

void GridView::show(const std::vector<GridColumn>& columns, std::size_t rows, int dpi) {
    clear();
    for (const GridColumn& c : columns) {
        std::wstring title = ui_wide(c.title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title.data();
        column.cx = ui_scale(c.width, dpi);
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(columns_),
                     reinterpret_cast<LPARAM>(&column));
        ++columns_;
    }
    ListView_SetItemCountEx(list_, rows, 0);
}

void GridView::clear() {
    if (list_ == nullptr) return;
    ListView_SetItemCountEx(list_, 0, 0);
    while (columns_ > 0) {
        ListView_DeleteColumn(list_, 0);
        --columns_;
    }
}

void GridView::answer_text(NMLVDISPINFOW& info, const GridSource& source) {
    LVITEMW& item = info.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    static wchar_t empty[1] = {L'\0'};
    item.pszText = empty;
    const auto row = static_cast<std::uint32_t>(item.iItem);
    const auto column = static_cast<std::uint32_t>(item.iSubItem);
    if (const PageData* page = source.page) {
        if (row < page->row_count && column < page->cell_count &&
            column < page->cells[row].size()) {
            item.pszText = const_cast<wchar_t*>(
                reinterpret_cast<const wchar_t*>(page->cells[row][column].c_str()));
        }
        return;
    }
    if (source.structure == nullptr || row >= source.structure->columns.size()) return;
    const std::wstring wide =
        ui_wide(structure_cell_text(*source.structure, row, column, source.charset));
    const std::size_t n = std::min(wide.size(), DISPLAY_TEXT_UNITS - 1);
    wide.copy(display_text_.data(), n);
    display_text_[n] = L'\0';
    item.pszText = display_text_.data();
}

LRESULT GridView::custom_draw(NMLVCUSTOMDRAW& draw, const GridSource& source) const {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const auto row = static_cast<std::uint32_t>(draw.nmcd.dwItemSpec);
            const auto column = static_cast<std::uint32_t>(draw.iSubItem);
            const PageData* page = source.page;
            // Cell 0 is the row number; its kind slot stays unused.
            const int kind = page != nullptr && column > 0 && row < page->row_count &&
                                     column < page->kinds[row].size()
                                 ? page->kinds[row][column]
                                 : GRID_NO_VALUE;
            const GridCellLook look = grid_cell_look(row, kind);
            draw.clrText = ui_rgb(look.text);
            draw.clrTextBk = ui_rgb(look.background);
            return CDRF_NEWFONT;
        }
        default: return CDRF_DODEFAULT;
    }
}

int GridView::selected_row(std::uint32_t rows) const {
    const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
    return row >= 0 && static_cast<std::uint32_t>(row) < rows ? row : -1;
}

void GridView::select_first() {
    ListView_SetItemState(list_, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_, 0, FALSE);
}

// ---- The tree ----

HTREEITEM fill_tree(HWND tree, const TreeModel& model) {
    std::vector<HTREEITEM> handles(model.items.size(), nullptr);
    for (std::size_t i = 0; i < model.items.size(); ++i) {
        const TreeItem& item = model.items[i];
        std::wstring text = ui_wide(item.text);
        TVINSERTSTRUCTW insert{};
        insert.hParent =
            item.parent < 0 ? TVI_ROOT : handles[static_cast<std::size_t>(item.parent)];
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = text.data();
        insert.item.iImage = item.image;
        insert.item.iSelectedImage = item.image;
        insert.item.lParam = static_cast<LPARAM>(item.value);
        handles[i] = TreeView_InsertItem(tree, &insert);
    }
    // Databases and their groups expanded, then the root.
    for (std::size_t i = model.items.size(); i-- > 0;) {
        if (model.items[i].level >= 1 && model.items[i].level <= 2 && handles[i] != nullptr) {
            TreeView_Expand(tree, handles[i], TVE_EXPAND);
        }
    }
    if (!handles.empty() && handles[0] != nullptr) TreeView_Expand(tree, handles[0], TVE_EXPAND);
    return model.selected_item >= 0 ? handles[static_cast<std::size_t>(model.selected_item)]
                                    : nullptr;
}

// ---- What the main window's views show ----

const SchemaObject* MainWindow::selected_object() const {
    const int n = state_.selected_object;
    if (!state_.dump || n < 0 || static_cast<std::size_t>(n) >= state_.dump->objects.size()) {
        return nullptr;
    }
    return &state_.dump->objects[static_cast<std::size_t>(n)];
}

bool MainWindow::data_view() const {
    const SchemaObject* o = selected_object();
    return o != nullptr && o->kind == OBJECT_TABLE && state_.current_tab == TAB_DATA;
}

int MainWindow::selected_row() const {
    if (!state_.page || !data_view()) return -1;
    return grid_.selected_row(state_.page->row_count);
}

GridSource MainWindow::grid_source() const {
    GridSource source;
    source.charset = state_.charset;
    if (data_view()) {
        source.page = state_.page.get();
    } else if (state_.current_tab == TAB_STRUCTURE) {
        source.structure = selected_object();
    }
    return source;
}

void MainWindow::select_object(int n) {
    if (n < 0 || state_.busy || !state_.dump ||
        static_cast<std::size_t>(n) >= state_.dump->objects.size() || n == state_.selected_object) {
        return;
    }
    state_.selected_object = n;
    state_.page_offset = 0;
    drop_filter();
    state_.page.reset();
    const SchemaObject& o = state_.dump->objects[static_cast<std::size_t>(n)];
    state_.entry_total = o.entry_count;
    state_.current_tab = o.kind == OBJECT_TABLE ? TAB_DATA : TAB_SQL;
    TabCtrl_SetCurSel(control(ID_TABS), state_.current_tab);
    const HWND columns = control(ID_FILTER_COLUMN);
    SendMessageW(columns, CB_RESETCONTENT, 0, 0);
    const auto add = [columns](const std::string& entry) {
        SendMessageW(columns, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ui_wide(entry).c_str()));
    };
    add(msg_text(Msg::filter_all_columns));
    for (const Column& c : o.columns) {
        std::string name;
        if (!text_to_utf8(c.name, state_.charset, name)) name = msg_text(Msg::name_unreadable);
        add(name);
    }
    SendMessageW(columns, CB_SETCURSEL, 0, 0);
    SendMessageW(control(ID_FILTER_OP), CB_SETCURSEL, 0, 0);
    SetWindowTextW(control(ID_FILTER_VALUE), L"");
    refresh_views();
    if (state_.current_tab == TAB_DATA) load_page(0);
}

// Loads the page at first_entry (beyond the end: the last page).
void MainWindow::load_page(std::uint64_t first_entry) {
    if (!state_.dump || state_.busy || selected_object() == nullptr) return;
    auto job = new_job(JobKind::page);
    job->first_row = page_first_row(first_entry, state_.entry_total);
    job->rows = state_.entry_total;
    job->index_path = view_index_path(*state_.dump, state_.selected_object, state_.filter_path);
    submit(std::move(job));
}

void MainWindow::refresh_views() {
    const HWND grid = control(ID_GRID);
    const SchemaObject* o = selected_object();
    if (o != nullptr && grid != nullptr) {
        const Charset charset = state_.charset;
        ui_set_text(control(ID_BREADCRUMB), breadcrumb_text(*o, charset));
        SendMessageW(grid, WM_SETREDRAW, FALSE, 0);
        grid_.clear();
        if (data_view()) {
            grid_.show(grid_data_columns(*o, charset), state_.page ? state_.page->row_count : 0,
                       dpi_);
            ui_set_text(control(ID_PAGE_LABEL),
                        page_label_text(state_.page_offset, state_.entry_total));
            ui_set_text(control(ID_PAGE_NUMBER),
                        std::to_string(page_number_at(state_.page_offset)));
            ui_set_text(control(ID_INFO),
                        info_label_text(state_.entry_total, !state_.filter_path.empty()));
        } else if (state_.current_tab == TAB_STRUCTURE &&
                   (o->kind == OBJECT_TABLE || !o->columns.empty())) {
            grid_.show(grid_structure_columns(), o->columns.size(), dpi_);
            ui_set_text(control(ID_INFO), structure_info_text(*o));
        } else if (state_.current_tab == TAB_SQL) {
            ui_set_text(control(ID_TEXT_VIEW), create_text_view(*o, charset));
        } else if (state_.current_tab == TAB_NOTES) {
            ui_set_text(control(ID_TEXT_VIEW), import_notes_text(*state_.dump));
        } else {
            ui_set_text(control(ID_TEXT_VIEW), no_rows_text(*o, state_.current_tab));
        }
        SendMessageW(grid, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(grid, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME);
    } else {
        grid_.clear();
    }
    details_update(DETAILS_NO_ROW);
    update_controls();
    layout();
}

// The details pane for a row of the page (DETAILS_NO_ROW for none).
void MainWindow::details_update(std::uint32_t row) {
    const DetailsPane pane = details_pane(state_.dump.get(), state_.selected_object,
                                          state_.page.get(), row, state_.charset);
    ui_set_text(control(ID_DETAILS_CAPTION), pane.caption);
    ui_set_text(control(ID_DETAILS), pane.text);
}

void MainWindow::tree_rebuild() {
    const HWND tree = control(ID_TREE);
    if (tree == nullptr) return;
    tree_filling_ = true;
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(tree);
    if (!state_.dump) {
        SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
        tree_filling_ = false;
        return;
    }
    const TreeModel model =
        tree_build(state_.dump.get(), state_.charset,
                   ui_narrow(ui_window_text(control(ID_TREE_FILTER))), state_.selected_object);
    const HTREEITEM selected = fill_tree(tree, model);
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree, nullptr, TRUE);
    tree_filling_ = false;
    if (selected != nullptr) {
        TreeView_SelectItem(tree, selected);
    } else if (model.select_object >= 0) {
        select_object(model.select_object);
    }
}

// Closes the open dump: grid emptied, page freed, filter result deleted, lock released, and
// the title names no dump any more (an import that follows names one only once it succeeds).
void MainWindow::close_dump() {
    grid_.clear();
    state_.page.reset();
    drop_filter();
    state_.dump.reset();
    state_.lock.reset();
    state_.selected_object = -1;
    state_.page_offset = 0;
    state_.entry_total = 0;
    ui_set_text(window_, main_window_title(nullptr));
}

void MainWindow::drop_filter() {
    if (!state_.filter_path.empty()) file_remove(state_.filter_path);
    state_.filter_path.clear();
}

}  // namespace kv
