// The text window (see text_window.h).
#include "ui/win32/text_window.h"

#include <memory>
#include <new>

#include "foundation/messages.h"
#include "ui/logic/window_layout.h"
#include "ui/win32/text_io.h"

namespace kv {

const WindowHandler<TextWindow> TextWindow::HANDLERS[] = {
    {WM_CREATE, &TextWindow::on_create},
    {WM_SIZE, &TextWindow::on_size},
    {WM_COMMAND, &TextWindow::on_command},
    {WM_DESTROY, &TextWindow::on_destroy},
};

HWND TextWindow::create(HWND owner, int dpi, const std::string& title, const std::string& text,
                        bool* wrap) {
    std::unique_ptr<TextWindow> self(new (std::nothrow) TextWindow(owner, dpi, wrap));
    if (!self) return nullptr;
    RECT main;
    GetWindowRect(owner, &main);
    const UiRect r = ui_text_window_rect(main.left, main.top, dpi);
    self->text_ = ui_wide(text);
    return window_object_create(std::move(self), WS_EX_CONTROLPARENT, TEXT_CLASS,
                                ui_wide(title).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                r.x, r.y, r.width, r.height, owner,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)));
}

LRESULT CALLBACK TextWindow::proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    TextWindow* self = window_object_of<TextWindow>(window, message, lparam);
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return window_object_dispatch(*self, message, wparam, lparam);
}

HWND TextWindow::child(const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int id) {
    return CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE)),
                           nullptr);
}

LRESULT TextWindow::on_create(WPARAM, LPARAM) {
    fonts_ = FontSet(dpi_);
    const DWORD no_wrap = *wrap_ ? 0 : ES_AUTOHSCROLL | WS_HSCROLL;
    edit_ = child(L"EDIT", L"", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL |
                                    WS_TABSTOP | no_wrap,
                  WS_EX_CLIENTEDGE, ID_TEXT_EDIT);
    SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(FONT_MONO)), FALSE);
    SendMessageW(edit_, EM_LIMITTEXT, 4194304, 0);
    SetWindowTextW(edit_, text_.c_str());
    std::wstring().swap(text_);  // the edit field holds it now
    copy_ = child(L"BUTTON", ui_wide(msg_text(Msg::button_copy_all)).c_str(),
                  BS_PUSHBUTTON | WS_TABSTOP, 0, ID_TEXT_COPY);
    close_ = child(L"BUTTON", ui_wide(msg_text(Msg::button_close)).c_str(),
                   BS_PUSHBUTTON | WS_TABSTOP, 0, ID_TEXT_CLOSE);
    wrap_box_ = child(L"BUTTON", ui_wide(msg_text(Msg::wrap_lines)).c_str(),
                      BS_AUTOCHECKBOX | WS_TABSTOP, 0, ID_TEXT_WRAP);
    CheckDlgButton(window_, ID_TEXT_WRAP, *wrap_ ? BST_CHECKED : BST_UNCHECKED);
    SetWindowPos(wrap_box_, copy_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (HWND button : {copy_, wrap_box_, close_}) {
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(FONT_UI)), FALSE);
    }
    return 0;
}

LRESULT TextWindow::on_size(WPARAM, LPARAM lparam) {
    const TextWindowLayout l = ui_text_window_layout(LOWORD(lparam), HIWORD(lparam), dpi_);
    MoveWindow(edit_, l.edit.x, l.edit.y, l.edit.width, l.edit.height, TRUE);
    MoveWindow(copy_, l.copy.x, l.copy.y, l.copy.width, l.copy.height, TRUE);
    MoveWindow(wrap_box_, l.wrap.x, l.wrap.y, l.wrap.width, l.wrap.height, TRUE);
    MoveWindow(close_, l.close.x, l.close.y, l.close.width, l.close.height, TRUE);
    return 0;
}

LRESULT TextWindow::on_command(WPARAM wparam, LPARAM) {
    if (LOWORD(wparam) == ID_TEXT_COPY) ui_copy_to_clipboard(owner_, ui_window_text(edit_));
    if (LOWORD(wparam) == ID_TEXT_CLOSE) DestroyWindow(window_);
    if (LOWORD(wparam) == ID_TEXT_WRAP) {
        *wrap_ = IsDlgButtonChecked(window_, ID_TEXT_WRAP) == BST_CHECKED;
        edit_ = ui_edit_rewrap(edit_, *wrap_);
    }
    return 0;
}

LRESULT TextWindow::on_destroy(WPARAM, LPARAM) {
    SendMessageW(owner_, WM_TEXT_WINDOW_CLOSED, 0, reinterpret_cast<LPARAM>(window_));
    return 0;
}

}  // namespace kv
