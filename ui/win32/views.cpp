// The views of the main window: object selection, the page loader, the view refresh (grid
// columns, labels, text view), the virtual grid (texts and colours from the page), the details
// pane, the tree, and the handlers of notifications, the progress timer, dropped files and
// finished jobs. Texts and states come from ui/logic; nothing here reads the dump.
#include "ui/win32/app.h"

#include <shellapi.h>

#include "cache/file_names.h"
#include "foundation/text.h"
#include "jobs/page_job.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/help_text.h"
#include "ui/logic/job_end.h"
#include "ui/logic/page_number.h"
#include "ui/logic/tree_model.h"
#include "ui/logic/view_text.h"

namespace kv {

namespace {

const SchemaObject* selected() { return ui_selected_object(); }

bool data_view() {
    const SchemaObject* o = selected();
    return o != nullptr && o->kind == OBJECT_TABLE && app().current_tab == TAB_DATA;
}

void set_text(int id, const std::string& utf8) {
    if (HWND control = ui_control(id)) SetWindowTextW(control, ui_wide(utf8).c_str());
}

void add_grid_column(const std::string& utf8, int width) {
    AppState& a = app();
    std::wstring text = ui_wide(utf8);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text.data();
    column.cx = ui_scale(width, a.dpi);
    SendMessageW(ui_control(ID_GRID), LVM_INSERTCOLUMNW, static_cast<WPARAM>(a.grid_columns),
                 reinterpret_cast<LPARAM>(&column));
    ++a.grid_columns;
}

void clear_grid() {
    AppState& a = app();
    HWND grid = ui_control(ID_GRID);
    if (grid == nullptr) return;
    ListView_SetItemCountEx(grid, 0, 0);
    while (a.grid_columns > 0) {
        ListView_DeleteColumn(grid, 0);
        --a.grid_columns;
    }
}

void add_grid_columns(const std::vector<GridColumn>& columns) {
    for (const GridColumn& c : columns) add_grid_column(c.title, c.width);
}

// Answers one grid cell (LVN_GETDISPINFOW).
void grid_text(NMLVDISPINFOW& info) {
    AppState& a = app();
    LVITEMW& item = info.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
    static wchar_t empty[1] = {L'\0'};
    item.pszText = empty;
    const auto row = static_cast<std::uint32_t>(item.iItem);
    const auto column = static_cast<std::uint32_t>(item.iSubItem);
    if (data_view() && a.page && row < a.page->row_count && column < a.page->cell_count) {
        const std::vector<std::u16string>& cells = a.page->cells[row];
        if (column < cells.size()) {
            item.pszText = const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(cells[column].c_str()));
        }
        return;
    }
    const SchemaObject* o = selected();
    if (a.current_tab != TAB_STRUCTURE || o == nullptr || row >= o->columns.size()) return;
    const std::wstring wide = ui_wide(structure_cell_text(*o, row, column, a.charset));
    const std::size_t n = std::min(wide.size(), DISPLAY_TEXT_UNITS - 1);
    wide.copy(a.display_text.data(), n);
    a.display_text[n] = L'\0';
    item.pszText = a.display_text.data();
}

COLORREF rgb(UiColor c) { return RGB(c.r, c.g, c.b); }

LRESULT grid_custom_draw(NMLVCUSTOMDRAW& draw) {
    const AppState& a = app();
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const auto row = static_cast<std::uint32_t>(draw.nmcd.dwItemSpec);
            const auto column = static_cast<std::uint32_t>(draw.iSubItem);
            int kind = GRID_NO_VALUE;
            if (data_view() && a.page && column > 0 && row < a.page->row_count &&
                column < a.page->kinds[row].size()) {
                kind = a.page->kinds[row][column];
            }
            const GridCellLook look = grid_cell_look(row, kind);
            draw.clrText = rgb(look.text);
            draw.clrTextBk = rgb(look.background);
            return CDRF_NEWFONT;
        }
        default: return CDRF_DODEFAULT;
    }
}

void on_grid_selection(const NMLISTVIEW& change) {
    if ((change.uNewState & LVIS_SELECTED) == 0 || app().current_tab != TAB_DATA) return;
    ui_details_update(static_cast<std::uint32_t>(change.iItem));
    ui_update_controls();
}

void on_grid_double_click() {
    AppState& a = app();
    if (a.current_tab != TAB_DATA || a.busy) return;
    const int row = ui_selected_row();
    if (row < 0) return;
    ui_submit_details(a.page->entries[static_cast<std::size_t>(row)]);
}

void on_tree_selection(const NMTREEVIEWW& change) {
    if (app().tree_filling) return;
    const LPARAM value = change.itemNew.lParam;
    if (value > 0) ui_select_object(static_cast<int>(value - 1));
}

void on_tab_change() {
    AppState& a = app();
    if (a.busy) return;
    a.current_tab = TabCtrl_GetCurSel(ui_control(ID_TABS));
    ui_refresh_views();
    if (data_view() && !a.page) ui_load_page(0);
}

// The takeover of a finished job of each type.
void take_open(BackgroundJob& job) {
    AppState& a = app();
    a.dump = std::move(job.new_dump_state);
    a.lock = job.lock_handle;
    job.lock_handle = INVALID_FILE;
    if (!a.dump) return;
    ui_set_status(status_open_text(*a.dump));
    SetWindowTextW(a.main,
                   ui_wide(path_file_name(a.dump->dump_path) + " — Kor-Vane Dump Browser").c_str());
    ui_refresh_views();
    ui_tree_rebuild();
}

void take_page(BackgroundJob& job) {
    AppState& a = app();
    a.page = std::move(job.page);
    a.page_offset = a.page ? a.page->first_row : 0;
    ui_refresh_views();
    if (a.page && a.page->row_count > 0) {
        HWND grid = ui_control(ID_GRID);
        ListView_SetItemState(grid, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(grid, 0, FALSE);
    }
    if (a.dump) ui_set_status(status_page_text(*a.dump));
}

void take_filter(BackgroundJob& job) {
    AppState& a = app();
    const std::string target = a.dump ? cache_query_path(*a.dump) : std::string();
    if (target.empty() || !file_replace(job.output_path, target)) {
        ui_message("Der Filterindex konnte nicht übernommen werden.", MB_OK | MB_ICONERROR);
        return;
    }
    a.filter_path = target;
    a.entry_total = job.rows;
    a.page.reset();
    ui_load_page(0);
}

}  // namespace

const SchemaObject* ui_selected_object() {
    const AppState& a = app();
    if (!a.dump || a.selected_object < 0 ||
        static_cast<std::size_t>(a.selected_object) >= a.dump->objects.size()) {
        return nullptr;
    }
    return &a.dump->objects[static_cast<std::size_t>(a.selected_object)];
}

int ui_selected_row() {
    const AppState& a = app();
    if (!a.page || !data_view()) return -1;
    const int row = ListView_GetNextItem(ui_control(ID_GRID), -1, LVNI_SELECTED);
    return row >= 0 && static_cast<std::uint32_t>(row) < a.page->row_count ? row : -1;
}

UiConditions ui_conditions() {
    const AppState& a = app();
    UiConditions c;
    c.busy = a.busy;
    c.job_running = a.running_job != nullptr;
    c.cancel_requested =
        a.running_job != nullptr && a.running_job->cancel.load(std::memory_order_relaxed) != 0;
    c.dump_open = a.dump != nullptr;
    if (const SchemaObject* o = selected()) c.selected_kind = o->kind;
    c.tab = a.current_tab;
    c.row_selected = ui_selected_row() >= 0;
    c.page_offset = a.page_offset;
    c.entry_total = a.entry_total;
    return c;
}

void ui_select_object(int n) {
    AppState& a = app();
    if (n < 0 || a.busy || !a.dump || static_cast<std::size_t>(n) >= a.dump->objects.size() ||
        n == a.selected_object) {
        return;
    }
    a.selected_object = n;
    a.page_offset = 0;
    ui_drop_filter();
    a.page.reset();
    const SchemaObject& o = a.dump->objects[static_cast<std::size_t>(n)];
    a.entry_total = o.entry_count;
    a.current_tab = o.kind == OBJECT_TABLE ? TAB_DATA : TAB_SQL;
    TabCtrl_SetCurSel(ui_control(ID_TABS), a.current_tab);
    HWND columns = ui_control(ID_FILTER_COLUMN);
    SendMessageW(columns, CB_RESETCONTENT, 0, 0);
    SendMessageW(columns, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Alle Spalten"));
    for (const Column& c : o.columns) {
        std::string name;
        if (!text_to_utf8(c.name, a.charset, name)) name = "?";
        SendMessageW(columns, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ui_wide(name).c_str()));
    }
    SendMessageW(columns, CB_SETCURSEL, 0, 0);
    SendMessageW(ui_control(ID_FILTER_OP), CB_SETCURSEL, 0, 0);
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"");
    ui_refresh_views();
    if (a.current_tab == TAB_DATA) ui_load_page(0);
}

void ui_load_page(std::uint64_t requested) {
    AppState& a = app();
    const SchemaObject* o = selected();
    if (!a.dump || a.busy || o == nullptr) return;
    auto job = ui_new_job(JobKind::page);
    job->first_row = page_first_row(requested, a.entry_total);
    job->rows = a.entry_total;
    job->index_path = view_index_path(*a.dump, a.selected_object, a.filter_path);
    ui_submit(std::move(job));
}

void ui_refresh_views() {
    AppState& a = app();
    HWND grid = ui_control(ID_GRID);
    const SchemaObject* o = selected();
    if (o != nullptr && grid != nullptr) {
        set_text(ID_BREADCRUMB, breadcrumb_text(*o, a.charset));
        SendMessageW(grid, WM_SETREDRAW, FALSE, 0);
        clear_grid();
        if (data_view()) {
            add_grid_columns(grid_data_columns(*o, a.charset));
            ListView_SetItemCountEx(grid, a.page ? a.page->row_count : 0, 0);
            set_text(ID_PAGE_LABEL, page_label_text(a.page_offset, a.entry_total));
            set_text(ID_PAGE_NUMBER, std::to_string(page_number_at(a.page_offset)));
            set_text(ID_INFO, info_label_text(a.entry_total, !a.filter_path.empty()));
        } else if (a.current_tab == TAB_STRUCTURE) {
            add_grid_columns(grid_structure_columns());
            ListView_SetItemCountEx(grid, o->columns.size(), 0);
            set_text(ID_INFO, "Spalten, Datentypen und Constraints aus dem CREATE TABLE – ohne "
                              "Typkonvertierung.");
        } else if (a.current_tab == TAB_SQL) {
            set_text(ID_TEXT_VIEW, create_text_view(*o, a.charset));
        } else if (a.current_tab == TAB_NOTES) {
            set_text(ID_TEXT_VIEW, import_notes_text(*a.dump));
        }
        SendMessageW(grid, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(grid, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME);
    } else {
        clear_grid();
    }
    ui_details_update(DETAILS_NO_ROW);
    ui_update_controls();
    ui_layout();
}

void ui_details_update(std::uint32_t row) {
    const AppState& a = app();
    const DetailsPane pane =
        details_pane(a.dump.get(), a.selected_object, a.page.get(), row, a.charset);
    set_text(ID_DETAILS_CAPTION, pane.caption);
    set_text(ID_DETAILS, pane.text);
}

void ui_tree_rebuild() {
    AppState& a = app();
    HWND tree = ui_control(ID_TREE);
    if (tree == nullptr) return;
    a.tree_filling = true;
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(tree);
    if (!a.dump) {
        SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
        a.tree_filling = false;
        return;
    }
    const TreeModel model =
        tree_build(a.dump.get(), a.charset, ui_get_text(ID_TREE_FILTER), a.selected_object);
    std::vector<HTREEITEM> handles(model.items.size(), nullptr);
    for (std::size_t i = 0; i < model.items.size(); ++i) {
        const TreeItem& item = model.items[i];
        std::wstring text = ui_wide(item.text);
        TVINSERTSTRUCTW insert{};
        insert.hParent = item.parent < 0 ? TVI_ROOT : handles[static_cast<std::size_t>(item.parent)];
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
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree, nullptr, TRUE);
    a.tree_filling = false;
    if (model.selected_item >= 0 && handles[static_cast<std::size_t>(model.selected_item)]) {
        TreeView_SelectItem(tree, handles[static_cast<std::size_t>(model.selected_item)]);
    } else if (model.select_object >= 0) {
        ui_select_object(model.select_object);
    }
}

void ui_close_dump() {
    AppState& a = app();
    clear_grid();
    a.page.reset();
    ui_drop_filter();
    a.dump.reset();
    file_close(a.lock);
    a.lock = INVALID_FILE;
    a.selected_object = -1;
    a.page_offset = 0;
    a.entry_total = 0;
}

void ui_drop_filter() {
    AppState& a = app();
    if (!a.filter_path.empty()) file_remove(a.filter_path);
    a.filter_path.clear();
}

LRESULT ui_on_notify(HWND window, WPARAM wparam, LPARAM lparam) {
    auto* header = reinterpret_cast<NMHDR*>(lparam);
    switch (header->idFrom) {
        case ID_GRID:
            switch (header->code) {
                case LVN_GETDISPINFOW: grid_text(*reinterpret_cast<NMLVDISPINFOW*>(lparam)); return 0;
                case NM_CUSTOMDRAW: return grid_custom_draw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lparam));
                case NM_DBLCLK: on_grid_double_click(); return 0;
                case LVN_ITEMCHANGED: on_grid_selection(*reinterpret_cast<NMLISTVIEW*>(lparam)); return 0;
                default: break;
            }
            break;
        case ID_TREE:
            if (header->code == TVN_SELCHANGEDW) {
                on_tree_selection(*reinterpret_cast<NMTREEVIEWW*>(lparam));
                return 0;
            }
            break;
        case ID_TABS:
            if (header->code == TCN_SELCHANGE) {
                on_tab_change();
                return 0;
            }
            break;
        default: break;
    }
    return DefWindowProcW(window, WM_NOTIFY, wparam, lparam);
}

LRESULT ui_on_timer(HWND, WPARAM wparam, LPARAM) {
    const AppState& a = app();
    if (wparam != PROGRESS_TIMER || !a.busy || a.running_job == nullptr) return 0;
    const BackgroundJob& job = *a.running_job;
    const std::uint64_t done = job.progress_done.load(std::memory_order_relaxed);
    const std::uint64_t total = job.progress_total.load(std::memory_order_relaxed);
    SendMessageW(ui_control(ID_PROGRESS), PBM_SETPOS,
                 static_cast<WPARAM>(progress_thousandths(done, total)), 0);
    ui_set_status(status_progress_text(job.progress_label.load(std::memory_order_relaxed), done,
                                       total, job.progress_count.load(std::memory_order_relaxed),
                                       job.cancel.load(std::memory_order_relaxed) != 0));
    return 0;
}

LRESULT ui_on_drop(HWND, WPARAM wparam, LPARAM) {
    const auto drop = reinterpret_cast<HDROP>(wparam);
    if (!app().busy && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(static_cast<std::size_t>(length) + 1, L'\0');
        DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(length);
        ui_open_dump(ui_narrow(path), false);
    }
    DragFinish(drop);
    return 0;
}

LRESULT ui_on_job_finished(HWND window, WPARAM, LPARAM lparam) {
    AppState& a = app();
    std::unique_ptr<BackgroundJob, void (*)(BackgroundJob*)> job(
        reinterpret_cast<BackgroundJob*>(lparam), job_free);
    a.busy = false;
    a.running_job = nullptr;
    if (a.close_after_job) {
        job.reset();
        DestroyWindow(window);
        return 0;
    }
    const JobEnd end = job_end(*job);
    if (end.outcome != JobOutcome::done) {
        const bool cancelled = end.outcome == JobOutcome::cancelled;
        ui_set_status(cancelled ? "Vorgang abgebrochen. Originaldatei unverändert."
                                : "Vorgang fehlgeschlagen. Details beachten.");
        ui_update_controls();
        if (!cancelled) ui_message(end.failure.c_str(), MB_OK | MB_ICONERROR);
    } else {
        switch (job->kind) {
            case JobKind::open: take_open(*job); break;
            case JobKind::page: take_page(*job); break;
            case JobKind::filter: take_filter(*job); break;
            case JobKind::csv:
            case JobKind::tuple: ui_set_status("Export abgeschlossen: " + job->output_path); break;
            case JobKind::details:
                ui_set_status("Datensatzdetails geladen. Vorschauen können begrenzt sein.");
                ui_show_text(DETAILS_TITLE, job->details_text);
                break;
            default: break;
        }
    }
    ui_update_controls();
    return 0;
}

}  // namespace kv
