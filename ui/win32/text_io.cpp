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

}  // namespace kv
