// The text window (help text and record details): a read-only monospaced edit field of up to
// 4,194,304 characters, "Alles kopieren" and "Schließen". Its owner disables itself while the
// text window exists, so it acts as a modal window without a nested message loop; the owner's
// part of the message loop closes it on Escape.
//
// The window object owns its controls and their fonts and lives from WM_NCCREATE to
// WM_NCDESTROY (its pointer in GWLP_USERDATA). When the window goes it tells its owner with
// WM_TEXT_WINDOW_CLOSED, sent while its handle is still valid.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "ui/win32/fonts.h"
#include "ui/win32/window_object.h"

namespace kv {

inline constexpr wchar_t TEXT_CLASS[] = L"KorVaneDumpBrowser.Text";
// Sent to the owner by a closing text window; lParam is its handle.
inline constexpr UINT WM_TEXT_WINDOW_CLOSED = WM_APP + 3;

// Command numbers of the text window's controls.
inline constexpr int ID_TEXT_COPY = 1;
inline constexpr int ID_TEXT_CLOSE = 2;
inline constexpr int ID_TEXT_EDIT = 3;
inline constexpr int ID_TEXT_WRAP = 4;

class TextWindow {
public:
    // The window procedure of TEXT_CLASS.
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    // Creates the (hidden) text window over owner, placed by owner's position at dpi: its
    // handle, null on failure. The caller shows it.
    // wrap is the session's word wrap setting, which the window's "Zeilenumbruch" box shows
    // and changes; it outlives the window.
    static HWND create(HWND owner, int dpi, const std::string& title, const std::string& text,
                       bool* wrap);

private:
    TextWindow(HWND owner, int dpi, bool* wrap) : owner_(owner), dpi_(dpi), wrap_(wrap) {}

    template <typename T>
    friend T* window_object_of(HWND, UINT, LPARAM);
    template <typename T>
    friend LRESULT window_object_dispatch(T&, UINT, WPARAM, LPARAM);
    static const WindowHandler<TextWindow> HANDLERS[];

    LRESULT on_create(WPARAM, LPARAM);
    LRESULT on_size(WPARAM, LPARAM lparam);
    LRESULT on_command(WPARAM wparam, LPARAM);
    LRESULT on_destroy(WPARAM, LPARAM);
    HWND child(const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int id);

    HWND window_ = nullptr;
    HWND owner_;
    int dpi_;
    bool* wrap_;
    HWND wrap_box_ = nullptr;
    std::wstring text_;  // shown by WM_CREATE, then released
    FontSet fonts_;
    HWND edit_ = nullptr;
    HWND copy_ = nullptr;
    HWND close_ = nullptr;
};

}  // namespace kv
