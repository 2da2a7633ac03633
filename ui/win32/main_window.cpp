// The main window procedure: a dispatch table of short handlers for creation, sizing, DPI
// changes, painting, commands, closing and the posted open-path message; plus the layout, the
// view refresh and the control states, which apply what ui/logic computes.
#include "ui/win32/app.h"

#include <shellapi.h>

namespace kv {

namespace {

using Handler = LRESULT (*)(HWND, WPARAM, LPARAM);

LRESULT on_create(HWND window, WPARAM, LPARAM) {
    AppState& a = app();
    a.main = window;
    const UINT dpi = GetDpiForWindow(window);
    a.dpi = dpi < 97 ? 96 : static_cast<int>(dpi);
    ui_create_fonts();
    ui_create_controls();
    DragAcceptFiles(window, TRUE);
    SetTimer(window, PROGRESS_TIMER, PROGRESS_TIMER_MS, nullptr);
    ui_refresh_views();
    return 0;
}

LRESULT on_size(HWND, WPARAM, LPARAM) {
    ui_layout();
    return 0;
}

LRESULT on_dpi_changed(HWND window, WPARAM wparam, LPARAM lparam) {
    AppState& a = app();
    a.dpi = HIWORD(wparam);
    ui_create_fonts();
    const RECT* r = reinterpret_cast<const RECT*>(lparam);
    SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    TreeView_SetItemHeight(ui_control(ID_TREE), ui_scale(27, a.dpi));
    ui_refresh_views();
    return 0;
}

LRESULT on_min_max(HWND, WPARAM, LPARAM lparam) {
    const UiSize s = ui_min_window_size(app().dpi, GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN));
    auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
    info->ptMinTrackSize = {s.width, s.height};
    return 0;
}

LRESULT on_erase(HWND, WPARAM, LPARAM) { return 1; }

LRESULT on_paint(HWND window, WPARAM, LPARAM) {
    ui_paint(window);
    return 0;
}

LRESULT on_draw_item(HWND, WPARAM, LPARAM lparam) {
    ui_draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
    return TRUE;
}

LRESULT on_control_color(HWND, WPARAM wparam, LPARAM) {
    const HDC dc = reinterpret_cast<HDC>(wparam);
    SetTextColor(dc, RGB(UI_COLOR_CONTROL_TEXT.r, UI_COLOR_CONTROL_TEXT.g, UI_COLOR_CONTROL_TEXT.b));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(app().brushes[BRUSH_WHITE]);
}

LRESULT on_command(HWND, WPARAM wparam, LPARAM) {
    ui_command(LOWORD(wparam), HIWORD(wparam));
    return 0;
}

LRESULT on_open_path(HWND, WPARAM, LPARAM lparam) {
    std::unique_ptr<char[]> path(reinterpret_cast<char*>(lparam));
    if (path) ui_open_dump(path.get(), false);
    return 0;
}

LRESULT on_close(HWND window, WPARAM, LPARAM) {
    AppState& a = app();
    if (!a.busy) {
        DestroyWindow(window);
        return 0;
    }
    if (ui_message("Laufenden Vorgang abbrechen und das Programm schließen?",
                   MB_YESNO | MB_ICONWARNING) != IDYES) {
        return 0;
    }
    // The question's own message loop may have taken the job's end meanwhile: then nothing
    // is left to wait for.
    if (!a.busy) {
        DestroyWindow(window);
        return 0;
    }
    a.close_after_job = true;
    if (a.running_job != nullptr) a.running_job->cancel.store(1, std::memory_order_relaxed);
    ui_update_controls();
    return 0;
}

LRESULT on_destroy(HWND window, WPARAM, LPARAM) {
    AppState& a = app();
    KillTimer(window, PROGRESS_TIMER);
    ui_close_dump();
    if (a.tree_images != nullptr) ImageList_Destroy(a.tree_images);
    a.tree_images = nullptr;
    a.main = nullptr;
    a.controls.fill(nullptr);
    a.buttons.clear();
    PostQuitMessage(0);
    return 0;
}

struct Dispatch {
    UINT message;
    Handler handler;
};

const Dispatch MAIN_HANDLERS[] = {
    {WM_CREATE, on_create},
    {WM_SIZE, on_size},
    {WM_DPICHANGED, on_dpi_changed},
    {WM_GETMINMAXINFO, on_min_max},
    {WM_ERASEBKGND, on_erase},
    {WM_PAINT, on_paint},
    {WM_DRAWITEM, on_draw_item},
    {WM_CTLCOLOREDIT, on_control_color},
    {WM_CTLCOLORLISTBOX, on_control_color},
    {WM_CTLCOLORSTATIC, on_control_color},
    {WM_COMMAND, on_command},
    {WM_NOTIFY, ui_on_notify},
    {WM_TIMER, ui_on_timer},
    {WM_DROPFILES, ui_on_drop},
    {WM_JOB_FINISHED, ui_on_job_finished},
    {WM_OPEN_PATH, on_open_path},
    {WM_CLOSE, on_close},
    {WM_DESTROY, on_destroy},
};

void apply_states(const ControlStates& states) {
    AppState& a = app();
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const HWND control = a.controls[static_cast<std::size_t>(i)];
        if (control == nullptr) continue;
        const ControlState s = states.states[static_cast<std::size_t>(i)];
        // The style bit, not IsWindowVisible: during creation the main window is not shown yet.
        const bool shown = (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
        if (shown != s.visible) {
            ShowWindow(control, s.visible ? SW_SHOWNA : SW_HIDE);
        }
        if ((IsWindowEnabled(control) != FALSE) != s.enabled) EnableWindow(control, s.enabled);
    }
}

}  // namespace

LRESULT CALLBACK ui_main_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    for (const Dispatch& d : MAIN_HANDLERS) {
        if (d.message == message) return d.handler(window, wparam, lparam);
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void ui_layout() {
    AppState& a = app();
    if (a.main == nullptr) return;
    RECT client;
    GetClientRect(a.main, &client);
    const MainLayout layout = ui_main_layout(client.right, client.bottom, a.dpi);
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const HWND control = a.controls[static_cast<std::size_t>(i)];
        if (control == nullptr) continue;
        const UiRect& r = layout.rects[static_cast<std::size_t>(i)];
        MoveWindow(control, r.x, r.y, r.width, r.height, TRUE);
    }
    for (int id : {ID_DETAILS_CAPTION, ID_DETAILS}) {
        if (HWND control = ui_control(id)) {
            ShowWindow(control, layout.details_visible ? SW_SHOWNA : SW_HIDE);
        }
    }
    InvalidateRect(a.main, nullptr, FALSE);
}

bool ui_details_visible() {
    AppState& a = app();
    if (a.main == nullptr) return false;
    RECT client;
    GetClientRect(a.main, &client);
    return ui_unscale(client.right, a.dpi) >= DETAILS_MIN_WIDTH;
}

void ui_update_controls() {
    if (app().main == nullptr) return;
    apply_states(ui_control_states(ui_conditions(), ui_details_visible()));
    for (HWND button : app().buttons) InvalidateRect(button, nullptr, FALSE);
}

}  // namespace kv
