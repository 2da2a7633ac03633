// Which controls of the main window are visible and enabled, computed without any window from
// the interface state: the view refresh decides what each tab shows, the state update what can
// be used while idle or busy. The Win32 shell applies the result to its controls as it is.
#pragma once

#include <array>
#include <cstdint>

#include "ui/logic/window_layout.h"

namespace kv {

enum UiTab : int { TAB_DATA = 0, TAB_STRUCTURE = 1, TAB_SQL = 2, TAB_NOTES = 3 };

struct UiConditions {
    bool busy = false;
    bool job_running = false;       // a running job is recorded
    bool cancel_requested = false;  // its cancel field is set
    bool dump_open = false;
    int selected_kind = -1;         // ObjectKind of the selected object, -1 for none
    int tab = TAB_DATA;
    bool row_selected = false;      // a grid row of the current page is selected
    std::uint64_t page_offset = 0;
    std::uint64_t entry_total = 0;
    bool selected_has_columns = true;  // the selected object has columns to show as structure
    bool search_view = false;  // the tree's root is selected: the filter bar searches the dump
};

struct ControlState {
    bool visible = true;
    bool enabled = true;
    bool operator==(const ControlState&) const = default;
};

struct ControlStates {
    std::array<ControlState, CONTROL_COUNT> states{};  // by position in CONTROL_ORDER
    ControlState of(int id) const;
};

// Visibility and enabled state of every control. details_visible comes from the layout.
ControlStates ui_control_states(const UiConditions& c, bool details_visible);

}  // namespace kv
