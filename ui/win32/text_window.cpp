// The text window (help text and record details: a read-only monospaced edit field of up to
// 4,194,304 characters, "Alles kopieren" and "Schließen") and the clipboard operation. While the
// text window exists the main window is disabled, so it acts as a modal window without a
// nested message loop; Escape anywhere in the thread closes it (see ui_process_message).
#include <cstring>
#include <new>

#include "ui/win32/app.h"

namespace kv {

namespace {

constexpr int ID_TEXT_COPY = 1;
constexpr int ID_TEXT_CLOSE = 2;
constexpr int ID_TEXT_EDIT = 3;

struct TextWindow {
    HWND edit = nullptr;
    HWND copy = nullptr;
    HWND close = nullptr;
};

struct TextCreate {
    const std::wstring* text;
};

TextWindow* record_of(HWND window) {
    return reinterpret_cast<TextWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int id) {
    return CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app().instance,
                           nullptr);
}

LRESULT on_text_create(HWND window, LPARAM lparam) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    const auto* args = static_cast<const TextCreate*>(create->lpCreateParams);
    auto* record = new (std::nothrow) TextWindow;
    if (record == nullptr) return -1;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    const AppState& a = app();
    record->edit = child(window, L"EDIT", L"",
                         ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                             WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
                         WS_EX_CLIENTEDGE, ID_TEXT_EDIT);
    SendMessageW(record->edit, WM_SETFONT, reinterpret_cast<WPARAM>(a.fonts[FONT_MONO]), FALSE);
    SendMessageW(record->edit, EM_LIMITTEXT, 4194304, 0);
    SetWindowTextW(record->edit, args != nullptr && args->text != nullptr ? args->text->c_str()
                                                                          : L"");
    record->copy = child(window, L"BUTTON", ui_wide("Alles kopieren").c_str(),
                         BS_PUSHBUTTON | WS_TABSTOP, 0, ID_TEXT_COPY);
    record->close = child(window, L"BUTTON", ui_wide("Schließen").c_str(),
                          BS_PUSHBUTTON | WS_TABSTOP, 0, ID_TEXT_CLOSE);
    for (HWND button : {record->copy, record->close}) {
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(a.fonts[FONT_UI]), FALSE);
    }
    return 0;
}

void on_text_size(HWND window, LPARAM lparam) {
    TextWindow* record = record_of(window);
    if (record == nullptr) return;
    const TextWindowLayout l = ui_text_window_layout(LOWORD(lparam), HIWORD(lparam), app().dpi);
    MoveWindow(record->edit, l.edit.x, l.edit.y, l.edit.width, l.edit.height, TRUE);
    MoveWindow(record->copy, l.copy.x, l.copy.y, l.copy.width, l.copy.height, TRUE);
    MoveWindow(record->close, l.close.x, l.close.y, l.close.width, l.close.height, TRUE);
}

void copy_all(HWND window) {
    TextWindow* record = record_of(window);
    if (record == nullptr) return;
    ui_copy_to_clipboard(ui_window_text(record->edit));
}

void on_text_destroy(HWND window) {
    delete record_of(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    AppState& a = app();
    a.text_window = nullptr;
    if (a.main != nullptr) {
        EnableWindow(a.main, TRUE);
        SetForegroundWindow(a.main);
    }
}

}  // namespace

LRESULT CALLBACK ui_text_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE: return on_text_create(window, lparam);
        case WM_SIZE: on_text_size(window, lparam); return 0;
        case WM_COMMAND:
            if (LOWORD(wparam) == ID_TEXT_COPY) copy_all(window);
            if (LOWORD(wparam) == ID_TEXT_CLOSE) DestroyWindow(window);
            return 0;
        case WM_DESTROY: on_text_destroy(window); return 0;
        default: return DefWindowProcW(window, message, wparam, lparam);
    }
}

void ui_show_text(const std::string& title, const std::string& text) {
    AppState& a = app();
    if (a.text_window != nullptr || a.main == nullptr) return;
    RECT main;
    GetWindowRect(a.main, &main);
    const UiRect r = ui_text_window_rect(main.left, main.top, a.dpi);
    const std::wstring wide = ui_wide(text);
    TextCreate args{&wide};
    a.text_window = CreateWindowExW(WS_EX_CONTROLPARENT, TEXT_CLASS, ui_wide(title).c_str(),
                                    WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, r.x, r.y, r.width,
                                    r.height, a.main, nullptr, a.instance, &args);
    if (a.text_window == nullptr) return;
    EnableWindow(a.main, FALSE);
    ShowWindow(a.text_window, SW_SHOWNORMAL);
    UpdateWindow(a.text_window);
}

void ui_copy_to_clipboard(const std::wstring& text) {
    if (!OpenClipboard(app().main)) return;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool handed_over = false;
    if (memory != nullptr) {
        if (void* p = GlobalLock(memory)) {
            std::memcpy(p, text.c_str(), bytes);
            GlobalUnlock(memory);
            EmptyClipboard();
            handed_over = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!handed_over) GlobalFree(memory);
    }
    CloseClipboard();
}

}  // namespace kv
