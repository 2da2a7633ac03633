// Visible and enabled states of the main window's controls (see control_states.h).
#include "ui/logic/control_states.h"

#include "ui/logic/page_number.h"

namespace kv {

namespace {

constexpr int KIND_TABLE = 0;
constexpr int KIND_DATABASE = 3;

}  // namespace

ControlState ControlStates::of(int id) const {
    const int i = ui_control_index(id);
    return i < 0 ? ControlState{false, false} : states[static_cast<std::size_t>(i)];
}

ControlStates ui_control_states(const UiConditions& c, bool details_visible) {
    ControlStates out;
    auto set = [&out](int id, bool visible, bool enabled) {
        out.states[static_cast<std::size_t>(ui_control_index(id))] = {visible, enabled};
    };
    const bool idle = !c.busy;
    const bool selected = c.dump_open && c.selected_kind >= 0;
    const bool table = selected && c.selected_kind == KIND_TABLE;
    // The search view lists hits page by page like a table's rows, through the same bar.
    const bool search = c.dump_open && c.search_view;
    const bool data_view = (table || search) && c.tab == TAB_DATA;
    // Views and routines have no rows, and often no columns: their text view says why.
    const bool structure_view =
        selected && c.tab == TAB_STRUCTURE && (table || c.selected_has_columns);
    const bool grid = data_view || structure_view;
    const bool text = (selected || search) && !grid;
    const bool paging = idle && data_view;

    for (int id : {ID_OPEN, ID_RECENT, ID_DEMO, ID_CACHE, ID_HELP}) set(id, true, idle);
    // Views and routines: their CREATE text as an SQL script (the only file type offered).
    set(ID_EXPORT, true, idle && selected && c.selected_kind != KIND_DATABASE);
    set(ID_TUPLE, true, idle && c.row_selected && !search);
    set(ID_REINDEX, true, idle && c.dump_open);
    set(ID_CHARSET, true, idle);
    set(ID_TREE_FILTER, true, idle);
    set(ID_TREE, true, idle);
    set(ID_BREADCRUMB, c.dump_open, true);
    set(ID_TABS, c.dump_open, idle);
    // The search covers every column: its column box holds only "Alle Spalten".
    set(ID_FILTER_COLUMN, grid && !structure_view, idle && table);
    set(ID_FILTER_OP, grid && !structure_view, idle && (table || search));
    set(ID_FILTER_VALUE, grid && !structure_view, idle && (table || search));
    set(ID_FILTER, grid && !structure_view, idle && (table || search));
    set(ID_RESET, grid && !structure_view, idle && (table || search));
    set(ID_INFO, grid, true);
    set(ID_GRID, grid, idle);
    set(ID_TEXT_VIEW, text, true);
    set(ID_WRAP, text, true);
    set(ID_FIRST_PAGE, data_view, paging && c.page_offset > 0);
    set(ID_PREV_PAGE, data_view, paging && c.page_offset > 0);
    set(ID_PAGE_NUMBER, data_view, paging);
    set(ID_GO, data_view, paging && c.entry_total > 0);
    const bool next = page_has_next(c.page_offset, c.entry_total);
    set(ID_NEXT_PAGE, data_view, paging && next);
    set(ID_LAST_PAGE, data_view, paging && next);
    set(ID_PAGE_LABEL, data_view, true);
    set(ID_DETAILS_CAPTION, details_visible, true);
    set(ID_DETAILS, details_visible, true);
    set(ID_PROGRESS, c.busy, true);
    set(ID_CANCEL, c.busy, c.busy && c.job_running && !c.cancel_requested);
    return out;
}

}  // namespace kv
