// Process start-up, the message loop with its keyboard rules, the status line and the seams of
// the desktop application (see app.h).
#include "ui/win32/app.h"
// Window headers after app.h, which includes windows.h first.
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "cache/dump_open.h"
#include "foundation/message.h"
#include "foundation/text.h"
#include "resources/resource_ids.h"

namespace kv {

namespace {

constexpr const char* MSG_COMMON_CONTROLS =
    "Windows Common Controls konnten nicht initialisiert werden.";
constexpr const char* MSG_CACHE_FOLDER =
    "Der Cache-Ordner kann nicht angelegt werden. Schreibrechte in LOCALAPPDATA prüfen.";

AppState g_app;

int system_message_box(HWND owner, const wchar_t* text, const wchar_t* title, UINT flags) {
    return MessageBoxW(owner, text, title, flags);
}

bool system_file_dialog(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const std::wstring& default_name, std::wstring& chosen);

// The folder of the program file, without the separator.
std::string program_folder() {
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), 32768);
    if (n == 0 || n >= 32768) return std::string();
    buffer.resize(n);
    std::string path = ui_narrow(buffer);
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(0, cut);
}

bool register_classes() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ui_main_proc;
    wc.hInstance = g_app.instance;
    wc.hIcon = g_app.icon;
    wc.hIconSm = g_app.icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = g_app.brushes[BRUSH_BACKGROUND];
    wc.lpszClassName = MAIN_CLASS;
    // A second start in one process (the tests) finds the class registered already.
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    wc.lpfnWndProc = ui_text_proc;
    wc.lpszClassName = TEXT_CLASS;
    RegisterClassExW(&wc);
    return true;
}

HBRUSH solid(UiColor c) { return CreateSolidBrush(RGB(c.r, c.g, c.b)); }

// Releases what an earlier start in this process left (fonts, brushes, images).
void release_resources() {
    for (HFONT& f : g_app.fonts) {
        if (f != nullptr) DeleteObject(f);
        f = nullptr;
    }
    for (HBRUSH& b : g_app.brushes) {
        if (b != nullptr) DeleteObject(b);
        b = nullptr;
    }
    if (g_app.icon != nullptr) DestroyIcon(g_app.icon);
    if (g_app.banner != nullptr) DeleteObject(g_app.banner);
    g_app.icon = nullptr;
    g_app.banner = nullptr;
}

bool key_down(int key) { return GetKeyState(key) < 0; }

// The application shortcuts; true when the key was consumed.
bool shortcut(const MSG& msg) {
    AppState& a = g_app;
    const bool ctrl = key_down(VK_CONTROL);
    const bool alt = key_down(VK_MENU);
    const WPARAM key = msg.wParam;
    if (key == VK_ESCAPE && a.busy) {
        if (a.running_job != nullptr) a.running_job->cancel.store(1, std::memory_order_relaxed);
        ui_update_controls();
        return true;
    }
    if (a.busy) return false;
    if (ctrl && key == 'O') {
        ui_command(ID_OPEN, BN_CLICKED);
        return true;
    }
    if (ctrl && key == 'F') {
        if (!a.dump || a.selected_object < 0) return false;
        a.current_tab = TAB_DATA;
        TabCtrl_SetCurSel(ui_control(ID_TABS), 0);
        ui_refresh_views();
        HWND value = ui_control(ID_FILTER_VALUE);
        SetFocus(value);
        SendMessageW(value, EM_SETSEL, 0, -1);
        return true;
    }
    if (ctrl && key == 'C' && GetFocus() == ui_control(ID_GRID) && GetFocus() != nullptr) {
        ui_copy_selected_row();  // consumed in every case
        return true;
    }
    if (key == VK_RETURN && GetFocus() != nullptr) {
        if (GetFocus() == ui_control(ID_FILTER_VALUE)) {
            ui_command(ID_FILTER, BN_CLICKED);
            return true;
        }
        if (GetFocus() == ui_control(ID_PAGE_NUMBER)) {
            ui_command(ID_GO, BN_CLICKED);
            return true;
        }
    }
    if (alt && key == VK_LEFT) {
        ui_command(ID_PREV_PAGE, BN_CLICKED);
        return true;
    }
    if (alt && key == VK_RIGHT) {
        ui_command(ID_NEXT_PAGE, BN_CLICKED);
        return true;
    }
    return false;
}

}  // namespace

UiSeams ui_seams = {system_message_box, system_file_dialog};

AppState& app() { return g_app; }

HWND ui_control(int id) {
    const int i = ui_control_index(id);
    return i < 0 ? nullptr : g_app.controls[static_cast<std::size_t>(i)];
}

std::wstring ui_wide(const std::string& utf8) {
    const std::u16string u = utf8_to_utf16(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string ui_narrow(const std::wstring& wide) {
    return utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
}

int ui_message(const char* text, UINT flags) {
    return ui_seams.message_box(g_app.main, ui_wide(text).c_str(), ui_wide(APP_TITLE).c_str(),
                                flags);
}

void ui_set_status(const std::string& text) {
    std::string& s = g_app.status;
    s.assign(text, 0, std::min(text.size(), STATUS_MAX));
    if (g_app.main != nullptr) InvalidateRect(g_app.main, nullptr, FALSE);
}

int ui_start(const wchar_t* command_line) {
    release_resources();
    g_app = AppState();
    g_app.instance = GetModuleHandleW(nullptr);

    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&icc)) {
        ui_message(MSG_COMMON_CONTROLS, MB_OK | MB_ICONERROR);
        return 1;
    }
    g_app.program_folder = program_folder();
    g_app.cache_root = cache_root_path();
    if (g_app.program_folder.empty() || g_app.cache_root.empty() ||
        !cache_root_ensure(g_app.cache_root)) {
        ui_message(MSG_CACHE_FOLDER, MB_OK | MB_ICONERROR);
        return 1;
    }

    g_app.brushes = {solid(UI_COLOR_WHITE), solid(UI_COLOR_BACKGROUND), solid(UI_COLOR_LINE)};
    g_app.icon = static_cast<HICON>(
        LoadImageW(g_app.instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 64, 64, 0));
    g_app.banner = static_cast<HBITMAP>(LoadImageW(g_app.instance, MAKEINTRESOURCEW(IDB_BANNER),
                                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!register_classes()) return 2;
    ui_set_status(STATUS_READY);

    const UiRect r =
        ui_start_window_rect(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const HWND window = CreateWindowExW(
        WS_EX_CONTROLPARENT, MAIN_CLASS, ui_wide(APP_TITLE).c_str(),
        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, r.x, r.y, r.width, r.height, nullptr, nullptr,
        g_app.instance, nullptr);
    if (window == nullptr) return 3;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(command_line, &argc);
    if (argv != nullptr) {
        if (argc >= 2) {
            const std::string path = ui_narrow(argv[1]);
            if (!path.empty()) {
                char* copy = new char[path.size() + 1];
                std::memcpy(copy, path.c_str(), path.size() + 1);
                if (!PostMessageW(window, WM_OPEN_PATH, 0, reinterpret_cast<LPARAM>(copy))) {
                    delete[] copy;
                }
            }
        }
        LocalFree(argv);
    }
    return 0;
}

void ui_process_message(MSG& msg) {
    AppState& a = g_app;
    if (a.text_window != nullptr) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            DestroyWindow(a.text_window);
            return;
        }
        if (IsDialogMessageW(a.text_window, &msg)) return;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        return;
    }
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && shortcut(msg)) return;
    if (a.main != nullptr && IsDialogMessageW(a.main, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int ui_message_loop() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return 0;
        if (got < 0) return 1;
        ui_process_message(msg);
    }
}

namespace {

bool system_file_dialog(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const std::wstring& default_name, std::wstring& chosen) {
    std::wstring buffer(32768, L'\0');
    const std::size_t n = std::min<std::size_t>(default_name.size(), 32767);
    default_name.copy(buffer.data(), n);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = 32768;
    ofn.lpstrTitle = title;
    // A save dialog appends the default name's extension ("csv", "sql") to a name without one.
    const std::size_t dot = default_name.find_last_of(L'.');
    const std::wstring extension = dot == std::wstring::npos ? L"" : default_name.substr(dot + 1);
    if (save && !extension.empty()) ofn.lpstrDefExt = extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return false;
    chosen.assign(buffer.c_str());
    return true;
}

}  // namespace

}  // namespace kv
