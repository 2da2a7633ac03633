// The desktop application's shell: the one application state record of the interface thread,
// the seams through which message boxes and file dialogs pass (tests replace them, so that no
// modal window can hang a test run), and the operations the window procedures share.
//
// Everything here runs on the interface thread only; the worker sees only the BackgroundJob it
// was given. Window handles belong to the window system; the record owns the open dump, the
// cache lock handle, the page, fonts and brushes. Layout, texts and states come from ui/logic.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/file.h"
#include "jobs/job.h"
#include "records/display_text.h"
#include "ui/logic/control_states.h"
#include "ui/logic/paint_plan.h"
#include "ui/logic/window_layout.h"

namespace kv {

inline constexpr UINT WM_JOB_FINISHED = WM_APP + 1;
inline constexpr UINT WM_OPEN_PATH = WM_APP + 2;  // lParam: a UTF-8 path from new char[]
inline constexpr UINT_PTR PROGRESS_TIMER = 1;
inline constexpr UINT PROGRESS_TIMER_MS = 150;
inline constexpr wchar_t MAIN_CLASS[] = L"KorVaneDumpBrowser.Main";
inline constexpr wchar_t TEXT_CLASS[] = L"KorVaneDumpBrowser.Text";
inline constexpr const char* APP_TITLE = "Kor-Vane Dump Browser";
inline constexpr const char* STATUS_READY =
    "Bereit · .sql-Datei öffnen oder ins Fenster ziehen · Keine MySQL-Installation nötig";
inline constexpr std::size_t STATUS_MAX = 2047;
inline constexpr std::size_t DISPLAY_TEXT_UNITS = 16384;

enum BrushIndex : int { BRUSH_WHITE, BRUSH_BACKGROUND, BRUSH_LINE, BRUSH_COUNT };

struct AppState {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    std::array<HWND, CONTROL_COUNT> controls{};  // by position in CONTROL_ORDER
    std::vector<HWND> buttons;                   // push buttons in creation order (at most 32)
    int dpi = 96;
    bool busy = false;
    int selected_object = -1;
    int current_tab = TAB_DATA;
    int grid_columns = 0;
    bool tree_filling = false;
    bool close_after_job = false;
    std::uint64_t page_offset = 0;
    std::uint64_t entry_total = 0;
    std::unique_ptr<DumpState> dump;
    FileHandle lock = INVALID_FILE;
    std::unique_ptr<PageData> page;
    BackgroundJob* running_job = nullptr;
    std::string cache_root;
    std::string program_folder;
    std::string filter_path;  // "query.kvi" of the active filter; empty when none
    std::string status;
    Charset charset = CHARSET_UTF8;
    std::array<HFONT, FONT_COUNT> fonts{};
    std::array<HBRUSH, BRUSH_COUNT> brushes{};
    HICON icon = nullptr;
    HBITMAP banner = nullptr;
    HIMAGELIST tree_images = nullptr;
    HWND text_window = nullptr;
    std::array<wchar_t, DISPLAY_TEXT_UNITS> display_text{};
};

// The application state of this process.
AppState& app();
// The control with command number id (null when it was not created).
HWND ui_control(int id);

// Message boxes and file dialogs go through these pointers; tests replace them.
struct UiSeams {
    int (*message_box)(HWND owner, const wchar_t* text, const wchar_t* title, UINT flags);
    // Open (save false) or save dialog; true with the chosen path. A save dialog's default
    // extension is that of default_name.
    bool (*file_dialog)(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const std::wstring& default_name, std::wstring& chosen);
};
extern UiSeams ui_seams;

// A message box with the program's title; returns the box's answer.
int ui_message(const char* text, UINT flags);

// Start-up up to the visible main window with the command-line path posted: 0 when the
// window is up, else the process exit code (1 common controls or cache folder, 2 window class,
// 3 main window).
int ui_start(const wchar_t* command_line);
// Handles one message of the thread as the message loop does (text window, shortcuts,
// dialog navigation, dispatch).
void ui_process_message(MSG& msg);
// Runs the message loop until the quit message; returns the exit code.
int ui_message_loop();

void ui_set_status(const std::string& text);
void ui_create_fonts();
void ui_layout();
void ui_refresh_views();
void ui_update_controls();
UiConditions ui_conditions();

// Handlers of the main window that the commands and views provide.
LRESULT ui_on_notify(HWND window, WPARAM wparam, LPARAM lparam);
LRESULT ui_on_timer(HWND window, WPARAM wparam, LPARAM lparam);
LRESULT ui_on_drop(HWND window, WPARAM wparam, LPARAM lparam);
LRESULT ui_on_job_finished(HWND window, WPARAM wparam, LPARAM lparam);
// Closes the open dump: grid emptied, page freed, filter result deleted, lock released.
void ui_close_dump();
// Whether the client area is wide enough for the details column.
bool ui_details_visible();

// Window procedures.
LRESULT CALLBACK ui_main_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ui_text_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Controls of the main window, created from one table in Tab order.
void ui_create_controls();

// Painting: the main window's frame, the owner-drawn buttons, control colours.
void ui_paint(HWND window);
void ui_draw_button(const DRAWITEMSTRUCT& item);

// The text window: opens unless one is open (then the text is dropped).
void ui_show_text(const std::string& title, const std::string& text);
// Puts the text on the clipboard as Unicode text; nothing is reported on failure.
void ui_copy_to_clipboard(const std::wstring& text);

// Commands (buttons, boxes, keyboard) by command number and notification code.
void ui_command(int id, int notification);
// Opens a dump as the open dialog would (the path is UTF-8): closes the current one, empties
// the tree and starts the open job.
void ui_open_dump(const std::string& path, bool new_index);
// Ctrl+C in the grid: the selected row of the "Daten" page as tab-separated text.
void ui_copy_selected_row();
// A window's text (empty for none), and a control's text as UTF-8.
std::wstring ui_window_text(HWND window);
std::string ui_get_text(int id);

// Jobs from the interface: a request with the common fields (type, dump, object, character
// set), and its start (busy, progress bar, status line). The finished job comes back as
// WM_JOB_FINISHED.
std::unique_ptr<BackgroundJob> ui_new_job(JobKind type);
void ui_submit(std::unique_ptr<BackgroundJob> job);
void ui_submit_details(const IndexEntry& entry);

// Views: selecting an object, loading a page (beyond the end: the last page), the details
// pane for a row of the page (DETAILS_NO_ROW for none), the tree, dropping the filter.
void ui_select_object(int n);
// The selected schema object (null for none), and the grid's selected row on the page of the
// "Daten" tab of a table (-1 for none).
const SchemaObject* ui_selected_object();
int ui_selected_row();
void ui_load_page(std::uint64_t first_entry);
void ui_details_update(std::uint32_t row);
void ui_tree_rebuild();
void ui_drop_filter();

// UTF-8 and UTF-16 for the window functions (wchar_t is 16 bits on Windows).
std::wstring ui_wide(const std::string& utf8);
std::string ui_narrow(const std::wstring& wide);

}  // namespace kv
