// The seam of the desktop application's modal windows: message boxes and file dialogs pass
// through one record of function pointers, which the GUI tests replace so that no modal window
// can hold up a test run. Nothing else of the shell goes through it.
//
// Interface thread only. Paths of up to 32,767 UTF-16 units pass through the dialogs.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace kv {

struct UiSeams {
    int (*message_box)(HWND owner, const wchar_t* text, const wchar_t* title, UINT flags);
    // Open (save false) or save dialog; true with the chosen path and the 1-based number of
    // the file type chosen last in filter. A save dialog's default extension is that of
    // default_name.
    bool (*file_dialog)(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const std::wstring& default_name, std::wstring& chosen,
                        int& file_type);
    // A popup menu of items at the screen point at (greyed when not enabled): the chosen
    // item's index, -1 for none.
    int (*popup_menu)(HWND owner, const std::vector<std::wstring>& items, bool enabled, POINT at);
};
extern UiSeams ui_seams;

// A message box over owner (null before any window exists) under title, the program's title
// (Msg::app_title) when null; the box's answer.
int ui_message_box(HWND owner, const char* text, UINT flags, const char* title = nullptr);

// The open (save false) or save dialog over owner: the chosen path as UTF-8, empty when
// cancelled. An open dialog given a path as default_name starts in its folder. filter holds label and pattern pairs, each ended by a NUL, as the dialog reads it.
// file_type, when given, receives the 1-based number of the pair chosen.
std::string ui_file_dialog(HWND owner, bool save, const char* title, const std::wstring& filter,
                           const std::string& default_name, int* file_type = nullptr);

// A popup menu of UTF-8 items below the control below: the chosen index, -1 for none. An
// empty list shows the single greyed line empty_text.
int ui_popup_menu(HWND owner, HWND below, const std::vector<std::string>& items,
                  const char* empty_text);

}  // namespace kv
