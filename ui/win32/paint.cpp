// Painting of the main window and of its buttons (see paint.h).
#include "ui/win32/paint.h"

#include "resources/resource_ids.h"
#include "ui/logic/paint_plan.h"
#include "ui/win32/text_io.h"

namespace kv {

namespace {


RECT to_rect(const UiRect& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }

void fill(HDC dc, const UiRect& r, UiColor c) {
    const RECT rect = to_rect(r);
    SetDCBrushColor(dc, ui_rgb(c));
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void draw_text(HDC dc, const PaintOp& op, const FontSet& fonts) {
    RECT rect = to_rect(op.rect);
    std::wstring text = ui_wide(op.text);
    UINT flags = DT_NOPREFIX;
    flags |= op.wrap ? DT_WORDBREAK : DT_SINGLELINE;
    if (op.align == ALIGN_CENTER) flags |= DT_CENTER;
    if (op.align == ALIGN_RIGHT) flags |= DT_RIGHT;
    if (op.ellipsis) flags |= DT_END_ELLIPSIS;
    SelectObject(dc, fonts.get(op.font));
    SetTextColor(dc, ui_rgb(op.color));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
}

void draw_banner(HDC dc, const UiRect& r, HBITMAP banner) {
    if (banner == nullptr) return;
    BITMAP info{};
    GetObjectW(banner, sizeof info, &info);
    const HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, banner);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, r.x, r.y, r.width, r.height, source, 0, 0, info.bmWidth, info.bmHeight,
               SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

}  // namespace

ProgramImages::~ProgramImages() {
    if (icon_ != nullptr) DestroyIcon(icon_);
    if (banner_ != nullptr) DeleteObject(banner_);
}

void ProgramImages::load(HINSTANCE instance) {
    icon_ = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 64, 64, 0));
    banner_ = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_BANNER),
                                              IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

SolidBrush::~SolidBrush() {
    if (brush_ != nullptr) DeleteObject(brush_);
}

void SolidBrush::make(UiColor color) {
    if (brush_ != nullptr) DeleteObject(brush_);
    brush_ = CreateSolidBrush(ui_rgb(color));
}

void paint_main_window(HWND window, const FontSet& fonts, const ProgramImages& images, int dpi,
                       const LayoutMeasures& measures, bool dump_open, bool busy,
                       const std::string& status) {
    PAINTSTRUCT ps;
    const HDC target = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const HDC dc = CreateCompatibleDC(target);
    const HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    const HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    const HGDIOBJ old_font = SelectObject(dc, fonts.get(FONT_UI));
    for (const PaintOp& op :
         ui_main_paint(client.right, client.bottom, dpi, measures, dump_open, busy, status)) {
        switch (op.kind) {
            case PAINT_FILL: fill(dc, op.rect, op.color); break;
            case PAINT_ICON:
                if (images.icon() != nullptr) {
                    DrawIconEx(dc, op.rect.x, op.rect.y, images.icon(), op.rect.width,
                               op.rect.height, 0, nullptr, DI_NORMAL);
                }
                break;
            case PAINT_BANNER: draw_banner(dc, op.rect, images.banner()); break;
            case PAINT_TEXT: draw_text(dc, op, fonts); break;
        }
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old_font);
    SelectObject(dc, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(window, &ps);
}

void paint_button(const DRAWITEMSTRUCT& item, const FontSet& fonts, int dpi) {
    if (item.CtlType != ODT_BUTTON) return;
    const int id = static_cast<int>(GetWindowLongPtrW(item.hwndItem, GWLP_USERDATA));
    const bool enabled = (item.itemState & ODS_DISABLED) == 0;
    const ButtonLook look = ui_button_look(id, enabled, (item.itemState & ODS_SELECTED) != 0);
    const HDC dc = item.hDC;
    const RECT r = item.rcItem;
    fill(dc, {r.left, r.top, r.right - r.left, r.bottom - r.top}, ui_button_backdrop(id));
    const HPEN pen = CreatePen(PS_SOLID, ui_scale(1, dpi), ui_rgb(look.border));
    const HBRUSH brush = CreateSolidBrush(ui_rgb(look.fill));
    const HGDIOBJ old_pen = SelectObject(dc, pen);
    const HGDIOBJ old_brush = SelectObject(dc, brush);
    const int corner = ui_scale(BUTTON_CORNER, dpi);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(pen);
    DeleteObject(brush);

    if (id == ID_RECENT) {  // an arrow instead of the caption
        const int cx = (r.left + r.right) / 2;
        const int cy = (r.top + r.bottom) / 2;
        const int a = ui_scale(4, dpi);
        const POINT arrow[3] = {{cx - a, cy - a / 2}, {cx + a + 1, cy - a / 2}, {cx, cy + a / 2 + 1}};
        const HBRUSH ink = CreateSolidBrush(ui_rgb(look.text));
        const HGDIOBJ old_ink = SelectObject(dc, ink);
        const HGDIOBJ no_pen = SelectObject(dc, GetStockObject(NULL_PEN));
        Polygon(dc, arrow, 3);
        SelectObject(dc, no_pen);
        SelectObject(dc, old_ink);
        DeleteObject(ink);
    }
    wchar_t caption[128] = {};
    if (id != ID_RECENT) GetWindowTextW(item.hwndItem, caption, 128);
    RECT text = r;
    text.left += ui_scale(BUTTON_TEXT_INSET, dpi);
    text.right -= ui_scale(BUTTON_TEXT_INSET, dpi);
    const HGDIOBJ old_font = SelectObject(dc, fonts.get(FONT_UI));
    SetTextColor(dc, ui_rgb(look.text));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old_font);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -ui_scale(BUTTON_FOCUS_INSET, dpi), -ui_scale(BUTTON_FOCUS_INSET, dpi));
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace kv
