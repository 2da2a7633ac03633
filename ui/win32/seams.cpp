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
                        const std::wstring& default_name, std::wstring& chosen, int& file_type) {
    std::wstring buffer(32768, L'\0');
    // An open dialog starts in the folder of a path given as its default name.
    const std::size_t slash = save ? std::wstring::npos : default_name.find_last_of(L"/\\");
    std::wstring folder = slash == std::wstring::npos ? L"" : default_name.substr(0, slash);
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    const std::wstring name =
        slash == std::wstring::npos ? default_name : default_name.substr(slash + 1);
    name.copy(buffer.data(), std::min<std::size_t>(name.size(), 32767));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = 32768;
    ofn.lpstrTitle = title;
    if (!folder.empty()) ofn.lpstrInitialDir = folder.c_str();
    // A save dialog appends the default name's extension ("csv", "sql") to a name without one.
    const std::size_t dot = default_name.find_last_of(L'.');
    const std::wstring extension = dot == std::wstring::npos ? L"" : default_name.substr(dot + 1);
    if (save && !extension.empty()) ofn.lpstrDefExt = extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!ok) return false;
    chosen.assign(buffer.c_str());
    file_type = static_cast<int>(ofn.nFilterIndex);
    return true;
}

int system_popup_menu(HWND owner, const std::vector<std::wstring>& items, bool enabled,
                      POINT at) {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), i + 1, items[i].c_str());
    }
    const int chosen = static_cast<int>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY, at.x, at.y, 0, owner,
        nullptr));
    DestroyMenu(menu);
    return chosen - 1;
}

}  // namespace

UiSeams ui_seams = {system_message_box, system_file_dialog, system_popup_menu};

int ui_message_box(HWND owner, const char* text, UINT flags, const char* title) {
    const char* shown_title = title != nullptr ? title : msg_text(Msg::app_title);
    return ui_seams.message_box(owner, ui_wide(text).c_str(), ui_wide(shown_title).c_str(), flags);
}

std::string ui_file_dialog(HWND owner, bool save, const char* title, const std::wstring& filter,
                           const std::string& default_name, int* file_type) {
    std::wstring chosen;
    int type = 1;
    if (!ui_seams.file_dialog(owner, save, ui_wide(title).c_str(), filter.c_str(),
                              ui_wide(default_name), chosen, type)) {
        return std::string();
    }
    if (file_type != nullptr) *file_type = type;
    return ui_narrow(chosen);
}

int ui_popup_menu(HWND owner, HWND below, const std::vector<std::string>& items,
                  const char* empty_text) {
    RECT r{};
    GetWindowRect(below, &r);
    std::vector<std::wstring> wide;
    for (const std::string& item : items) wide.push_back(ui_wide(item));
    if (wide.empty()) {
        ui_seams.popup_menu(owner, {ui_wide(empty_text)}, false, {r.left, r.bottom});
        return -1;
    }
    const int chosen = ui_seams.popup_menu(owner, wide, true, {r.left, r.bottom});
    return chosen >= 0 && static_cast<std::size_t>(chosen) < items.size() ? chosen : -1;
}

}  // namespace kv
