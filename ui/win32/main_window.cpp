// The main window object (see main_window.h): its creation, its table of message handlers and
// the handlers, the frame (layout, control states, status line), and the jobs it starts and
// takes back.
#include "ui/win32/main_window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <utility>

#include "cache/file_names.h"
#include "foundation/messages.h"
#include "ui/logic/format_text.h"
#include "ui/logic/recent_dumps.h"
#include "ui/logic/search_view.h"
#include "ui/logic/view_text.h"
#include "ui/win32/seams.h"
#include "ui/win32/text_io.h"
#include "ui/win32/text_window.h"

namespace kv {

namespace {

constexpr UINT_PTR PROGRESS_TIMER = 1;
constexpr UINT PROGRESS_TIMER_MS = 150;
// A job shows the busy state (controls disabled, progress bar, "Abbrechen") only once it has
// run this long: a page or a details job ends long before, and the controls do not flicker.
constexpr UINT_PTR BUSY_TIMER = 2;
constexpr UINT BUSY_SHOW_MS = 150;
constexpr std::size_t STATUS_MAX = 2047;

// Called on the worker thread: hands the finished job to the interface thread.
void job_done(BackgroundJob* job, void* user) {
    if (!PostMessageW(static_cast<HWND>(user), WM_JOB_FINISHED, 0, reinterpret_cast<LPARAM>(job))) {
        job_free(job);
    }
}

// WM_GETMINMAXINFO, also before the object exists (it comes before WM_NCCREATE).
void set_min_size(int dpi, LPARAM lparam) {
    const UiSize s =
        ui_min_window_size(dpi, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {s.width, s.height};
}

}  // namespace

const WindowHandler<MainWindow> MainWindow::HANDLERS[] = {
    {WM_CREATE, &MainWindow::on_create},
    {WM_SIZE, &MainWindow::on_size},
    {WM_DPICHANGED, &MainWindow::on_dpi_changed},
    {WM_GETMINMAXINFO, &MainWindow::on_min_max},
    {WM_ACTIVATE, &MainWindow::on_activate},
    {WM_ERASEBKGND, &MainWindow::on_erase},
    {WM_PAINT, &MainWindow::on_paint},
    {WM_DRAWITEM, &MainWindow::on_draw_item},
    {WM_CTLCOLOREDIT, &MainWindow::on_control_color},
    {WM_CTLCOLORLISTBOX, &MainWindow::on_control_color},
    {WM_CTLCOLORSTATIC, &MainWindow::on_control_color},
    {WM_COMMAND, &MainWindow::on_command},
    {WM_NOTIFY, &MainWindow::on_notify},
    {WM_TIMER, &MainWindow::on_timer},
    {WM_DROPFILES, &MainWindow::on_drop},
    {WM_JOB_FINISHED, &MainWindow::on_job_finished},
    {WM_OPEN_PATH, &MainWindow::on_open_path},
    {WM_TEXT_WINDOW_CLOSED, &MainWindow::on_text_window_closed},
    {WM_SETCURSOR, &MainWindow::on_set_cursor},
    {WM_LBUTTONDOWN, &MainWindow::on_button_down},
    {WM_MOUSEMOVE, &MainWindow::on_mouse_move},
    {WM_LBUTTONUP, &MainWindow::on_button_up},
    {WM_CAPTURECHANGED, &MainWindow::on_capture_changed},
    {WM_CLOSE, &MainWindow::on_close},
    {WM_DESTROY, &MainWindow::on_destroy},
};

MainWindow::MainWindow(const MainSetup& setup) : setup_(setup) {
    state_.status = msg_text(Msg::status_ready);
}

HWND MainWindow::create(HINSTANCE instance, const MainSetup& setup, const UiRect& place) {
    std::unique_ptr<MainWindow> self;
    try {
        self.reset(new MainWindow(setup));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return window_object_create(std::move(self), WS_EX_CONTROLPARENT, MAIN_CLASS,
                                ui_wide(main_window_title(nullptr)).c_str(),
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, place.x, place.y,
                                place.width, place.height, nullptr, instance);
}

MainWindow* MainWindow::from(HWND window) {
    HWND root = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    wchar_t name[64] = {};
    // A text window is owned, not parented (GA_ROOTOWNER stops at it): its owner is the main
    // window.
    if (root != nullptr && GetClassNameW(root, name, 64) != 0 &&
        std::wcscmp(name, TEXT_CLASS) == 0) {
        root = GetWindow(root, GW_OWNER);
    }
    if (root == nullptr || GetClassNameW(root, name, 64) == 0 ||
        std::wcscmp(name, MAIN_CLASS) != 0) {
        return nullptr;
    }
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

LRESULT CALLBACK MainWindow::proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MainWindow* self = window_object_of<MainWindow>(window, message, lparam);
    if (self != nullptr) return window_object_dispatch(*self, message, wparam, lparam);
    if (message == WM_GETMINMAXINFO) {
        set_min_size(96, lparam);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void MainWindow::set_wrap(bool wrap) {
    wrap_ = wrap;
    CheckDlgButton(window_, ID_WRAP, wrap ? BST_CHECKED : BST_UNCHECKED);
    if (HWND view = control(ID_TEXT_VIEW)) {
        controls_.replace(ID_TEXT_VIEW, ui_edit_rewrap(view, wrap));
    }
}

bool MainWindow::pre_translate(MSG& msg) {
    if (text_window_ != nullptr) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            DestroyWindow(text_window_);
            return true;
        }
        return IsDialogMessageW(text_window_, &msg) != FALSE;
    }
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && shortcut(msg)) return true;
    return IsDialogMessageW(window_, &msg) != FALSE;
}

void MainWindow::show_text(const std::string& title, const std::string& text) {
    if (text_window_ != nullptr) return;
    text_window_ = TextWindow::create(window_, dpi_, title, text, &wrap_);
    if (text_window_ == nullptr) return;
    EnableWindow(window_, FALSE);
    ShowWindow(text_window_, SW_SHOWNORMAL);
    UpdateWindow(text_window_);
    SetFocus(GetNextDlgTabItem(text_window_, nullptr, FALSE));  // its text, for keys at once
}

// ---- Message handlers ----

LRESULT MainWindow::on_create(WPARAM, LPARAM lparam) {
    instance_ = reinterpret_cast<const CREATESTRUCTW*>(lparam)->hInstance;
    const UINT dpi = GetDpiForWindow(window_);
    dpi_ = dpi < 97 ? 96 : static_cast<int>(dpi);
    fonts_ = FontSet(dpi_);
    images_.load(instance_);
    control_brush_.make(UI_COLOR_WHITE);
    controls_.create(window_, instance_, fonts_, dpi_);
    controls_.measure(dpi_, measures_);
    recent_ = recent_read(setup_.cache_root);
    grid_.attach(controls_.of(ID_GRID));
    DragAcceptFiles(window_, TRUE);
    SetTimer(window_, PROGRESS_TIMER, PROGRESS_TIMER_MS, nullptr);
    refresh_views();
    return 0;
}

LRESULT MainWindow::on_size(WPARAM, LPARAM) {
    layout();
    return 0;
}

LRESULT MainWindow::on_dpi_changed(WPARAM wparam, LPARAM lparam) {
    dpi_ = HIWORD(wparam);
    FontSet fonts(dpi_);
    controls_.set_fonts(fonts, dpi_);
    fonts_ = std::move(fonts);  // the old fonts go once no control uses them
    controls_.measure(dpi_, measures_);
    const RECT* r = reinterpret_cast<const RECT*>(lparam);
    SetWindowPos(window_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    refresh_views();
    return 0;
}

LRESULT MainWindow::on_min_max(WPARAM, LPARAM lparam) {
    set_min_size(dpi_, lparam);
    return 0;
}

// Instead of DefWindowProcW, which would focus the main window itself: the control that had
// the focus when the window was left gets it back.
LRESULT MainWindow::on_activate(WPARAM wparam, LPARAM) {
    if (LOWORD(wparam) == WA_INACTIVE) {
        remember_focus();
    } else if (HIWORD(wparam) == 0) {  // not minimised
        SetFocus(window_);
        focus_back();
    }
    return 0;
}

LRESULT MainWindow::on_erase(WPARAM, LPARAM) { return 1; }

LRESULT MainWindow::on_paint(WPARAM, LPARAM) {
    paint_main_window(window_, fonts_, images_, dpi_, measures_, state_.dump != nullptr,
                      state_.busy && busy_shown_, state_.status);
    return 0;
}

LRESULT MainWindow::on_draw_item(WPARAM, LPARAM lparam) {
    paint_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), fonts_, dpi_);
    return TRUE;
}

LRESULT MainWindow::on_control_color(WPARAM wparam, LPARAM) {
    const HDC dc = reinterpret_cast<HDC>(wparam);
    const UiColor text = UI_COLOR_CONTROL_TEXT;
    SetTextColor(dc, ui_rgb(text));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(control_brush_.get());
}

LRESULT MainWindow::on_command(WPARAM wparam, LPARAM) {
    command(LOWORD(wparam), HIWORD(wparam));
    return 0;
}

LRESULT MainWindow::on_notify(WPARAM wparam, LPARAM lparam) {
    auto* header = reinterpret_cast<NMHDR*>(lparam);
    switch (header->idFrom) {
        case ID_GRID:
            switch (header->code) {
                case LVN_GETDISPINFOW:
                    grid_.answer_text(*reinterpret_cast<NMLVDISPINFOW*>(lparam), grid_source());
                    return 0;
                case NM_CUSTOMDRAW:
                    return grid_.custom_draw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lparam),
                                             grid_source());
                case NM_DBLCLK: on_grid_double_click(); return 0;
                case LVN_ITEMCHANGED:
                    on_grid_selection(*reinterpret_cast<NMLISTVIEW*>(lparam));
                    return 0;
                default: break;
            }
            break;
        case ID_TREE:
            if (header->code == TVN_SELCHANGEDW) {
                on_tree_selection(*reinterpret_cast<NMTREEVIEWW*>(lparam));
                return 0;
            }
            if (header->code == TVN_ITEMEXPANDINGW) {
                tree_.expanding(*reinterpret_cast<NMTREEVIEWW*>(lparam));
                return FALSE;  // expand
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
    return DefWindowProcW(window_, WM_NOTIFY, wparam, lparam);
}

void MainWindow::show_busy() {
    KillTimer(window_, BUSY_TIMER);
    if (!state_.busy || busy_shown_) return;
    remember_focus();
    busy_shown_ = true;
    update_controls();
    SendMessageW(control(ID_PROGRESS), PBM_SETPOS, 0, 0);
    set_status(msg_text(Msg::status_running));
}

LRESULT MainWindow::on_timer(WPARAM wparam, LPARAM) {
    if (wparam == BUSY_TIMER) {
        show_busy();
        return 0;
    }
    if (wparam != PROGRESS_TIMER || !state_.busy || state_.running_job == nullptr) return 0;
    const BackgroundJob& job = *state_.running_job;
    const std::uint64_t done = job.progress_done.load(std::memory_order_relaxed);
    const std::uint64_t total = job.progress_total.load(std::memory_order_relaxed);
    SendMessageW(control(ID_PROGRESS), PBM_SETPOS,
                 static_cast<WPARAM>(progress_thousandths(done, total)), 0);
    set_status(status_progress_text(job.progress_label.load(std::memory_order_relaxed), done,
                                    total, job.progress_count.load(std::memory_order_relaxed),
                                    job.cancel.load(std::memory_order_relaxed) != 0));
    return 0;
}

LRESULT MainWindow::on_drop(WPARAM wparam, LPARAM) {
    const auto drop = reinterpret_cast<HDROP>(wparam);
    if (!state_.busy && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(static_cast<std::size_t>(length) + 1, L'\0');
        DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(length);
        open_dump(ui_narrow(path), false);
    }
    DragFinish(drop);
    return 0;
}

LRESULT MainWindow::on_job_finished(WPARAM, LPARAM lparam) {
    std::unique_ptr<BackgroundJob, void (*)(BackgroundJob*)> job(
        reinterpret_cast<BackgroundJob*>(lparam), job_free);
    state_.busy = false;
    state_.running_job = nullptr;
    busy_shown_ = false;
    KillTimer(window_, BUSY_TIMER);
    if (state_.close_after_job) {
        job.reset();
        DestroyWindow(window_);
        return 0;
    }
    const JobEnd end = job_end(*job);
    if (end.outcome != JobOutcome::done) {
        pending_object_ = -1;
        job_ended(end);
        if (job->kind == JobKind::open) reopen_previous(end.outcome);
        focus_back();
        return 0;
    }
    switch (job->kind) {
        case JobKind::open: take_open(*job); break;
        case JobKind::page:
        case JobKind::search_page: take_page(*job); break;
        case JobKind::filter: take_filter(*job); break;
        case JobKind::search: take_search(*job); break;
        case JobKind::csv:
        case JobKind::tuple:
        case JobKind::extract:
            set_status(format_text(msg_text(Msg::export_done), job->output_path.c_str()));
            break;
        case JobKind::details:
            set_status(msg_text(Msg::status_details_loaded));
            show_text(msg_text(Msg::title_details), job->details_text);
            break;
        default: break;
    }
    update_controls();
    focus_back();
    if (std::exchange(pending_tree_, false)) tree_rebuild();
    if (const int n = std::exchange(pending_object_, -1); n >= 0) {
        select_object(n);
    } else if (n == PENDING_ROOT) {
        select_search();
    }
    return 0;
}

LRESULT MainWindow::on_open_path(WPARAM, LPARAM lparam) {
    std::unique_ptr<char[]> path(reinterpret_cast<char*>(lparam));
    if (path) open_dump(path.get(), false);
    return 0;
}

LRESULT MainWindow::on_text_window_closed(WPARAM, LPARAM) {
    text_window_ = nullptr;
    set_wrap(wrap_);  // as the text window left it
    EnableWindow(window_, TRUE);
    SetForegroundWindow(window_);
    focus_back();
    return 0;
}

// The splitters: the cursor over a gap between panels, a drag with the mouse captured.
LRESULT MainWindow::on_set_cursor(WPARAM wparam, LPARAM lparam) {
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(window_, &at);
    RECT client;
    GetClientRect(window_, &client);
    if (reinterpret_cast<HWND>(wparam) == window_ && LOWORD(lparam) == HTCLIENT &&
        (dragging_ != Splitter::none ||
         ui_splitter_at(at.x, at.y, client.right, client.bottom, dpi_, measures_) !=
             Splitter::none)) {
        SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
        return TRUE;
    }
    return DefWindowProcW(window_, WM_SETCURSOR, wparam, lparam);
}

LRESULT MainWindow::on_button_down(WPARAM, LPARAM lparam) {
    RECT client;
    GetClientRect(window_, &client);
    dragging_ = ui_splitter_at(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), client.right,
                               client.bottom, dpi_, measures_);
    if (dragging_ != Splitter::none) SetCapture(window_);
    return 0;
}

LRESULT MainWindow::on_mouse_move(WPARAM, LPARAM lparam) {
    if (dragging_ != Splitter::none) splitter_drag(dragging_, GET_X_LPARAM(lparam));
    return 0;
}

LRESULT MainWindow::on_button_up(WPARAM, LPARAM) {
    if (dragging_ != Splitter::none) ReleaseCapture();  // ends the drag (WM_CAPTURECHANGED)
    return 0;
}

LRESULT MainWindow::on_capture_changed(WPARAM, LPARAM) {
    dragging_ = Splitter::none;
    return 0;
}

LRESULT MainWindow::on_close(WPARAM, LPARAM) {
    if (!state_.busy) {
        DestroyWindow(window_);
        return 0;
    }
    if (message_box(msg_text(Msg::close_question), MB_YESNO | MB_ICONWARNING) != IDYES) {
        return 0;
    }
    // The question's own message loop may have taken the job's end meanwhile: then nothing
    // is left to wait for.
    if (!state_.busy) {
        DestroyWindow(window_);
        return 0;
    }
    state_.close_after_job = true;
    cancel_job();
    return 0;
}

LRESULT MainWindow::on_destroy(WPARAM, LPARAM) {
    KillTimer(window_, PROGRESS_TIMER);
    KillTimer(window_, BUSY_TIMER);
    close_dump();
    controls_.forget();
    grid_.attach(nullptr);
    PostQuitMessage(0);
    return 0;
}

// ---- Notifications ----

void MainWindow::on_grid_selection(const NMLISTVIEW& change) {
    if ((change.uNewState & LVIS_SELECTED) == 0 || state_.current_tab != TAB_DATA) return;
    details_update(static_cast<std::uint32_t>(change.iItem));
    update_controls();
}

void MainWindow::on_grid_double_click() {
    if (state_.current_tab != TAB_DATA || state_.busy) return;
    open_details();
}

void MainWindow::on_tree_selection(const NMTREEVIEWW& change) {
    if (tree_filling_) return;
    const LPARAM value = change.itemNew.lParam;
    tree_selection_ = true;
    if (value > 0) {
        select_object(static_cast<int>(value - 1));
    } else if (tree_.is_root(value)) {
        select_search();
    }
    tree_selection_ = false;
}

void MainWindow::on_tab_change() {
    if (state_.busy) {  // a short job runs: the tab stays
        TabCtrl_SetCurSel(control(ID_TABS), state_.current_tab);
        return;
    }
    state_.current_tab = TabCtrl_GetCurSel(control(ID_TABS));
    refresh_views();
    if (data_view() && !state_.page) load_page(0);
}

// ---- The frame ----

void MainWindow::layout() {
    RECT client;
    GetClientRect(window_, &client);
    const MainLayout layout = ui_main_layout(client.right, client.bottom, dpi_, measures_);
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const HWND c = controls_.all()[static_cast<std::size_t>(i)];
        if (c == nullptr) continue;
        const UiRect& r = layout.rects[static_cast<std::size_t>(i)];
        MoveWindow(c, r.x, r.y, r.width, r.height, TRUE);
    }
    for (int id : {ID_DETAILS_CAPTION, ID_DETAILS}) {
        if (HWND c = control(id)) ShowWindow(c, layout.details_visible ? SW_SHOWNA : SW_HIDE);
    }
    InvalidateRect(window_, nullptr, FALSE);
}

void MainWindow::splitter_drag(Splitter splitter, int x) {
    RECT client;
    GetClientRect(window_, &client);
    const LayoutMeasures moved = ui_splitter_drag(splitter, x, client.right, dpi_, measures_);
    if (moved.tree_width == measures_.tree_width &&
        moved.details_width == measures_.details_width) {
        return;
    }
    measures_ = moved;
    layout();
}

void MainWindow::splitter_step(Splitter splitter, int direction) {
    RECT client;
    GetClientRect(window_, &client);
    measures_ = ui_splitter_step(splitter, direction, client.right, dpi_, measures_);
    layout();
}

bool MainWindow::details_visible() const {
    RECT client;
    GetClientRect(window_, &client);
    return ui_unscale(client.right, dpi_) >= DETAILS_MIN_WIDTH;
}

UiConditions MainWindow::conditions() const {
    UiConditions c;
    const BackgroundJob* job = state_.running_job;
    c.busy = state_.busy && busy_shown_;
    c.job_running = job != nullptr;
    c.cancel_requested = job != nullptr && job->cancel.load(std::memory_order_relaxed) != 0;
    c.dump_open = state_.dump != nullptr;
    if (const SchemaObject* o = selected_object()) {
        c.selected_kind = o->kind;
        c.selected_has_columns = !o->columns.empty();
    }
    c.tab = state_.current_tab;
    c.search_view = state_.search_view;
    c.row_selected = selected_row() >= 0;
    c.page_offset = state_.page_offset;
    c.entry_total = state_.entry_total;
    return c;
}

void MainWindow::update_controls() {
    const ControlStates states = ui_control_states(conditions(), details_visible());
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const HWND c = controls_.all()[static_cast<std::size_t>(i)];
        if (c == nullptr) continue;
        const ControlState s = states.states[static_cast<std::size_t>(i)];
        // The style bit, not IsWindowVisible: during creation the main window is not shown yet.
        const bool shown = (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) != 0;
        if (shown != s.visible) ShowWindow(c, s.visible ? SW_SHOWNA : SW_HIDE);
        if ((IsWindowEnabled(c) != FALSE) != s.enabled) EnableWindow(c, s.enabled);
    }
    for (HWND button : controls_.buttons()) InvalidateRect(button, nullptr, FALSE);
}

void MainWindow::set_status(const std::string& text) {
    state_.status.assign(text, 0, std::min(text.size(), STATUS_MAX));
    InvalidateRect(window_, nullptr, FALSE);
}

int MainWindow::message_box(const char* text, UINT flags) const {
    return ui_message_box(window_, text, flags);
}

void MainWindow::remember_focus() {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
}

// Only while the window is active, no job runs and no text window is open, and only when no
// control holds the focus (a disabled or hidden control has lost it to nobody or to the main
// window; one the user chose meanwhile keeps it).
void MainWindow::focus_back() {
    if (state_.busy || text_window_ != nullptr || focus_ == nullptr ||
        GetActiveWindow() != window_) {
        return;
    }
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus)) return;
    if (IsWindow(focus_) && IsWindowEnabled(focus_) && IsWindowVisible(focus_)) SetFocus(focus_);
}

// ---- Jobs ----

std::unique_ptr<BackgroundJob> MainWindow::new_job(JobKind kind) const {
    auto job = std::make_unique<BackgroundJob>();
    job->kind = kind;
    job->dump_state = kind == JobKind::open ? nullptr : state_.dump.get();
    job->object = state_.selected_object;
    job->charset = state_.charset;
    return job;
}

// The job runs at once; commands are ignored from now on, and the busy state shows when the
// job is still running after BUSY_SHOW_MS.
void MainWindow::submit(std::unique_ptr<BackgroundJob> job) {
    if (state_.busy) return;
    state_.busy = true;
    state_.running_job = job.get();
    SetTimer(window_, BUSY_TIMER, BUSY_SHOW_MS, nullptr);
    if (!job_submit(job.release(), job_done, window_)) {  // the job is freed then
        state_.busy = false;
        state_.running_job = nullptr;
        KillTimer(window_, BUSY_TIMER);
        update_controls();
        message_box(msg_text(Msg::thread_failed), MB_OK | MB_ICONERROR);
        focus_back();
    }
}

void MainWindow::cancel_job() {
    if (state_.running_job != nullptr) {
        state_.running_job->cancel.store(1, std::memory_order_relaxed);
    }
    update_controls();
}

void MainWindow::job_ended(const JobEnd& end) {
    const bool cancelled = end.outcome == JobOutcome::cancelled;
    set_status(msg_text(cancelled ? Msg::status_cancelled : Msg::status_failed));
    update_controls();
    if (!cancelled) message_box(end.failure.c_str(), MB_OK | MB_ICONERROR);
    update_controls();
}

// The object to show first: the one shown before a failed open when the previous dump comes
// back, else the tree's choice (the first table).
void MainWindow::take_open(BackgroundJob& job) {
    state_.dump = std::move(job.new_dump_state);
    state_.lock.reset(job.lock_handle);
    job.lock_handle = INVALID_FILE;
    // Only the reopen of the previous dump has given its path away; any other open forgets it.
    const int object = restore_.path.empty() ? restore_.object : -1;
    restore_ = {};
    if (!state_.dump) return;
    set_status(status_open_text(*state_.dump));
    ui_set_text(window_, main_window_title(state_.dump.get()));
    recent_ = recent_push(std::move(recent_), state_.dump->dump_path);
    recent_write(setup_.cache_root, recent_);  // a failure costs only the list
    refresh_views();
    if (object >= 0) select_object(object);
    tree_rebuild();
    if (!state_.busy && !pending_status_.empty()) {  // no page follows (a view is shown)
        set_status(std::exchange(pending_status_, std::string()));
    }
}

// After a failed or cancelled open: the dump that was open before it, from its cache, with
// the object that was shown; the status line says why it is back once its page is shown.
void MainWindow::reopen_previous(JobOutcome outcome) {
    if (restore_.path.empty()) return;
    auto job = new_job(JobKind::open);
    job->dump_path = std::exchange(restore_.path, std::string());
    job->cache_root = setup_.cache_root;
    pending_status_ = msg_text(outcome == JobOutcome::cancelled ? Msg::status_previous_after_cancel
                                                                : Msg::status_previous_after_failure);
    submit(std::move(job));
}

void MainWindow::take_page(BackgroundJob& job) {
    state_.page = std::move(job.page);
    state_.page_offset = state_.page ? state_.page->first_row : 0;
    refresh_views();
    const int row = std::exchange(pending_row_, -1);
    if (state_.page && row >= 0 && static_cast<std::uint32_t>(row) < state_.page->row_count) {
        grid_.select(row);
    } else if (state_.page && state_.page->row_count > 0) {
        grid_.select_first();
    }
    if (state_.dump) {
        set_status(pending_status_.empty() ? status_page_text(*state_.dump)
                                           : std::exchange(pending_status_, std::string()));
    }
}

void MainWindow::take_filter(BackgroundJob& job) {
    const std::string target = state_.dump ? cache_query_path(*state_.dump) : std::string();
    if (target.empty() || !file_replace(job.output_path, target)) {
        message_box(msg_text(Msg::filter_not_taken), MB_OK | MB_ICONERROR);
        return;
    }
    state_.filter_path = target;
    state_.filter = job.filter;
    state_.entry_total = job.rows;
    state_.page.reset();
    load_page(0);
}

// The hits move into "search.kvs"; their first page follows, and the status line counts them.
void MainWindow::take_search(BackgroundJob& job) {
    const std::string target = state_.dump ? cache_search_path(*state_.dump) : std::string();
    if (target.empty() || !file_replace(job.output_path, target)) {
        message_box(msg_text(Msg::search_not_taken), MB_OK | MB_ICONERROR);
        return;
    }
    state_.search_path = target;
    state_.search = job.filter;
    state_.search_hits = job.rows;
    state_.search_tables = job.search_tables;
    state_.entry_total = job.rows;
    state_.page.reset();
    pending_status_ = format_text(msg_text(Msg::status_search_done),
                                  search_count_text(job.rows, job.search_tables).c_str());
    if (job.search_skipped != 0) pending_status_ += " " + search_skipped_text(job.search_skipped);
    refresh_views();
    load_page(0);
}

}  // namespace kv
