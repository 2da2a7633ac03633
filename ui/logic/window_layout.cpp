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

MainLayout ui_main_layout(int width, int height, int dpi) {
    MainLayout layout;
    Placer put(layout, dpi);
    const int w = ui_unscale(width, dpi);
    const int h = ui_unscale(height, dpi);
    const int content = w < DETAILS_MIN_WIDTH ? w - 248 : w - 498;
    const int label = content - 40 >= 2 ? content - 40 : 1;
    const int filter = content >= 526 ? content : 525;

    // Command row: eight slots from x 16, 8 apart; the character set box's height includes
    // its dropped-down list.
    struct Slot {
        int id;
        int width;
        int height;
    };
    const Slot slots[] = {
        {ID_OPEN, 142, 33},   {ID_DEMO, w < WIDE_DEMO_MIN_WIDTH ? 76 : 96, 33},
        {ID_EXPORT, 132, 33}, {ID_TUPLE, 126, 33},
        {ID_REINDEX, 120, 33}, {ID_CHARSET, 136, 240},
        {ID_CACHE, 76, 33},   {ID_HELP, 64, 33},
    };
    int x = 16;
    for (const Slot& s : slots) {
        put.put(s.id, x, 99, s.width, s.height);
        x += s.width + 8;
    }

    put.put(ID_TREE_FILTER, 27, 183, 194, 30);
    put.put(ID_TREE, 25, 224, 198, at_least(h - 294, 1));

    put.put(ID_BREADCRUMB, 260, 153, label, 24);
    put.put(ID_TABS, 258, 183, at_least(content - 36, 1), 31);

    put.put(ID_FILTER_COLUMN, 260, 226, 139, 280);
    put.put(ID_FILTER_OP, 405, 226, 119, 180);
    put.put(ID_FILTER_VALUE, 530, 226, filter - 445, 29);
    put.put(ID_FILTER, filter + 91, 226, 70, 29);
    put.put(ID_RESET, filter + 167, 226, 57, 29);

    put.put(ID_INFO, 260, 262, label, 22);
    put.put(ID_GRID, 260, 292, label, at_least(h - 411, 1));
    put.put(ID_TEXT_VIEW, 260, 229, label, at_least(h - 302, 1));

    const int row = h - 102;
    put.put(ID_FIRST_PAGE, 260, row, 34, 30);
    put.put(ID_PREV_PAGE, 299, row, 34, 30);
    put.put(ID_PAGE_NUMBER, 339, row, 62, 30);
    put.put(ID_GO, 407, row, 42, 30);
    put.put(ID_NEXT_PAGE, 455, row, 34, 30);
    put.put(ID_LAST_PAGE, 495, row, 34, 30);
    put.put(ID_PAGE_LABEL, 541, h - 97, at_least(content - 321, 1), 25);

    put.put(ID_DETAILS_CAPTION, w - 234, 155, 202, 38);
    put.put(ID_DETAILS, w - 234, 203, 202, at_least(h - 278, 1));
    layout.details_visible = w >= DETAILS_MIN_WIDTH;

    put.put(ID_PROGRESS, w - 330, h - 25, 226, 10);
    put.put(ID_CANCEL, w - 93, h - 32, 77, 25);
    return layout;
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
    t.close = {client_width - ui_scale(124, dpi), client_height - ui_scale(44, dpi),
               ui_scale(110, dpi), ui_scale(30, dpi)};
    return t;
}

}  // namespace kv
