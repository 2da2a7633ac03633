// Process start-up and the message loop of the desktop application (see app_start.h).
#include "ui/win32/app_start.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <utility>

#include "cache/dump_open.h"
#include "foundation/messages.h"
#include "resources/resource_ids.h"
#include "ui/win32/main_window.h"
#include "ui/win32/seams.h"
#include "ui/win32/text_io.h"
#include "ui/win32/text_window.h"

namespace kv {

namespace {

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

// The main and the text window's classes with the program icon and the background brush.
// Classes, icon and brush live as long as the process: a second start in one process (the
// tests) finds them registered.
bool register_classes(HINSTANCE instance) {
    static const HICON icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 64, 64, 0));
    static const HBRUSH background = CreateSolidBrush(
        ui_rgb(UI_COLOR_BACKGROUND));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    for (const auto& [name, proc] : {std::pair{MAIN_CLASS, &MainWindow::proc},
                                     std::pair{TEXT_CLASS, &TextWindow::proc}}) {
        wc.lpszClassName = name;
        wc.lpfnWndProc = proc;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    return true;
}

// Where the main window starts: on the primary monitor, sized for the system DPI (the
// monitor's own DPI arrives with WM_DPICHANGED should the window land elsewhere).
UiRect start_place() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const RECT w = GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)
                       ? monitor.rcWork
                       : RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return ui_start_window_rect(static_cast<int>(GetDpiForSystem()),
                                {w.left, w.top, w.right - w.left, w.bottom - w.top});
}

// Posts the command line's first argument to the main window as the dump to open.
void post_command_line_path(HWND main, const wchar_t* command_line) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(command_line, &argc);
    if (argv == nullptr) return;
    if (argc >= 2) {
        const std::string path = ui_narrow(argv[1]);
        if (!path.empty()) {
            char* copy = new char[path.size() + 1];
            std::memcpy(copy, path.c_str(), path.size() + 1);
            if (!PostMessageW(main, WM_OPEN_PATH, 0, reinterpret_cast<LPARAM>(copy))) {
                delete[] copy;
            }
        }
    }
    LocalFree(argv);
}

}  // namespace

int ui_start(const wchar_t* command_line, HWND& main) {
    main = nullptr;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&icc)) {
        ui_message_box(nullptr, msg_text(Msg::common_controls_failed), MB_OK | MB_ICONERROR);
        return 1;
    }
    const MainSetup setup{cache_root_path(), program_folder()};
    if (setup.program_folder.empty() || setup.cache_root.empty() ||
        !cache_root_ensure(setup.cache_root)) {
        ui_message_box(nullptr, msg_text(Msg::cache_root_failed), MB_OK | MB_ICONERROR);
        return 1;
    }
    if (!register_classes(instance)) return 2;

    const UiRect r = start_place();
    const HWND window = MainWindow::create(instance, setup, r);
    if (window == nullptr) return 3;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    post_command_line_path(window, command_line);
    main = window;
    return 0;
}

void ui_process_message(MSG& msg) {
    MainWindow* main = MainWindow::from(msg.hwnd);
    if (main != nullptr && main->pre_translate(msg)) return;
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

}  // namespace kv
