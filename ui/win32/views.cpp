// The grid and the tree (see views.h), and what the main window's views show for its state
// (see main_window.h): object selection, the page loader, the view refresh (grid columns,
// labels, text view), the details pane and the tree. Texts and states come from ui/logic;
// nothing here reads the dump.
#include "ui/win32/views.h"

#include <algorithm>
#include <utility>

#include "foundation/messages.h"
#include "foundation/text.h"
#include "jobs/page_job.h"
#include "cache/file_names.h"
#include "ui/logic/page_number.h"
#include "ui/logic/search_view.h"
#include "ui/logic/view_text.h"
#include "ui/win32/main_window.h"
#include "ui/win32/text_io.h"

namespace kv {

namespace {


}  // namespace

// ---- The grid ----

// New columns are inserted with redrawing off and the list redrawn once at the end; a page
// change only sets the row count, which invalidates the rows (switching redrawing back on
// costs the list a full relayout and repaint).
void GridView::show(const std::vector<GridColumn>& columns, std::size_t rows, int dpi) {
    if (list_ == nullptr) return;
    if (columns == columns_ && dpi == columns_dpi_) {
        // Rows as new columns would show them: none selected, from the top.
        ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (static_cast<std::size_t>(ListView_GetItemCount(list_)) != rows) {
            ListView_SetItemCountEx(list_, rows, LVSICF_NOSCROLL);
        }
        if (rows > 0) ListView_EnsureVisible(list_, 0, FALSE);
        InvalidateRect(list_, nullptr, FALSE);
        return;
    }
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    remove_all();
    for (const GridColumn& c : columns) {
        std::wstring title = ui_wide(c.title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = title.data();
        column.cx = ui_scale(c.width, dpi);
        SendMessageW(list_, LVM_INSERTCOLUMNW, columns_.size(), reinterpret_cast<LPARAM>(&column));
        columns_.push_back(c);
    }
    columns_dpi_ = dpi;
    ListView_SetItemCountEx(list_, rows, 0);
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME);
}

void GridView::clear() {
    if (list_ == nullptr) return;
    if (columns_.empty()) {
        ListView_SetItemCountEx(list_, 0, 0);
        return;
    }
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    remove_all();
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME);
}

void GridView::remove_all() {
    ListView_SetItemCountEx(list_, 0, 0);
    for (std::size_t n = columns_.size(); n > 0; --n) ListView_DeleteColumn(list_, 0);
    columns_.clear();
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

void GridView::select_first() { select(0); }

void GridView::select(int row) {
    ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_, row, FALSE);
}

// ---- The tree ----

namespace {

// An item's lParam: what the selection handler reads (object number + 1 for objects), and
// for items that hold others -2 - node, by which their expansion finds their node.
LPARAM node_param(const TreeModel& model, const TreeLayout& layout, std::int32_t node) {
    const std::int32_t item = layout.nodes[static_cast<std::size_t>(node)].item;
    const std::int64_t value = item >= 0 ? model.items[static_cast<std::size_t>(item)].value : 0;
    return value > 0 ? static_cast<LPARAM>(value) : -2 - static_cast<LPARAM>(node);
}

}  // namespace

HTREEITEM TreeFill::fill(HWND tree, TreeModel model) {
    tree_ = tree;
    model_ = std::move(model);
    layout_ = tree_layout(model_);
    handles_.assign(layout_.nodes.size(), nullptr);
    filled_.assign(layout_.nodes.size(), false);
    for (std::int32_t i = 0; i < layout_.top_count; ++i) insert(i, TVI_ROOT);
    // A parent comes before its children in the layout.
    for (std::size_t i = 0; i < layout_.nodes.size(); ++i) {
        if (layout_.nodes[i].expanded) fill_children(static_cast<std::int32_t>(i));
    }
    for (std::size_t i = layout_.nodes.size(); i-- > 0;) {
        if (layout_.nodes[i].expanded) TreeView_Expand(tree_, handles_[i], TVE_EXPAND);
    }
    return handle_of(layout_.selected_node);
}

void TreeFill::expanding(const NMTREEVIEWW& change) {
    if ((change.action & TVE_EXPAND) == 0 || change.itemNew.lParam > -2) return;
    const LPARAM node = -2 - change.itemNew.lParam;
    if (static_cast<std::size_t>(node) < filled_.size()) fill_children(static_cast<std::int32_t>(node));
}

// The root is node 0 (lParam -2 - 0), the one item of level 0 (the dump file).
bool TreeFill::is_root(LPARAM param) const {
    return param == -2 && layout_.top_count > 0 && layout_.nodes[0].item >= 0 &&
           model_.items[static_cast<std::size_t>(layout_.nodes[0].item)].level == 0;
}

void TreeFill::insert(std::int32_t node, HTREEITEM parent) {
    std::wstring text = ui_wide(tree_node_text(model_, layout_, node));
    const std::int32_t image = tree_node_image(model_, layout_, node);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = text.data();
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.cChildren = layout_.nodes[static_cast<std::size_t>(node)].child_count > 0 ? 1 : 0;
    insert.item.lParam = node_param(model_, layout_, node);
    handles_[static_cast<std::size_t>(node)] = TreeView_InsertItem(tree_, &insert);
}

void TreeFill::fill_children(std::int32_t node) {
    const auto at = static_cast<std::size_t>(node);
    if (filled_[at] || handles_[at] == nullptr) return;
    filled_[at] = true;
    const TreeNode& n = layout_.nodes[at];
    for (std::int32_t c = n.first_child; c < n.first_child + n.child_count; ++c) {
        insert(c, handles_[at]);
    }
}

// The item of node, inserted with the items above it when needed (null for -1).
HTREEITEM TreeFill::handle_of(std::int32_t node) {
    for (std::int32_t at : tree_node_path(layout_, node)) {
        const std::int32_t parent = layout_.nodes[static_cast<std::size_t>(at)].parent;
        if (parent >= 0) fill_children(parent);
    }
    return node >= 0 ? handles_[static_cast<std::size_t>(node)] : nullptr;
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

bool MainWindow::search_grid() const {
    return state_.dump && state_.search_view && state_.current_tab == TAB_DATA;
}

int MainWindow::selected_row() const {
    if (!state_.page || !(data_view() || search_grid())) return -1;
    return grid_.selected_row(state_.page->row_count);
}

GridSource MainWindow::grid_source() const {
    GridSource source;
    source.charset = state_.charset;
    if (data_view() || search_grid()) {
        source.page = state_.page.get();
    } else if (state_.current_tab == TAB_STRUCTURE) {
        source.structure = selected_object();
    }
    return source;
}

void MainWindow::select_object(int n, std::uint64_t first_entry) {
    if (state_.busy && tree_selection_) {  // the tree moved on during a short job
        pending_object_ = n;
        return;
    }
    if (n < 0 || state_.busy || !state_.dump ||
        static_cast<std::size_t>(n) >= state_.dump->objects.size() || n == state_.selected_object) {
        return;
    }
    if (state_.search_view) {
        state_.search_view = false;
        filter_bar_mode(false);
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
    if (state_.current_tab == TAB_DATA) load_page(first_entry);
}

// The tree's root: the grid lists the hits of the search over the whole dump (none yet, or
// the last one, kept until it is reset or the dump closed), the filter bar starts a new one.
void MainWindow::select_search() {
    if (state_.busy && tree_selection_) {
        pending_object_ = PENDING_ROOT;
        return;
    }
    if (state_.busy || !state_.dump || state_.search_view) return;
    state_.search_view = true;
    state_.selected_object = -1;
    drop_filter();
    state_.page.reset();
    state_.page_offset = 0;
    state_.entry_total = state_.search_path.empty() ? 0 : state_.search_hits;
    state_.current_tab = TAB_DATA;
    TabCtrl_SetCurSel(control(ID_TABS), TAB_DATA);
    filter_bar_mode(true);
    refresh_views();
    if (!state_.search_path.empty()) load_page(0);
}

// The filter bar of a table (every column, four operators) or of the search (all columns,
// "enthält" and "entspricht", the search's text).
void MainWindow::filter_bar_mode(bool search) {
    ui_filter_bar_texts(controls_, search);
    if (!search) return;
    const HWND columns = control(ID_FILTER_COLUMN);
    SendMessageW(columns, CB_RESETCONTENT, 0, 0);
    SendMessageW(columns, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(ui_wide(msg_text(Msg::filter_all_columns)).c_str()));
    SendMessageW(columns, CB_SETCURSEL, 0, 0);
    SendMessageW(control(ID_FILTER_OP), CB_SETCURSEL,
                 state_.search.op == FilterOp::equals ? 1 : 0, 0);
    ui_set_text(control(ID_FILTER_VALUE), state_.search.text);
}

// Loads the page at first_entry (beyond the end: the last page): of the selected table, its
// filter hits or the search hits.
void MainWindow::load_page(std::uint64_t first_entry) {
    if (!state_.dump || state_.busy) return;
    const bool search = state_.search_view;
    if (search ? state_.search_path.empty() : selected_object() == nullptr) return;
    auto job = new_job(search ? JobKind::search_page : JobKind::page);
    job->first_row = page_first_row(first_entry, state_.entry_total);
    job->rows = state_.entry_total;
    job->index_path = search ? state_.search_path
                             : view_index_path(*state_.dump, state_.selected_object,
                                               state_.filter_path);
    submit(std::move(job));
}

void MainWindow::refresh_search_view() {
    ui_set_text(control(ID_BREADCRUMB), search_breadcrumb_text(*state_.dump));
    if (state_.current_tab == TAB_DATA) {
        grid_.show(grid_search_columns(), state_.page ? state_.page->row_count : 0, dpi_);
        ui_set_text(control(ID_PAGE_LABEL), page_label_text(state_.page_offset, state_.entry_total));
        ui_set_text(control(ID_PAGE_NUMBER), std::to_string(page_number_at(state_.page_offset)));
        ui_set_text(control(ID_INFO), search_info_text(!state_.search_path.empty(),
                                                       state_.search_hits, state_.search_tables));
        return;
    }
    grid_.clear();
    ui_set_text(control(ID_TEXT_VIEW), state_.current_tab == TAB_NOTES
                                           ? import_notes_text(*state_.dump)
                                           : std::string(search_no_object_text()));
}

void MainWindow::refresh_views() {
    const HWND grid = control(ID_GRID);
    const SchemaObject* o = selected_object();
    if (o == nullptr && state_.search_view && state_.dump && grid != nullptr) {
        refresh_search_view();
    } else if (o != nullptr && grid != nullptr) {
        const Charset charset = state_.charset;
        ui_set_text(control(ID_BREADCRUMB), breadcrumb_text(*o, charset));
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
            grid_.clear();
            ui_set_text(control(ID_TEXT_VIEW), create_text_view(*o, charset));
        } else if (state_.current_tab == TAB_NOTES) {
            grid_.clear();
            ui_set_text(control(ID_TEXT_VIEW), import_notes_text(*state_.dump));
        } else {
            grid_.clear();
            ui_set_text(control(ID_TEXT_VIEW), no_rows_text(*o, state_.current_tab));
        }
    } else {
        grid_.clear();
    }
    details_update(DETAILS_NO_ROW);
    update_controls();
    InvalidateRect(window_, nullptr, FALSE);  // the empty state comes and goes with the dump
}

// The details pane for a row of the page (DETAILS_NO_ROW for none).
void MainWindow::details_update(std::uint32_t row) {
    const DetailsPane pane =
        state_.search_view && state_.dump
            ? search_details_pane(*state_.dump, search_grid() ? state_.page.get() : nullptr, row)
            : details_pane(state_.dump.get(), state_.selected_object, state_.page.get(), row,
                           state_.charset);
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
    TreeModel model = tree_build(state_.dump.get(), state_.charset,
                                 ui_narrow(ui_window_text(control(ID_TREE_FILTER))),
                                 state_.search_view ? TREE_SELECT_ROOT : state_.selected_object);
    const std::int32_t direct = model.select_object;
    const HTREEITEM selected = tree_.fill(tree, std::move(model));
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree, nullptr, TRUE);
    tree_filling_ = false;
    if (selected != nullptr) {
        TreeView_SelectItem(tree, selected);
    } else if (direct >= 0) {
        select_object(direct);
    }
}

// Closes the open dump: grid emptied, page freed, filter result deleted, lock released, and
// the title names no dump any more (an import that follows names one only once it succeeds).
void MainWindow::close_dump() {
    grid_.clear();
    state_.page.reset();
    drop_filter();
    drop_search();
    if (std::exchange(state_.search_view, false)) filter_bar_mode(false);
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

void MainWindow::drop_search() {
    if (!state_.search_path.empty()) file_remove(state_.search_path);
    state_.search_path.clear();
    state_.search_hits = 0;
    state_.search_tables = 0;
}

}  // namespace kv
