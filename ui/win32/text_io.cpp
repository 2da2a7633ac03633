// Texts between the core and the window functions (see text_io.h).
#include "ui/win32/text_io.h"

#include <cstring>

#include "foundation/text.h"

namespace kv {

std::wstring ui_wide(const std::string& utf8) {
    const std::u16string u = utf8_to_utf16(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string ui_narrow(const std::wstring& wide) {
    return utf16_to_utf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring ui_window_text(HWND window) {
    if (window == nullptr) return std::wstring();
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return text;
}

void ui_set_text(HWND window, const std::string& utf8) {
    if (window != nullptr) SetWindowTextW(window, ui_wide(utf8).c_str());
}

void ui_copy_to_clipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return;
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

HWND ui_edit_rewrap(HWND edit, bool wrap) {
    const DWORD scroll = ES_AUTOHSCROLL | WS_HSCROLL;
    const auto style = static_cast<DWORD>(GetWindowLongW(edit, GWL_STYLE));
    const DWORD wanted = wrap ? style & ~scroll : style | scroll;
    if (wanted == style) return edit;
    const HWND parent = GetParent(edit);
    RECT r;
    GetWindowRect(edit, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    const HWND fresh = CreateWindowExW(
        static_cast<DWORD>(GetWindowLongW(edit, GWL_EXSTYLE)), L"EDIT", L"", wanted, r.left,
        r.top, r.right - r.left, r.bottom - r.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(edit))),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(edit, GWLP_HINSTANCE)), nullptr);
    if (fresh == nullptr) return edit;
    SendMessageW(fresh, WM_SETFONT, SendMessageW(edit, WM_GETFONT, 0, 0), FALSE);
    SendMessageW(fresh, EM_LIMITTEXT, SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 0);
    SetWindowTextW(fresh, ui_window_text(edit).c_str());
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageW(fresh, EM_SETSEL, start, end);
    SendMessageW(fresh, EM_SCROLLCARET, 0, 0);
    SetWindowPos(fresh, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const bool focused = GetFocus() == edit;
    DestroyWindow(edit);
    if (focused) SetFocus(fresh);
    return fresh;
}

}  // namespace kv
