// Geometry of the desktop window (see window_layout.h).
#include "ui/logic/window_layout.h"

#include <algorithm>

namespace kv {

namespace {

// Collects logical rectangles and scales them.
class Placer {
public:
    Placer(MainLayout& layout, int dpi) : layout_(layout), dpi_(dpi) {}
    void put(int id, int x, int y, int width, int height) {
        const int i = ui_control_index(id);
        if (i < 0) return;
        layout_.rects[static_cast<std::size_t>(i)] = {ui_scale(x, dpi_), ui_scale(y, dpi_),
                                                      ui_scale(width, dpi_),
                                                      ui_scale(height, dpi_)};
    }

private:
    MainLayout& layout_;
    int dpi_;
};

int at_least(int v, int low) { return v < low ? low : v; }

}  // namespace

int ui_control_index(int id) {
    for (int i = 0; i < CONTROL_COUNT; ++i) {
        if (CONTROL_ORDER[static_cast<std::size_t>(i)] == id) return i;
    }
    return -1;
}

int ui_scale(int v, int dpi) {
    return static_cast<int>((static_cast<long long>(v) * dpi + 48) / 96);
}

int ui_unscale(int v, int dpi) {
    return dpi > 0 ? static_cast<int>(static_cast<long long>(v) * 96 / dpi) : v;
}

UiRect MainLayout::of(int id) const {
    const int i = ui_control_index(id);
    return i < 0 ? UiRect{} : rects[static_cast<std::size_t>(i)];
}

int LayoutMeasures::caption(int id) const {
    const int i = ui_control_index(id);
    return i < 0 ? 0 : captions[static_cast<std::size_t>(i)];
}

// Tree panel 16 .. 34 + tree width (the tree 25 .. 25 + width), a 16-unit gap, the grid
// panel, a 16-unit gap, the details panel of the details width + 32 up to 16 before the edge.
PanelColumns ui_panel_columns(int width, const LayoutMeasures& measures) {
    PanelColumns p;
    p.details = width >= DETAILS_MIN_WIDTH;
    // The tree filter field (the tree's width less 4) shows its whole cue.
    const int tree_min = std::max(TREE_MIN_WIDTH, measures.caption(ID_TREE_FILTER) + 4);
    p.tree_width = std::max(measures.tree_width, tree_min);
    p.details_width = p.details ? std::max(measures.details_width, DETAILS_MIN_PANE_WIDTH) : 0;
    const auto span = [&] {
        return (p.details ? width - 64 - p.details_width : width - 16) - (50 + p.tree_width);
    };
    if (span() < CONTENT_MIN_WIDTH && p.details) {
        p.details_width = std::max(DETAILS_MIN_PANE_WIDTH,
                                   p.details_width - (CONTENT_MIN_WIDTH - span()));
    }
    if (span() < CONTENT_MIN_WIDTH) {
        p.tree_width = std::max(tree_min, p.tree_width - (CONTENT_MIN_WIDTH - span()));
    }
    p.tree_right = 34 + p.tree_width;
    p.content_left = p.tree_right + 16;
    p.details_left = p.details ? width - 48 - p.details_width : width - 250;
    p.content_right = p.details ? p.details_left - 16 : width - 16;
    if (!p.details) p.details_width = measures.details_width;
    return p;
}

Splitter ui_splitter_at(int x, int y, int width, int height, int dpi,
                        const LayoutMeasures& measures) {
    const int w = ui_unscale(width, dpi);
    const int lx = ui_unscale(x, dpi);
    const int ly = ui_unscale(y, dpi);
    if (ly < 146 || ly >= ui_unscale(height, dpi) - 54) return Splitter::none;
    const PanelColumns p = ui_panel_columns(w, measures);
    if (lx >= p.tree_right && lx < p.content_left) return Splitter::tree;
    if (p.details && lx >= p.content_right && lx < p.details_left) return Splitter::details;
    return Splitter::none;
}

LayoutMeasures ui_splitter_drag(Splitter splitter, int x, int width, int dpi,
                                LayoutMeasures measures) {
    const int w = ui_unscale(width, dpi);
    const int lx = ui_unscale(x, dpi);
    if (splitter == Splitter::tree) {
        measures.tree_width = lx - 42;  // the gap's middle follows x
    } else if (splitter == Splitter::details) {
        measures.details_width = w - 56 - lx;
    }
    // Only the dragged width gives way; the other keeps what the user gave it.
    const PanelColumns p = ui_panel_columns(w, measures);
    if (splitter == Splitter::tree) measures.tree_width = p.tree_width;
    if (splitter == Splitter::details && p.details) measures.details_width = p.details_width;
    return measures;
}

LayoutMeasures ui_splitter_step(Splitter splitter, int direction, int width, int dpi,
                                LayoutMeasures measures) {
    const int w = ui_unscale(width, dpi);
    const PanelColumns p = ui_panel_columns(w, measures);
    const int step = direction * SPLITTER_KEY_STEP;
    if (splitter == Splitter::tree) {
        return ui_splitter_drag(splitter, ui_scale(p.tree_right + 8 + step, dpi), width, dpi,
                                measures);
    }
    if (splitter == Splitter::details && p.details) {
        return ui_splitter_drag(splitter, ui_scale(p.content_right + 8 - step, dpi), width, dpi,
                                measures);
    }
    return measures;
}

namespace {

// The command row from x 16, 8 apart, each button at least as wide as its caption (but the
// recent dumps' arrow, joined to "Dump öffnen …", which shows no caption); when the
// row is wider than the window, the character set box gives way (down to 100 units). The box
// (its height includes the dropped-down list) is centred on the buttons.
void place_command_row(Placer& put, int w, const LayoutMeasures& m) {
    struct Slot {
        int id;
        int width;
    };
    Slot slots[] = {
        {ID_OPEN, 142},   {ID_RECENT, 26}, {ID_DEMO, w < WIDE_DEMO_MIN_WIDTH ? 76 : 96},
        {ID_EXPORT, 132}, {ID_TUPLE, 126},
        {ID_REINDEX, 120}, {ID_CHARSET, 136},
        {ID_CACHE, 76},   {ID_HELP, 64},
    };
    int end = 16;
    for (Slot& s : slots) {
        if (s.id != ID_RECENT) s.width = std::max(s.width, m.caption(s.id));
        end += s.width + (s.id == ID_OPEN ? 1 : 8);
    }
    const int overflow = end - 8 - (w - 16);
    if (overflow > 0) slots[6].width = std::max(100, slots[6].width - overflow);
    int x = 16;
    for (const Slot& s : slots) {
        if (s.id == ID_CHARSET) {
            put.put(s.id, x, 99 + (33 - m.field_height) / 2, s.width, 240);
        } else {
            put.put(s.id, x, 99, s.width, 33);
        }
        x += s.width + (s.id == ID_OPEN ? 1 : 8);
    }
}

// The filter row of the grid panel from x0 (the panel's left + 12) to the panel's right less
// 8: column and operator boxes, the value field, "Filtern" and "Zurücksetzen" at the right.
void place_filter_row(Placer& put, int x0, int right, const LayoutMeasures& m) {
    const int field = 226 + (29 - m.field_height) / 2;
    const int reset_width = std::max(57, m.caption(ID_RESET));
    const int filter_width = std::max(70, m.caption(ID_FILTER));
    const int reset = right - reset_width;
    const int filter = reset - 6 - filter_width;
    put.put(ID_FILTER_COLUMN, x0, field, 139, 280);
    put.put(ID_FILTER_OP, x0 + 145, field, 119, 180);
    put.put(ID_FILTER_VALUE, x0 + 270, field, std::max(filter - 6 - (x0 + 270), 1),
            m.field_height);
    put.put(ID_FILTER, filter, 226, filter_width, 29);
    put.put(ID_RESET, reset, 226, reset_width, 29);
}

// The page row at y: first, previous, number field, "Los", next, last, then the label.
void place_page_row(Placer& put, int x0, int row, int label_width, const LayoutMeasures& m) {
    put.put(ID_FIRST_PAGE, x0, row, 34, 30);
    put.put(ID_PREV_PAGE, x0 + 39, row, 34, 30);
    put.put(ID_PAGE_NUMBER, x0 + 79, row + (30 - m.field_height) / 2, 62, m.field_height);
    const int go = std::max(42, m.caption(ID_GO));
    put.put(ID_GO, x0 + 147, row, go, 30);
    put.put(ID_NEXT_PAGE, x0 + 153 + go, row, 34, 30);
    put.put(ID_LAST_PAGE, x0 + 193 + go, row, 34, 30);
    put.put(ID_PAGE_LABEL, x0 + 239 + go, row + 5, at_least(label_width - (go - 42), 1), 25);
}

}  // namespace

MainLayout ui_main_layout(int width, int height, int dpi, const LayoutMeasures& measures) {
    MainLayout layout;
    Placer put(layout, dpi);
    const int w = ui_unscale(width, dpi);
    const int h = ui_unscale(height, dpi);
    const PanelColumns p = ui_panel_columns(w, measures);
    const int x0 = p.content_left + 12;              // controls of the grid panel
    const int content = p.content_right + 16 - p.content_left;
    const int label = content - 40 >= 2 ? content - 40 : 1;
    place_command_row(put, w, measures);

    put.put(ID_TREE_FILTER, 27, 183 + (31 - measures.field_height) / 2, p.tree_width - 4,
            measures.field_height);
    put.put(ID_TREE, 25, 224, p.tree_width, at_least(h - 294, 1));

    put.put(ID_BREADCRUMB, x0, 153, label, 24);
    put.put(ID_TABS, x0 - 2, 183, at_least(content - 36, 1), 31);
    place_filter_row(put, x0, x0 + std::max(content, 525) - 36, measures);
    put.put(ID_INFO, x0, 262, label, 22);
    put.put(ID_GRID, x0, 292, label, at_least(h - 411, 1));
    // The text view under its "Zeilenumbruch" box.
    put.put(ID_WRAP, x0, 229, std::max(160, measures.caption(ID_WRAP)), 24);
    put.put(ID_TEXT_VIEW, x0, 262, label, at_least(h - 335, 1));
    place_page_row(put, x0, h - 102, content - 321, measures);

    put.put(ID_DETAILS_CAPTION, p.details_left + 16, 155, p.details_width, 38);
    put.put(ID_DETAILS, p.details_left + 16, 203, p.details_width, at_least(h - 278, 1));
    layout.details_visible = p.details;

    const int cancel = std::max(77, measures.caption(ID_CANCEL));
    put.put(ID_PROGRESS, w - 16 - cancel - 237, h - 25, 226, 10);
    put.put(ID_CANCEL, w - 16 - cancel, h - 32, cancel, 25);
    return layout;
}

int ui_status_text_right(int width, int dpi, bool busy, const LayoutMeasures& measures) {
    const int w = ui_unscale(width, dpi);
    return busy ? w - 255 - std::max(77, measures.caption(ID_CANCEL)) : w - 18;
}

UiRect ui_start_window_rect(int dpi, const UiRect& work_area) {
    const int width = std::min(std::max(ui_scale(1360, dpi), ui_scale(960, dpi)), work_area.width);
    const int height = std::min(std::max(ui_scale(860, dpi), ui_scale(580, dpi)), work_area.height);
    return {work_area.x + (work_area.width - width) / 2, work_area.y + (work_area.height - height) / 2,
            width, height};
}

UiSize ui_min_window_size(int dpi, int screen_width, int screen_height) {
    return {std::min(ui_scale(960, dpi), screen_width - 16),
            std::min(ui_scale(580, dpi), screen_height - 55)};
}

UiRect ui_text_window_rect(int main_left, int main_top, int dpi) {
    return {main_left + ui_scale(90, dpi), main_top + ui_scale(50, dpi), ui_scale(900, dpi),
            ui_scale(640, dpi)};
}

TextWindowLayout ui_text_window_layout(int client_width, int client_height, int dpi) {
    TextWindowLayout t;
    t.edit = {ui_scale(14, dpi), ui_scale(14, dpi), client_width - ui_scale(28, dpi),
              client_height - ui_scale(70, dpi)};
    t.copy = {ui_scale(14, dpi), client_height - ui_scale(44, dpi), ui_scale(135, dpi),
              ui_scale(30, dpi)};
    t.wrap = {ui_scale(161, dpi), client_height - ui_scale(44, dpi), ui_scale(160, dpi),
              ui_scale(30, dpi)};
    t.close = {client_width - ui_scale(124, dpi), client_height - ui_scale(44, dpi),
               ui_scale(110, dpi), ui_scale(30, dpi)};
    return t;
}

}  // namespace kv
