// The main window as one object: it owns what the window shows and works on (the open dump
// with its cache lock, the page, the filter result, the hand-over of the running job, the
// status line), its controls, fonts and images, and its table of message handlers. The object
// lives from WM_NCCREATE to WM_NCDESTROY; its pointer is the window's GWLP_USERDATA, and
// MainWindow::from finds it from any window of it.
//
// Everything here runs on the interface thread; the worker sees only the BackgroundJob it was
// given. Layout, texts, columns, colours and control states come from ui/logic. Sizes: one
// dump of up to 65,536 schema objects at a time, a page of 100 rows, a status line of 2,047
// bytes, one job at a time.
//
// The member functions are defined in main_window.cpp (creation, messages, jobs),
// commands.cpp (commands and keyboard shortcuts) and views.cpp (what the views show).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/dump_state.h"
#include "foundation/file.h"
#include "jobs/job.h"
#include "records/display_text.h"
#include "ui/logic/control_states.h"
#include "ui/logic/job_end.h"
#include "ui/logic/window_layout.h"
#include "ui/win32/controls.h"
#include "ui/win32/fonts.h"
#include "ui/win32/paint.h"
#include "ui/win32/views.h"
#include "ui/win32/window_object.h"

namespace kv {

inline constexpr wchar_t MAIN_CLASS[] = L"KorVaneDumpBrowser.Main";
// Posted by the worker's completion: lParam is the finished BackgroundJob, now the window's.
inline constexpr UINT WM_JOB_FINISHED = WM_APP + 1;
// Posted with a dump to open: lParam is a UTF-8 path from new char[], now the window's.
inline constexpr UINT WM_OPEN_PATH = WM_APP + 2;

// What the main window shows and works on.
struct MainState {
    std::unique_ptr<DumpState> dump;
    FileGuard lock;                        // "session.lock" of the open dump
    std::unique_ptr<PageData> page;        // the page on the "Daten" tab
    BackgroundJob* running_job = nullptr;  // owned by its worker until WM_JOB_FINISHED
    bool busy = false;
    bool close_after_job = false;
    int selected_object = -1;
    int current_tab = TAB_DATA;
    std::uint64_t page_offset = 0;
    std::uint64_t entry_total = 0;  // entries of the view: the table's, or the filter hits
    std::string filter_path;        // "query.kvi" of the active filter; empty when none
    FilterRequest filter;           // the active filter's request, for an SQL script's header
    // The tree's root is selected: the grid lists the hits of a search over the whole dump.
    bool search_view = false;
    std::string search_path;        // "search.kvs" of the search shown; empty when none
    FilterRequest search;           // its operator and text, for the filter bar
    std::uint64_t search_hits = 0;
    std::uint32_t search_tables = 0;
    std::string status;
    Charset charset = CHARSET_UTF8;
};

// Where the window finds its files: the cache root and the program's folder (for the demo).
struct MainSetup {
    std::string cache_root;
    std::string program_folder;
};

class MainWindow {
public:
    // The window procedure of MAIN_CLASS.
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    // Creates the (hidden) main window at place; null on failure.
    static HWND create(HINSTANCE instance, const MainSetup& setup, const UiRect& place);
    // The object of the main window that window is, or is a control of, or owns as a text
    // window; null for any other window.
    static MainWindow* from(HWND window);

    HWND hwnd() const { return window_; }
    const MainState& state() const { return state_; }
    // The control with command number id (null when unknown or not made).
    HWND control(int id) const { return controls_.of(id); }
    // What the layout takes from the fonts and the splitters.
    const LayoutMeasures& measures() const { return measures_; }
    // The open text window, null for none.
    HWND text_window() const { return text_window_; }

    // The window's part of the message loop before dispatch: Escape and dialog navigation of
    // the text window while one is open, else the keyboard shortcuts and the main window's
    // dialog navigation. True when msg has been handled.
    bool pre_translate(MSG& msg);
    // A command by command number and notification code, as buttons, boxes and keys send it.
    // While a job runs every command but "Abbrechen" is ignored.
    void command(int id, int notification);
    // Selects schema object n as the tree does (ignored while busy and for the selected one)
    // and shows its page from first_entry on.
    void select_object(int n, std::uint64_t first_entry = 0);
    // Opens the text window unless one is open (then the text is dropped).
    void show_text(const std::string& title, const std::string& text);
    // Word wrap of the text view and of text windows, one setting for the session.
    void set_wrap(bool wrap);

private:
    explicit MainWindow(const MainSetup& setup);

    template <typename T>
    friend T* window_object_of(HWND, UINT, LPARAM);
    template <typename T>
    friend LRESULT window_object_dispatch(T&, UINT, WPARAM, LPARAM);
    static const WindowHandler<MainWindow> HANDLERS[];
    static constexpr int PENDING_ROOT = -2;  // pending_object_: the tree's root

    // Message handlers (main_window.cpp).
    LRESULT on_create(WPARAM, LPARAM lparam);
    LRESULT on_size(WPARAM, LPARAM);
    LRESULT on_dpi_changed(WPARAM wparam, LPARAM lparam);
    LRESULT on_min_max(WPARAM, LPARAM lparam);
    LRESULT on_activate(WPARAM wparam, LPARAM);
    LRESULT on_erase(WPARAM, LPARAM);
    LRESULT on_paint(WPARAM, LPARAM);
    LRESULT on_draw_item(WPARAM, LPARAM lparam);
    LRESULT on_control_color(WPARAM wparam, LPARAM);
    LRESULT on_command(WPARAM wparam, LPARAM);
    LRESULT on_notify(WPARAM wparam, LPARAM lparam);
    LRESULT on_timer(WPARAM wparam, LPARAM);
    LRESULT on_drop(WPARAM wparam, LPARAM);
    LRESULT on_job_finished(WPARAM, LPARAM lparam);
    LRESULT on_open_path(WPARAM, LPARAM lparam);
    LRESULT on_text_window_closed(WPARAM, LPARAM);
    LRESULT on_set_cursor(WPARAM wparam, LPARAM lparam);
    LRESULT on_button_down(WPARAM, LPARAM lparam);
    LRESULT on_mouse_move(WPARAM, LPARAM lparam);
    LRESULT on_button_up(WPARAM, LPARAM);
    LRESULT on_capture_changed(WPARAM, LPARAM);
    LRESULT on_close(WPARAM, LPARAM);
    LRESULT on_destroy(WPARAM, LPARAM);

    // Notifications of the grid, the tree and the tabs (main_window.cpp).
    void on_grid_selection(const NMLISTVIEW& change);
    void on_grid_double_click();
    void on_tree_selection(const NMTREEVIEWW& change);
    void on_tab_change();

    // The window's frame: layout, control states, status line, boxes (main_window.cpp).
    void layout();
    // The splitters: a drag to client x, or a keyboard step (+1 wider, -1 narrower).
    void splitter_drag(Splitter splitter, int x);
    void splitter_step(Splitter splitter, int direction);
    bool details_visible() const;
    UiConditions conditions() const;
    void update_controls();
    void set_status(const std::string& text);
    int message_box(const char* text, UINT flags) const;

    // The keyboard focus across jobs and text windows (main_window.cpp): a job disables the
    // focused control, which loses the focus; the control is remembered when a job starts or
    // the window is deactivated, and gets the focus back when the last job has ended or the
    // window is active again, unless the user has put the focus elsewhere meanwhile.
    void remember_focus();
    void focus_back();

    // Jobs: a request with the common fields, its start, and the takeover of its end
    // (main_window.cpp).
    std::unique_ptr<BackgroundJob> new_job(JobKind kind) const;
    void submit(std::unique_ptr<BackgroundJob> job);
    void show_busy();
    void refresh_search_view();
    void cancel_job();
    void job_ended(const JobEnd& end);
    void take_open(BackgroundJob& job);
    void take_page(BackgroundJob& job);
    void take_filter(BackgroundJob& job);
    void take_search(BackgroundJob& job);
    void reopen_previous(JobOutcome outcome);

    // Commands (commands.cpp). Keys beyond the dialog navigation: Ctrl+O, Ctrl+F, Ctrl+C in
    // the grid, Enter and Space on a grid row (its details), Enter in the filter and page
    // fields, Alt+Left and Alt+Right (pages), Escape (cancel).
    bool shortcut(const MSG& msg);
    void open_dump(const std::string& path, bool new_index);
    void open_dialog();
    void recent_menu();
    void export_csv();
    void extract_sql(const std::string& path);
    void save_tuple();
    void reindex();
    void start_filter();
    void reset_filter();
    void start_search();
    void reset_search();
    void jump_to_hit();
    void go_to_page();
    void switch_charset();
    void copy_selected_row();
    void open_details();

    // Views (views.cpp).
    const SchemaObject* selected_object() const;
    bool data_view() const;
    bool search_grid() const;  // the search view's "Daten" tab
    int selected_row() const;
    GridSource grid_source() const;
    void refresh_views();
    void details_update(std::uint32_t row);
    void tree_rebuild();
    void load_page(std::uint64_t first_entry);
    void close_dump();
    void drop_filter();
    void select_search();
    void drop_search();
    void filter_bar_mode(bool search);

    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    const MainSetup setup_;
    MainState state_;
    int dpi_ = 96;
    FontSet fonts_;
    ProgramImages images_;
    SolidBrush control_brush_;  // behind edit fields, lists and static texts
    MainControls controls_;
    LayoutMeasures measures_;  // splitter widths for the session; captions of the fonts
    Splitter dragging_ = Splitter::none;
    GridView grid_;
    TreeFill tree_;
    bool tree_filling_ = false;  // tree selection changes come from a rebuild
    HWND text_window_ = nullptr;
    HWND focus_ = nullptr;  // the control to give the focus back to; null for none
    // The dump that was open before the running open job (path "" for none) and its shown
    // object: opened again when that job fails or is cancelled.
    struct {
        std::string path;
        int object = -1;
    } restore_;
    std::vector<std::string> recent_;  // the dumps opened last, newest first
    bool busy_shown_ = false;  // the running job shows the busy state
    // The tree's selection, changed by the user while a short job ran (the tree stays enabled
    // until the busy state shows): selected when the job has ended; -1 for none.
    int pending_object_ = -1;  // PENDING_ROOT: the tree's root
    // After the page of a search hit's table: the hit's row on it, selected; -1 for none.
    int pending_row_ = -1;
    bool tree_selection_ = false;
    bool pending_tree_ = false;  // the tree filter changed during a short job  // select_object is called for the tree's selection change
    bool wrap_ = true;            // word wrap in text fields; the text window changes it too
    std::string pending_status_;  // the status line once the next page is shown; "" for none
};

}  // namespace kv
