// The main window's controls: one table in creation (= Tab) order with class, style and first
// content, and the settings each kind needs (fonts, limits, cue banners, colours, themes, the
// tree's images). Created at 10 × 10 and placed by ui_layout.
#include "ui/win32/app.h"

#include <uxtheme.h>

#include "resources/resource_ids.h"

namespace kv {

namespace {

enum ControlKind { BUTTON, COMBO, EDIT, TREE, STATIC_TEXT, TABS, LIST, PROGRESS };

struct ControlDef {
    int id;
    ControlKind kind;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    const char* text;
};

constexpr DWORD BUTTON_STYLE = BS_OWNERDRAW | WS_TABSTOP;
constexpr DWORD LIST_BOX_STYLE = CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_TABSTOP;
constexpr DWORD FIELD_STYLE = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;

const ControlDef CONTROL_DEFS[CONTROL_COUNT] = {
    {ID_OPEN, BUTTON, BUTTON_STYLE, "Dump öffnen …"},
    {ID_DEMO, BUTTON, BUTTON_STYLE, "Demo laden"},
    {ID_EXPORT, BUTTON, BUTTON_STYLE, "CSV exportieren"},
    {ID_TUPLE, BUTTON, BUTTON_STYLE, "SQL-Tupel …"},
    {ID_REINDEX, BUTTON, BUTTON_STYLE, "Neu indexieren"},
    {ID_CACHE, BUTTON, BUTTON_STYLE, "Cache"},
    {ID_HELP, BUTTON, BUTTON_STYLE, "Hilfe"},
    {ID_CHARSET, COMBO, LIST_BOX_STYLE | WS_VSCROLL, ""},
    {ID_TREE_FILTER, EDIT, FIELD_STYLE, ""},
    {ID_TREE, TREE,
     TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP, ""},
    {ID_BREADCRUMB, STATIC_TEXT, 0, ""},
    {ID_TABS, TABS, WS_TABSTOP, ""},
    {ID_FILTER_COLUMN, COMBO, LIST_BOX_STYLE | WS_VSCROLL, ""},
    {ID_FILTER_OP, COMBO, LIST_BOX_STYLE, ""},
    {ID_FILTER_VALUE, EDIT, FIELD_STYLE, ""},
    {ID_FILTER, BUTTON, BUTTON_STYLE, "Filtern"},
    {ID_RESET, BUTTON, BUTTON_STYLE, "Reset"},
    {ID_INFO, STATIC_TEXT, 0, ""},
    {ID_GRID, LIST,
     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA | WS_BORDER | WS_TABSTOP,
     ""},
    {ID_TEXT_VIEW, EDIT,
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL |
         WS_BORDER | WS_TABSTOP,
     ""},
    {ID_FIRST_PAGE, BUTTON, BUTTON_STYLE, "«"},
    {ID_PREV_PAGE, BUTTON, BUTTON_STYLE, "‹"},
    {ID_PAGE_NUMBER, EDIT, ES_NUMBER | FIELD_STYLE, "1"},
    {ID_GO, BUTTON, BUTTON_STYLE, "Los"},
    {ID_NEXT_PAGE, BUTTON, BUTTON_STYLE, "›"},
    {ID_LAST_PAGE, BUTTON, BUTTON_STYLE, "»"},
    {ID_PAGE_LABEL, STATIC_TEXT, 0, ""},
    {ID_DETAILS_CAPTION, STATIC_TEXT, 0, ""},
    {ID_DETAILS, EDIT, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, ""},
    {ID_PROGRESS, PROGRESS, 0, ""},
    {ID_CANCEL, BUTTON, BUTTON_STYLE, "Abbrechen"},
};

const wchar_t* class_of(ControlKind kind) {
    switch (kind) {
        case BUTTON: return L"BUTTON";
        case COMBO: return L"COMBOBOX";
        case EDIT: return L"EDIT";
        case TREE: return WC_TREEVIEWW;
        case STATIC_TEXT: return L"STATIC";
        case TABS: return WC_TABCONTROLW;
        case LIST: return WC_LISTVIEWW;
        case PROGRESS: return PROGRESS_CLASSW;
    }
    return L"STATIC";
}

void add_strings(HWND box, std::initializer_list<const char*> items) {
    for (const char* item : items) {
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ui_wide(item).c_str()));
    }
    SendMessageW(box, CB_SETCURSEL, 0, 0);
}

void cue(HWND edit, const char* text) {
    SendMessageW(edit, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(ui_wide(text).c_str()));
}

// The tree's images: the program icon, database, table, view/routine at 17 × 17 (scaled).
void make_tree_images(HWND tree) {
    AppState& a = app();
    const int size = ui_scale(17, a.dpi);
    a.tree_images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 4, 0);
    for (int id : {IDI_APP, IDI_DATABASE, IDI_TABLE, IDI_CODE}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(a.instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        ImageList_AddIcon(a.tree_images, icon);
        if (icon != nullptr) DestroyIcon(icon);
    }
    TreeView_SetImageList(tree, a.tree_images, TVSIL_NORMAL);
}

// What each control needs beyond its class and style.
void configure(const ControlDef& def, HWND control) {
    AppState& a = app();
    switch (def.id) {
        case ID_CHARSET: add_strings(control, {"UTF-8", "Windows-1252", "Latin-1"}); break;
        case ID_FILTER_OP:
            add_strings(control, {"enthält", "entspricht", "IS NULL", "IS NOT NULL"});
            break;
        case ID_FILTER_COLUMN:
            SendMessageW(control, CB_SETDROPPEDWIDTH, ui_scale(300, a.dpi), 0);
            break;
        case ID_TREE_FILTER:
            SendMessageW(control, EM_LIMITTEXT, 1024, 0);
            cue(control, "Tabellen / Datenbanken filtern");
            break;
        case ID_FILTER_VALUE:
            SendMessageW(control, EM_LIMITTEXT, 4096, 0);
            cue(control, "Filterwert …  (Ctrl+F)");
            break;
        case ID_PAGE_NUMBER: SendMessageW(control, EM_LIMITTEXT, 20, 0); break;
        case ID_TEXT_VIEW: SendMessageW(control, EM_LIMITTEXT, 8388608, 0); break;
        case ID_DETAILS: SendMessageW(control, EM_LIMITTEXT, 131072, 0); break;
        case ID_TREE: {
            TreeView_SetBkColor(control, RGB(255, 255, 255));
            TreeView_SetTextColor(control, RGB(UI_COLOR_TREE_TEXT.r, UI_COLOR_TREE_TEXT.g,
                                               UI_COLOR_TREE_TEXT.b));
            TreeView_SetItemHeight(control, ui_scale(27, a.dpi));
            SetWindowTheme(control, L"Explorer", nullptr);
            make_tree_images(control);
            break;
        }
        case ID_TABS: {
            const char* const tabs[] = {"Daten", "Struktur", "Original-SQL", "Import-Hinweise"};
            for (int i = 0; i < 4; ++i) {
                std::wstring text = ui_wide(tabs[i]);
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = text.data();
                SendMessageW(control, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
            }
            break;
        }
        case ID_GRID:
            ListView_SetExtendedListViewStyle(
                control, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
            ListView_SetBkColor(control, RGB(255, 255, 255));
            ListView_SetTextBkColor(control, RGB(255, 255, 255));
            ListView_SetTextColor(control, RGB(UI_COLOR_GRID_TEXT.r, UI_COLOR_GRID_TEXT.g,
                                               UI_COLOR_GRID_TEXT.b));
            SetWindowTheme(control, L"Explorer", nullptr);
            break;
        case ID_PROGRESS: SendMessageW(control, PBM_SETRANGE32, 0, 1000); break;
        default: break;
    }
}

UiFont font_of(int id) {
    if (id == ID_TEXT_VIEW) return FONT_MONO;
    if (id == ID_DETAILS_CAPTION) return FONT_BOLD;
    return FONT_UI;
}

}  // namespace

void ui_create_controls() {
    AppState& a = app();
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const ControlDef& def = CONTROL_DEFS[i];
        const HWND control = CreateWindowExW(
            0, class_of(def.kind), ui_wide(def.text).c_str(), WS_CHILD | WS_VISIBLE | def.style,
            0, 0, 10, 10, a.main, reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)),
            a.instance, nullptr);
        a.controls[static_cast<std::size_t>(i)] = control;
        if (control == nullptr) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(a.fonts[font_of(def.id)]),
                     FALSE);
        if (def.kind == BUTTON) {
            SetWindowLongPtrW(control, GWLP_USERDATA, def.id);
            if (a.buttons.size() < 32) a.buttons.push_back(control);
        }
        configure(def, control);
    }
}

void ui_create_fonts() {
    AppState& a = app();
    const std::array<HFONT, FONT_COUNT> old = a.fonts;
    for (int f = 0; f < FONT_COUNT; ++f) {
        const FontDef& def = FONT_DEFS[f];
        a.fonts[static_cast<std::size_t>(f)] =
            CreateFontW(-ui_scale(def.height, a.dpi), 0, 0, 0, def.weight, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        CLEARTYPE_QUALITY, DEFAULT_PITCH, ui_wide(def.face).c_str());
    }
    if (a.main != nullptr) {
        for (int i = 0; i < CONTROL_COUNT; ++i) {
            const HWND control = a.controls[static_cast<std::size_t>(i)];
            if (control == nullptr) continue;
            const int id = CONTROL_ORDER[static_cast<std::size_t>(i)];
            if (id == ID_PROGRESS) continue;
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(a.fonts[font_of(id)]),
                         TRUE);
        }
    }
    for (HFONT f : old) {
        if (f != nullptr) DeleteObject(f);
    }
}

}  // namespace kv
