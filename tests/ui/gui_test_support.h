// Helpers of the in-process GUI tests (Windows only): a fixture that starts the real main
// window with a private cache folder and closes it again, message pumping through the
// program's own message handling, the message box seam as a recorder, and small readers of
// control texts, the clipboard and window places; plus a child program with a time limit.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "ui/win32/app.h"

namespace kv::test {

// Handles the thread's messages for ms milliseconds (at least one pass); true when the quit
// message came.
inline bool pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return true;
            ui_process_message(msg);
        }
        Sleep(5);
    } while (GetTickCount64() < end);
    return false;
}

inline std::string window_text(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
    return ui_narrow(text);
}

inline std::vector<std::string> combo_items(HWND box) {
    std::vector<std::string> out;
    const LRESULT n = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        std::wstring item(static_cast<std::size_t>(SendMessageW(box, CB_GETLBTEXTLEN, i, 0)) + 1,
                          L'\0');
        SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        out.push_back(ui_narrow(item.c_str()));
    }
    return out;
}

inline std::wstring clipboard_text() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// Sets an environment variable for the scope (restores the old value).
class EnvOverride {
public:
    EnvOverride(const char* name, const std::string& value) : name_(ui_wide(name)) {
        wchar_t old[32768];
        const DWORD n = GetEnvironmentVariableW(name_.c_str(), old, 32768);
        had_ = n > 0 && n < 32768;
        if (had_) old_ = old;
        SetEnvironmentVariableW(name_.c_str(), ui_wide(value).c_str());
    }
    ~EnvOverride() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

// Replaces the message box seam for the scope: records each box and answers `answer`.
struct MessageLog {
    std::vector<std::string> texts;
    std::vector<UINT> flags;
    int answer = IDYES;
    // Runs while the box is "shown": a real box handles the thread's messages meanwhile.
    void (*while_shown)() = nullptr;
    MessageLog() : saved_(ui_seams.message_box) {
        current() = this;
        ui_seams.message_box = record;
    }
    ~MessageLog() {
        ui_seams.message_box = saved_;
        current() = nullptr;
    }

private:
    static MessageLog*& current() {
        static MessageLog* log = nullptr;
        return log;
    }
    static int record(HWND, const wchar_t* text, const wchar_t*, UINT f) {
        MessageLog* log = current();
        log->texts.push_back(ui_narrow(text));
        log->flags.push_back(f);
        if (log->while_shown != nullptr) log->while_shown();
        return log->answer;
    }
    decltype(UiSeams::message_box) saved_;
};

inline std::string program_folder() {
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    std::string p = ui_narrow(std::wstring(path, n));
    const std::size_t cut = p.find_last_of("/\\");
    return cut == std::string::npos ? p : p.substr(0, cut);
}

// A child program with its arguments; ended by force if it outlives the test.
class Program {
public:
    Program(const std::string& exe, const std::vector<std::string>& args) {
        std::wstring line = L"\"" + ui_wide(exe) + L"\"";
        for (const std::string& a : args) line += L" \"" + ui_wide(a) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &pi_) != FALSE;
    }
    ~Program() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool started() const { return started_; }
    DWORD id() const { return pi_.dwProcessId; }
    // Exit code, or -1 when it did not end within ms.
    int wait(DWORD ms) {
        if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

// The top-level window of class cls that process pid shows, waiting up to ms.
inline HWND wait_for_window(DWORD pid, const wchar_t* cls, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    do {
        for (HWND w = FindWindowExW(nullptr, nullptr, cls, nullptr); w != nullptr;
             w = FindWindowExW(nullptr, w, cls, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid && IsWindowVisible(w)) return w;
        }
        Sleep(50);
    } while (GetTickCount64() < end);
    return nullptr;
}

// The main window's client area set to width × height.
inline void set_client_size(int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(app().main, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(app().main, GWL_EXSTYLE)));
    SetWindowPos(app().main, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    pump(50);
}

// Every control where ui_main_layout puts it for the current client size (drop-down boxes:
// place and width; their window is the closed box).
inline void expect_layout(int dpi) {
    RECT client;
    GetClientRect(app().main, &client);
    SCOPED_TRACE(std::to_string(client.right) + " x " + std::to_string(client.bottom) + " at " +
                 std::to_string(dpi));
    const MainLayout layout = ui_main_layout(client.right, client.bottom, dpi);
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const int id = CONTROL_ORDER[static_cast<std::size_t>(i)];
        RECT r;
        GetWindowRect(ui_control(id), &r);
        MapWindowPoints(nullptr, app().main, reinterpret_cast<POINT*>(&r), 2);
        const UiRect want = layout.rects[static_cast<std::size_t>(i)];
        EXPECT_EQ(r.left, want.x) << id;
        EXPECT_EQ(r.top, want.y) << id;
        EXPECT_EQ(r.right - r.left, want.width) << id;
        const bool combo = id == ID_CHARSET || id == ID_FILTER_COLUMN || id == ID_FILTER_OP;
        if (!combo) {
            EXPECT_EQ(r.bottom - r.top, want.height) << id;
        }
    }
    const bool details = (GetWindowLongW(ui_control(ID_DETAILS), GWL_STYLE) & WS_VISIBLE) != 0;
    EXPECT_EQ(details, layout.details_visible);
}

// Writes what the screen shows in the main window's rectangle (with the text window over it
// when one is open) as a 24-bit BMP. Read through Wine's own screen DC, which holds every
// window's pixels, since Wine on a virtual display leaves every top-level window but the
// first black on the X screen itself.
inline bool save_screen_bmp(const std::string& path) {
    RECT frame;
    GetWindowRect(app().main, &frame);
    const int w = frame.right - frame.left;
    const int h = frame.bottom - frame.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, canvas);
    BitBlt(dc, 0, 0, w, h, screen, frame.left, frame.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    bytes.append(static_cast<const char*>(bits), stride * static_cast<DWORD>(h));
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    write_file(path, bytes);
    return true;
}

// The real main window, started with a private cache folder and message boxes recorded.
class GuiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ui_start(L"korvane-dump-browser.exe"), 0);
        ASSERT_NE(app().main, nullptr);
        pump(50);
    }
    void TearDown() override {
        if (app().text_window != nullptr) DestroyWindow(app().text_window);
        if (app().main == nullptr) return;  // closed by the test
        DestroyWindow(app().main);
        EXPECT_TRUE(pump(5000)) << "no quit message after the main window was destroyed";
    }
    TempDir cache_;
    EnvOverride local_{"LOCALAPPDATA", cache_.str()};
    MessageLog messages_;
};

}  // namespace kv::test
