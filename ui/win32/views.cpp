// The views of the main window: the interface conditions the control states are computed
// from, the view refresh, closing the open dump, and the handlers of list and tree
// notifications, the progress timer, dropped files and finished jobs.
#include "ui/win32/app.h"

#include <shellapi.h>

namespace kv {

UiConditions ui_conditions() {
    const AppState& a = app();
    UiConditions c;
    c.busy = a.busy;
    c.job_running = a.running_job != nullptr;
    c.cancel_requested =
        a.running_job != nullptr && a.running_job->cancel.load(std::memory_order_relaxed) != 0;
    c.dump_open = a.dump != nullptr;
    if (a.dump && a.selected_object >= 0 &&
        static_cast<std::size_t>(a.selected_object) < a.dump->objects.size()) {
        c.selected_kind = a.dump->objects[static_cast<std::size_t>(a.selected_object)].kind;
    }
    c.tab = a.current_tab;
    c.page_offset = a.page_offset;
    c.entry_total = a.entry_total;
    return c;
}

void ui_refresh_views() {
    ui_update_controls();
    ui_layout();
}

void ui_close_dump() {
    AppState& a = app();
    a.page.reset();
    a.selected_object = -1;
    a.page_offset = 0;
    a.entry_total = 0;
    if (!a.filter_path.empty()) file_remove(a.filter_path);
    a.filter_path.clear();
    a.dump.reset();
    file_close(a.lock);
    a.lock = INVALID_FILE;
}

LRESULT ui_on_notify(HWND window, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, WM_NOTIFY, wparam, lparam);
}

LRESULT ui_on_timer(HWND, WPARAM, LPARAM) { return 0; }

LRESULT ui_on_drop(HWND, WPARAM wparam, LPARAM) {
    DragFinish(reinterpret_cast<HDROP>(wparam));
    return 0;
}

LRESULT ui_on_job_finished(HWND, WPARAM, LPARAM lparam) {
    job_free(reinterpret_cast<BackgroundJob*>(lparam));
    return 0;
}

}  // namespace kv
