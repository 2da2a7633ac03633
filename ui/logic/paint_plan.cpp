// Paint list of the main window and the look of its buttons (see paint_plan.h).
#include "ui/logic/paint_plan.h"

#include "foundation/messages.h"
#include "records/value.h"

namespace kv {

namespace {

constexpr UiColor UI_COLOR_HEADER_TEXT{70, 109, 143};
constexpr UiColor UI_COLOR_SLOGAN{30, 58, 83};
constexpr UiColor UI_COLOR_SUB_SLOGAN{102, 126, 146};
constexpr UiColor UI_COLOR_BADGE{48, 144, 198};
constexpr UiColor UI_COLOR_PANEL_HEADING{45, 75, 103};
constexpr UiColor UI_COLOR_EMPTY_HEADING{37, 73, 101};
constexpr UiColor UI_COLOR_EMPTY_TEXT{107, 129, 148};
constexpr UiColor UI_COLOR_EMPTY_FOOTNOTE{47, 142, 195};
constexpr UiColor UI_COLOR_STATUS{76, 104, 126};
constexpr UiColor UI_COLOR_BUTTON_BORDER{212, 226, 236};
constexpr UiColor UI_COLOR_BUTTON_TEXT{46, 78, 104};
constexpr UiColor UI_COLOR_ACCENT{49, 148, 203};
constexpr UiColor UI_COLOR_ACCENT_PRESSED{29, 123, 180};
constexpr UiColor UI_COLOR_DISABLED_FILL{241, 244, 247};
constexpr UiColor UI_COLOR_DISABLED_TEXT{159, 173, 184};

// Builds ops from logical corner coordinates (left, top)-(right, bottom).
class Painter {
public:
    Painter(std::vector<PaintOp>& ops, int dpi) : ops_(ops), dpi_(dpi) {}
    UiRect rect(int l, int t, int r, int b) const {
        const int x = ui_scale(l, dpi_);
        const int y = ui_scale(t, dpi_);
        return {x, y, ui_scale(r, dpi_) - x, ui_scale(b, dpi_) - y};
    }
    void fill(int l, int t, int r, int b, UiColor c) {
        PaintOp op;
        op.kind = PAINT_FILL;
        op.rect = rect(l, t, r, b);
        op.color = c;
        ops_.push_back(op);
    }
    void image(PaintKind kind, int x, int y, int w, int h) {
        PaintOp op;
        op.kind = kind;
        op.rect = rect(x, y, x + w, y + h);
        ops_.push_back(op);
    }
    PaintOp& text(int l, int t, int r, int b, UiFont font, UiColor c, std::string s,
                  TextAlign align = ALIGN_LEFT) {
        PaintOp op;
        op.kind = PAINT_TEXT;
        op.rect = rect(l, t, r, b);
        op.font = font;
        op.color = c;
        op.align = align;
        op.text = std::move(s);
        ops_.push_back(std::move(op));
        return ops_.back();
    }

private:
    std::vector<PaintOp>& ops_;
    int dpi_;
};

}  // namespace

std::vector<PaintOp> ui_main_paint(int width, int height, int dpi,
                                   const LayoutMeasures& measures, bool dump_open, bool busy,
                                   const std::string& status_text) {
    std::vector<PaintOp> ops;
    Painter p(ops, dpi);
    const int w = ui_unscale(width, dpi);
    const int h = ui_unscale(height, dpi);
    const PanelColumns c = ui_panel_columns(w, measures);
    const int k = c.content_right + 16;  // the grid panel's right + its gap

    p.fill(0, 0, w, h, UI_COLOR_BACKGROUND);
    p.fill(0, 0, w, 86, UI_COLOR_WHITE);
    p.fill(0, 86, w, 87, UI_COLOR_LINE);
    p.fill(0, h - 38, w, h, UI_COLOR_WHITE);
    p.fill(0, h - 39, w, h - 38, UI_COLOR_LINE);
    p.image(PAINT_ICON, 18, 18, 48, 48);
    p.image(PAINT_BANNER, 76, 16, 161, 37);
    p.text(80, 57, 270, 75, FONT_SMALL, UI_COLOR_HEADER_TEXT, msg_text(Msg::header_product));
    p.text(277, 20, 797, 50, FONT_LARGE, UI_COLOR_SLOGAN, msg_text(Msg::header_slogan));
    p.text(279, 54, 779, 74, FONT_SMALL, UI_COLOR_SUB_SLOGAN, msg_text(Msg::header_sub_slogan));
    p.text(w - 260, 33, w - 20, 59, FONT_SMALL, UI_COLOR_BADGE, msg_text(Msg::header_badge),
           ALIGN_RIGHT);

    // Panels; a line in the middle of each gap marks its splitter.
    p.fill(16, 146, c.tree_right, h - 54, UI_COLOR_WHITE);
    p.text(29, 153, c.tree_right - 13, 175, FONT_BOLD, UI_COLOR_PANEL_HEADING,
           msg_text(Msg::panel_databases));
    p.fill(c.tree_right + 7, 156, c.tree_right + 8, h - 67, UI_COLOR_LINE);
    p.fill(c.content_left, 146, c.content_right, h - 54, UI_COLOR_WHITE);
    if (c.details) {
        p.fill(c.details_left, 146, w - 16, h - 54, UI_COLOR_WHITE);
        p.fill(c.details_left - 9, 156, c.details_left - 8, h - 67, UI_COLOR_LINE);
    }

    if (!dump_open) {
        const int dx = c.content_left - 248;
        p.image(PAINT_ICON, (c.content_left + c.content_right) / 2 - 36, 280, 72, 72);
        p.text(268 + dx, 374, k - 36, 414, FONT_LARGE, UI_COLOR_EMPTY_HEADING,
               msg_text(Msg::empty_heading), ALIGN_CENTER);
        p.text(278 + dx, 431, k - 46, 501, FONT_UI, UI_COLOR_EMPTY_TEXT,
               msg_text(Msg::empty_text), ALIGN_CENTER)
            .wrap = true;
        p.text(268 + dx, 528, k - 36, 562, FONT_SMALL, UI_COLOR_EMPTY_FOOTNOTE,
               msg_text(Msg::empty_footnote), ALIGN_CENTER);
    }

    p.text(18, h - 29, ui_status_text_right(width, dpi, busy, measures), h - 5, FONT_SMALL,
           UI_COLOR_STATUS, status_text)
        .ellipsis = true;
    return ops;
}

UiColor ui_value_color(int kind) {
    switch (kind) {
        case VALUE_NULL:
        case VALUE_NOT_IN_INSERT: return UI_COLOR_VALUE_ABSENT;
        case VALUE_BINARY: return UI_COLOR_VALUE_BINARY;
        case VALUE_SQL: return UI_COLOR_VALUE_SQL;
        default: return UI_COLOR_GRID_TEXT;
    }
}

ButtonLook ui_button_look(int id, bool enabled, bool pressed) {
    if (!enabled) return {UI_COLOR_DISABLED_FILL, UI_COLOR_BUTTON_BORDER, UI_COLOR_DISABLED_TEXT};
    if (id == ID_OPEN || id == ID_RECENT || id == ID_FILTER) {
        return {pressed ? UI_COLOR_ACCENT_PRESSED : UI_COLOR_ACCENT, UI_COLOR_ACCENT, UI_COLOR_WHITE};
    }
    return {UI_COLOR_WHITE, UI_COLOR_BUTTON_BORDER, UI_COLOR_BUTTON_TEXT};
}

UiColor ui_button_backdrop(int id) {
    switch (id) {
        case ID_OPEN: case ID_RECENT: case ID_DEMO: case ID_EXPORT: case ID_TUPLE: case ID_REINDEX: case ID_CACHE:
        case ID_HELP:
            return UI_COLOR_BACKGROUND;
        default: return UI_COLOR_WHITE;
    }
}

}  // namespace kv
