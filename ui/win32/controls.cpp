// The main window's controls (see controls.h).
#include "ui/win32/controls.h"

#include <uxtheme.h>

#include <algorithm>
#include <string>

#include "foundation/messages.h"
#include "records/display_text.h"
#include "records/filter.h"
#include "resources/resource_ids.h"
#include "ui/logic/page_number.h"
#include "ui/logic/paint_plan.h"
#include "ui/win32/paint.h"
#include "ui/win32/text_io.h"

namespace kv {

namespace {

enum class ControlKind { button, check, combo, edit, tree, static_text, tabs, list, progress };

struct ControlDef {
    int id;
    ControlKind kind;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    Msg text;     // caption; Msg::none for none
};

constexpr DWORD BUTTON_STYLE = BS_OWNERDRAW | WS_TABSTOP;
constexpr DWORD LIST_BOX_STYLE = CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_TABSTOP;
constexpr DWORD FIELD_STYLE = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;

using K = ControlKind;

// Room beside a measured caption: the text inset and the focus rectangle on both sides.
constexpr int CAPTION_AIR = 2 * (BUTTON_TEXT_INSET + BUTTON_FOCUS_INSET + 4);
const ControlDef CONTROL_DEFS[CONTROL_COUNT] = {
    {ID_OPEN, K::button, BUTTON_STYLE, Msg::button_open},
    {ID_RECENT, K::button, BUTTON_STYLE, Msg::button_recent},
    {ID_DEMO, K::button, BUTTON_STYLE, Msg::button_demo},
    {ID_EXPORT, K::button, BUTTON_STYLE, Msg::export_csv},
    {ID_TUPLE, K::button, BUTTON_STYLE, Msg::button_tuple},
    {ID_REINDEX, K::button, BUTTON_STYLE, Msg::button_reindex},
    {ID_CACHE, K::button, BUTTON_STYLE, Msg::button_cache},
    {ID_HELP, K::button, BUTTON_STYLE, Msg::button_help},
    {ID_CHARSET, K::combo, LIST_BOX_STYLE | WS_VSCROLL, Msg::none},
    {ID_TREE_FILTER, K::edit, FIELD_STYLE, Msg::none},
    {ID_TREE, K::tree,
     TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP, Msg::none},
    {ID_BREADCRUMB, K::static_text, 0, Msg::none},
    {ID_TABS, K::tabs, WS_TABSTOP, Msg::none},
    {ID_FILTER_COLUMN, K::combo, LIST_BOX_STYLE | WS_VSCROLL, Msg::none},
    {ID_FILTER_OP, K::combo, LIST_BOX_STYLE, Msg::none},
    {ID_FILTER_VALUE, K::edit, FIELD_STYLE, Msg::none},
    {ID_FILTER, K::button, BUTTON_STYLE, Msg::button_filter},
    {ID_RESET, K::button, BUTTON_STYLE, Msg::button_reset},
    {ID_INFO, K::static_text, 0, Msg::none},
    {ID_GRID, K::list,
     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA | WS_BORDER | WS_TABSTOP,
     Msg::none},
    {ID_WRAP, K::check, BS_AUTOCHECKBOX | WS_TABSTOP, Msg::wrap_lines},
    {ID_TEXT_VIEW, K::edit,
     ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     Msg::none},
    {ID_FIRST_PAGE, K::button, BUTTON_STYLE, Msg::button_first_page},
    {ID_PREV_PAGE, K::button, BUTTON_STYLE, Msg::button_previous_page},
    {ID_PAGE_NUMBER, K::edit, ES_NUMBER | FIELD_STYLE, Msg::none},
    {ID_GO, K::button, BUTTON_STYLE, Msg::button_go},
    {ID_NEXT_PAGE, K::button, BUTTON_STYLE, Msg::button_next_page},
    {ID_LAST_PAGE, K::button, BUTTON_STYLE, Msg::button_last_page},
    {ID_PAGE_LABEL, K::static_text, 0, Msg::none},
    {ID_DETAILS_CAPTION, K::static_text, 0, Msg::none},
    {ID_DETAILS, K::edit, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, Msg::none},
    {ID_PROGRESS, K::progress, 0, Msg::none},
    {ID_CANCEL, K::button, BUTTON_STYLE, Msg::button_cancel},
};

const wchar_t* class_of(ControlKind kind) {
    switch (kind) {
        case K::button:
        case K::check: return L"BUTTON";
        case K::combo: return L"COMBOBOX";
        case K::edit: return L"EDIT";
        case K::tree: return WC_TREEVIEWW;
        case K::static_text: return L"STATIC";
        case K::tabs: return WC_TABCONTROLW;
        case K::list: return WC_LISTVIEWW;
        case K::progress: return PROGRESS_CLASSW;
    }
    return L"STATIC";
}


void add_strings(HWND box, std::initializer_list<Msg> items) {
    for (Msg item : items) {
        SendMessageW(box, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(ui_wide(msg_text(item)).c_str()));
    }
    SendMessageW(box, CB_SETCURSEL, 0, 0);
}

void cue(HWND edit, Msg text) {
    SendMessageW(edit, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(ui_wide(msg_text(text)).c_str()));
}

// The tree's images: the program icon, database, table, view/routine (scaled).
HIMAGELIST make_tree_images(HWND tree, HINSTANCE instance, int dpi) {
    const int size = ui_scale(TREE_IMAGE_SIZE, dpi);
    const HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 4, 0);
    for (int id : {IDI_APP, IDI_DATABASE, IDI_TABLE, IDI_CODE}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        ImageList_AddIcon(images, icon);
        if (icon != nullptr) DestroyIcon(icon);
    }
    TreeView_SetImageList(tree, images, TVSIL_NORMAL);
    return images;
}

void add_tabs(HWND tabs) {
    // In the order of UiTab.
    const Msg titles[] = {Msg::tab_data, Msg::tab_structure, Msg::tab_sql, Msg::tab_notes};
    for (int i = 0; i < 4; ++i) {
        std::wstring text = ui_wide(msg_text(titles[i]));
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

UiFont font_of(int id) {
    if (id == ID_TEXT_VIEW) return FONT_MONO;
    if (id == ID_DETAILS_CAPTION) return FONT_BOLD;
    return FONT_UI;
}

}  // namespace

MainControls::~MainControls() {
    if (tree_images_ != nullptr) ImageList_Destroy(tree_images_);
}

void MainControls::create(HWND parent, HINSTANCE instance, const FontSet& fonts, int dpi) {
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const ControlDef& def = CONTROL_DEFS[i];
        const HWND control = CreateWindowExW(
            0, class_of(def.kind), ui_wide(msg_text(def.text)).c_str(),
            WS_CHILD | WS_VISIBLE | def.style,
            0, 0, 10, 10, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)),
            instance, nullptr);
        handles_[static_cast<std::size_t>(i)] = control;
        if (control == nullptr) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.get(font_of(def.id))),
                     FALSE);
        if (def.kind == K::button) {
            SetWindowLongPtrW(control, GWLP_USERDATA, def.id);
            buttons_.push_back(control);
        }
        switch (def.id) {
            case ID_CHARSET:  // CHARSETS, in the order of Charset
                for (const CharsetInfo& charset : CHARSETS) {
                    SendMessageW(control, CB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(ui_wide(msg_text(charset.label)).c_str()));
                }
                SendMessageW(control, CB_SETCURSEL, 0, 0);
                break;
            case ID_FILTER_OP:  // in the order of FilterOp
                add_strings(control, {Msg::filter_contains, Msg::filter_equals,
                                      Msg::filter_is_null, Msg::filter_is_not_null});
                break;
            case ID_FILTER_COLUMN:
                SendMessageW(control, CB_SETDROPPEDWIDTH, ui_scale(FILTER_COLUMN_DROP_WIDTH, dpi),
                             0);
                break;
            case ID_TREE_FILTER:
                SendMessageW(control, EM_LIMITTEXT, 1024, 0);
                cue(control, Msg::cue_tree_filter);
                break;
            case ID_FILTER_VALUE:
                SendMessageW(control, EM_LIMITTEXT, 4096, 0);
                cue(control, Msg::cue_filter_value);
                break;
            case ID_PAGE_NUMBER:
                SendMessageW(control, EM_LIMITTEXT, 20, 0);
                ui_set_text(control, std::to_string(page_number_at(0)));
                break;
            case ID_TEXT_VIEW: SendMessageW(control, EM_LIMITTEXT, 8388608, 0); break;
            case ID_WRAP: SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0); break;
            case ID_DETAILS: SendMessageW(control, EM_LIMITTEXT, 131072, 0); break;
            case ID_TREE:
                TreeView_SetBkColor(control, ui_rgb(UI_COLOR_WHITE));
                TreeView_SetTextColor(control, ui_rgb(UI_COLOR_TREE_TEXT));
                TreeView_SetItemHeight(control, ui_scale(TREE_ITEM_HEIGHT, dpi));
                SetWindowTheme(control, L"Explorer", nullptr);
                tree_images_ = make_tree_images(control, instance, dpi);
                break;
            case ID_TABS: add_tabs(control); break;
            case ID_GRID:
                // No LVS_EX_DOUBLEBUFFER: with it, Wine's list view leaves a strip of about 3
                // pixels under the column header unpainted when the grid is first shown.
                ListView_SetExtendedListViewStyle(control, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
                ListView_SetBkColor(control, ui_rgb(UI_COLOR_WHITE));
                ListView_SetTextBkColor(control, ui_rgb(UI_COLOR_WHITE));
                ListView_SetTextColor(control, ui_rgb(UI_COLOR_GRID_TEXT));
                SetWindowTheme(control, L"Explorer", nullptr);
                break;
            case ID_PROGRESS: SendMessageW(control, PBM_SETRANGE32, 0, 1000); break;
            default: break;
        }
    }
}

void MainControls::set_fonts(const FontSet& fonts, int dpi) {
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const HWND control = handles_[static_cast<std::size_t>(i)];
        const int id = CONTROL_ORDER[static_cast<std::size_t>(i)];
        if (control == nullptr || id == ID_PROGRESS) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.get(font_of(id))), TRUE);
    }
    if (HWND tree = of(ID_TREE)) TreeView_SetItemHeight(tree, ui_scale(TREE_ITEM_HEIGHT, dpi));
}

void MainControls::forget() {
    handles_.fill(nullptr);
    buttons_.clear();
}

// Captions and the cue measured in the control's own font; the field height is the closed
// character set box's, which sizes itself from its font.
void MainControls::measure(int dpi, LayoutMeasures& measures) const {
    const HDC dc = GetDC(nullptr);
    const auto text_width = [dc, dpi](HWND control, const std::wstring& text) {
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(
                                                 SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        return (size.cx * 96 + dpi - 1) / dpi;  // logical units, rounded up
    };
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        const HWND control = handles_[static_cast<std::size_t>(i)];
        const ControlDef& def = CONTROL_DEFS[i];
        int& caption = measures.captions[static_cast<std::size_t>(i)];
        caption = 0;
        if (control == nullptr) continue;
        if (def.id == ID_FILTER) {  // "Filtern", or "Suchen" over the whole dump
            caption = std::max(text_width(control, ui_wide(msg_text(Msg::button_filter))),
                               text_width(control, ui_wide(msg_text(Msg::button_search)))) +
                      CAPTION_AIR;
        } else if ((def.kind == K::button && def.id != ID_RECENT) || def.kind == K::check) {
            caption = text_width(control, ui_window_text(control)) + CAPTION_AIR;
        } else if (def.id == ID_TREE_FILTER) {
            caption = text_width(control, ui_wide(msg_text(Msg::cue_tree_filter))) + CAPTION_AIR;
        }
    }
    ReleaseDC(nullptr, dc);
    RECT box{};
    if (HWND charset = of(ID_CHARSET); charset != nullptr && GetWindowRect(charset, &box)) {
        measures.field_height = ui_unscale(box.bottom - box.top, dpi);
    }
}

void MainControls::replace(int id, HWND control) {
    const int i = ui_control_index(id);
    if (i >= 0) handles_[static_cast<std::size_t>(i)] = control;
}

HWND MainControls::of(int id) const {
    const int i = ui_control_index(id);
    return i < 0 ? nullptr : handles_[static_cast<std::size_t>(i)];
}

void ui_filter_bar_texts(const MainControls& controls, bool search) {
    const HWND ops = controls.of(ID_FILTER_OP);
    const LRESULT wanted = search ? 2 : static_cast<LRESULT>(FILTER_OP_COUNT);
    if (ops != nullptr && SendMessageW(ops, CB_GETCOUNT, 0, 0) != wanted) {
        SendMessageW(ops, CB_RESETCONTENT, 0, 0);
        if (search) {
            add_strings(ops, {Msg::filter_contains, Msg::filter_equals});
        } else {
            add_strings(ops, {Msg::filter_contains, Msg::filter_equals, Msg::filter_is_null,
                              Msg::filter_is_not_null});
        }
    }
    if (const HWND button = controls.of(ID_FILTER)) {
        ui_set_text(button, msg_text(search ? Msg::button_search : Msg::button_filter));
        InvalidateRect(button, nullptr, FALSE);
    }
    if (const HWND value = controls.of(ID_FILTER_VALUE)) {
        cue(value, search ? Msg::cue_search_value : Msg::cue_filter_value);
    }
}

}  // namespace kv
