// Texts between the core and the window functions: UTF-8 and UTF-16 (wchar_t is 16 bits on
// Windows), the text of a window, and Unicode text on the clipboard. Texts of any length the
// controls hold (up to the text window's 4,194,304 characters) pass whole.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace kv {

std::wstring ui_wide(const std::string& utf8);
std::string ui_narrow(const std::wstring& wide);

// A window's text; empty for none and for a null window.
std::wstring ui_window_text(HWND window);
// Sets a window's text from UTF-8; nothing for a null window.
void ui_set_text(HWND window, const std::string& utf8);

// Puts the text on the clipboard as Unicode text, owner opening it; nothing is reported on
// failure.
void ui_copy_to_clipboard(HWND owner, const std::wstring& text);

// A multi-line edit field with word wrap on or off: the field is made anew (an edit field
// cannot change its wrap once made) with the same parent, id, place, Tab position, font,
// limit, text and caret, and the old one destroyed; the focus moves along. Returns the field
// to use from now on: edit itself when nothing changes or the new field cannot be made.
HWND ui_edit_rewrap(HWND edit, bool wrap);

}  // namespace kv
