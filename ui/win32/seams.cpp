// The seam of message boxes and file dialogs, and the system's own (see seams.h).
#include "ui/win32/seams.h"

#include <commdlg.h>

#include <algorithm>

#include "foundation/messages.h"

#include "ui/win32/text_io.h"

namespace kv {

namespace {

int system_message_box(HWND owner, const wchar_t* text, const wchar_t* title, UINT flags) {
    return MessageBoxW(owner, text, title, flags);
}

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

UiSeams ui_seams = {system_message_box, system_file_dialog};

int ui_message_box(HWND owner, const char* text, UINT flags, const char* title) {
    const char* shown_title = title != nullptr ? title : msg_text(Msg::app_title);
    return ui_seams.message_box(owner, ui_wide(text).c_str(), ui_wide(shown_title).c_str(), flags);
}

std::string ui_file_dialog(HWND owner, bool save, const char* title, const std::wstring& filter,
                           const std::string& default_name) {
    std::wstring chosen;
    if (!ui_seams.file_dialog(owner, save, ui_wide(title).c_str(), filter.c_str(),
                              ui_wide(default_name), chosen)) {
        return std::string();
    }
    return ui_narrow(chosen);
}

}  // namespace kv
