// Geometry of the desktop window, computed without any window: where every control of the main
// window goes for a client size and DPI, the size and place of the window at start-up, its
// minimum size, the text window and its controls. The Win32 shell only moves controls to these
// rectangles; every number of the layout lives here once.
//
// Lengths are given in logical units (96 DPI) and scaled with (v × DPI + 48) / 96. Client
// sizes up to 32,767 pixels and DPI values from 96 to 960 are handled without overflow.
#pragma once

#include <array>
#include <cstdint>

namespace kv {

// Command numbers of the main window's controls; they are also the controls' ids.
enum ControlId : int {
    ID_OPEN = 101,
    ID_DEMO = 102,
    ID_RECENT = 109,
    ID_EXPORT = 103,
    ID_TUPLE = 104,
    ID_REINDEX = 105,
    ID_CHARSET = 106,
    ID_CACHE = 107,
    ID_HELP = 108,
    ID_TREE = 110,
    ID_TREE_FILTER = 111,
    ID_TABS = 112,
    ID_GRID = 113,
    ID_FILTER_COLUMN = 114,
    ID_FILTER_OP = 115,
    ID_FILTER_VALUE = 116,
    ID_FILTER = 117,
    ID_RESET = 118,
    ID_FIRST_PAGE = 120,
    ID_PREV_PAGE = 121,
    ID_PAGE_NUMBER = 122,
    ID_GO = 123,
    ID_NEXT_PAGE = 124,
    ID_LAST_PAGE = 125,
    ID_CANCEL = 126,
    ID_DETAILS = 130,
    ID_TEXT_VIEW = 131,
    ID_PAGE_LABEL = 132,
    ID_BREADCRUMB = 133,
    ID_INFO = 134,
    ID_DETAILS_CAPTION = 135,
    ID_WRAP = 136,
    ID_PROGRESS = 140,
};

inline constexpr int CONTROL_COUNT = 33;

// The controls in creation order, which is also the keyboard Tab order.
inline constexpr std::array<int, CONTROL_COUNT> CONTROL_ORDER = {
    ID_OPEN,         ID_RECENT,       ID_DEMO,       ID_EXPORT,       ID_TUPLE,        ID_REINDEX,
    ID_CACHE,        ID_HELP,         ID_CHARSET,    ID_TREE_FILTER,  ID_TREE,
    ID_BREADCRUMB,   ID_TABS,         ID_FILTER_COLUMN, ID_FILTER_OP, ID_FILTER_VALUE,
    ID_FILTER,       ID_RESET,        ID_INFO,       ID_GRID,         ID_WRAP,
    ID_TEXT_VIEW,
    ID_FIRST_PAGE,   ID_PREV_PAGE,    ID_PAGE_NUMBER, ID_GO,          ID_NEXT_PAGE,
    ID_LAST_PAGE,    ID_PAGE_LABEL,   ID_DETAILS_CAPTION, ID_DETAILS, ID_PROGRESS,
    ID_CANCEL};

// Position of control id in CONTROL_ORDER; -1 for an unknown id.
int ui_control_index(int id);

struct UiRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const UiRect&) const = default;
};

struct UiSize {
    int width = 0;
    int height = 0;
    bool operator==(const UiSize&) const = default;
};

// (v × dpi + 48) / 96: a length at 96 DPI in pixels, rounded to the nearest.
int ui_scale(int v, int dpi);
// Pixels in logical units: v × 96 / dpi, rounded down.
int ui_unscale(int v, int dpi);

// Widths at which the layout changes: the details column from 1,180 logical units, the wide
// "Demo laden" button from 1,000.
inline constexpr int DETAILS_MIN_WIDTH = 1180;
inline constexpr int WIDE_DEMO_MIN_WIDTH = 1000;

// Sizes inside controls: the tree's line height and image size, and the width of the filter
// column box's dropped-down list.
inline constexpr int TREE_ITEM_HEIGHT = 27;
inline constexpr int TREE_IMAGE_SIZE = 17;
inline constexpr int FILTER_COLUMN_DROP_WIDTH = 300;

// What the layout takes from outside, in logical units: the widths the user gave the tree and
// the details column with the splitters, the captions' widths as the shell measured them in
// the actual font (0: not measured; a button is never narrower than its layout width), and
// the height of a single-line field (edit field, closed combo box) in that font, centred on
// the buttons beside it.
inline constexpr int TREE_DEFAULT_WIDTH = 198;
inline constexpr int TREE_MIN_WIDTH = 150;
inline constexpr int DETAILS_DEFAULT_WIDTH = 202;
inline constexpr int DETAILS_MIN_PANE_WIDTH = 160;
inline constexpr int CONTENT_MIN_WIDTH = 600;  // the grid panel; the splitters stop there
inline constexpr int FIELD_DEFAULT_HEIGHT = 24;
struct LayoutMeasures {
    int tree_width = TREE_DEFAULT_WIDTH;
    int details_width = DETAILS_DEFAULT_WIDTH;
    std::array<int, CONTROL_COUNT> captions{};  // by position in CONTROL_ORDER
    int field_height = FIELD_DEFAULT_HEIGHT;
    // The caption width of control id (0 for an unknown id or none measured).
    int caption(int id) const;
};

// The three panels' columns for a client width in logical units: where the tree panel ends,
// the grid panel begins and ends, and the details panel begins (when shown). The widths of
// the measures are kept within their minimums and what leaves the grid panel at least
// CONTENT_MIN_WIDTH (when the window is too narrow even for that, the minimums win). The
// tree is never narrower than its filter field's measured cue needs.
struct PanelColumns {
    int tree_width = TREE_DEFAULT_WIDTH;
    int details_width = DETAILS_DEFAULT_WIDTH;
    bool details = false;
    int tree_right = 232;     // tree panel: 16 .. tree_right
    int content_left = 248;   // grid panel: content_left .. content_right
    int content_right = 0;
    int details_left = 0;     // details panel: details_left .. width - 16
};
PanelColumns ui_panel_columns(int width, const LayoutMeasures& measures);

// The splitters: the 16-unit gaps between the panels, which the user drags.
enum class Splitter { none, tree, details };
// The splitter under the client point (x, y) in pixels.
Splitter ui_splitter_at(int x, int y, int width, int height, int dpi,
                        const LayoutMeasures& measures);
// The measures after dragging splitter to client x (pixels), clamped as ui_panel_columns does.
LayoutMeasures ui_splitter_drag(Splitter splitter, int x, int width, int dpi,
                                LayoutMeasures measures);
// The measures after a keyboard step: the tree or the details column wider (+1) or narrower
// (-1) by SPLITTER_KEY_STEP units.
inline constexpr int SPLITTER_KEY_STEP = 24;
LayoutMeasures ui_splitter_step(Splitter splitter, int direction, int width, int dpi,
                                LayoutMeasures measures);

struct MainLayout {
    // Pixel rectangle of each control, by its position in CONTROL_ORDER.
    std::array<UiRect, CONTROL_COUNT> rects{};
    bool details_visible = false;
    // The rectangle of control id (an empty one for an unknown id).
    UiRect of(int id) const;
};

// Places every control for a client area of width × height pixels at dpi.
MainLayout ui_main_layout(int width, int height, int dpi, const LayoutMeasures& measures = {});
// Where the status line's text ends (logical units): before the progress bar and "Abbrechen"
// while busy, 18 before the edge otherwise.
int ui_status_text_right(int width, int dpi, bool busy, const LayoutMeasures& measures);

// The main window at start-up on a monitor at dpi whose work area (the screen less task bars,
// in screen pixels) is work_area: 1,360 × 860 scaled, never below the scaled minimum of
// 960 × 580, at most the work area, centred in it.
UiRect ui_start_window_rect(int dpi, const UiRect& work_area);

// Minimum tracking size: 960 × 580 scaled, but at most the screen less 16 × 55.
UiSize ui_min_window_size(int dpi, int screen_width, int screen_height);

// The text window: 900 × 640 scaled, at the main window's left + 90 and top + 50 (scaled).
UiRect ui_text_window_rect(int main_left, int main_top, int dpi);

// The text window's edit field, "Alles kopieren", "Zeilenumbruch" and "Schließen" for its
// client size.
struct TextWindowLayout {
    UiRect edit;
    UiRect copy;
    UiRect wrap;  // "Zeilenumbruch"
    UiRect close;
};
TextWindowLayout ui_text_window_layout(int client_width, int client_height, int dpi);

}  // namespace kv
