// What the main window paints, computed without any window: the list of fills, images and
// texts of the header, the panels, the empty state and the status line for a client size, DPI
// and state; the fonts, the colours (the one palette of the window, grid and controls
// included) and the look of the owner-drawn buttons. The Win32 paint handler draws the list in
// order and adds nothing of its own.
//
// Coordinates are pixels (scaled from logical units with ui_scale); texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/logic/window_layout.h"

namespace kv {

struct UiColor {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const UiColor&) const = default;
};

inline constexpr UiColor UI_COLOR_WHITE{255, 255, 255};
inline constexpr UiColor UI_COLOR_BACKGROUND{244, 248, 251};
inline constexpr UiColor UI_COLOR_LINE{219, 231, 240};
inline constexpr UiColor UI_COLOR_CONTROL_TEXT{39, 70, 97};  // edit fields, static texts, lists
inline constexpr UiColor UI_COLOR_TREE_TEXT{39, 72, 101};
inline constexpr UiColor UI_COLOR_GRID_TEXT{38, 63, 85};     // row numbers, text and numbers
inline constexpr UiColor UI_COLOR_GRID_STRIPE{246, 250, 253};  // every other grid row
inline constexpr UiColor UI_COLOR_VALUE_ABSENT{136, 152, 166};  // NULL, not in the INSERT
inline constexpr UiColor UI_COLOR_VALUE_BINARY{41, 129, 175};
inline constexpr UiColor UI_COLOR_VALUE_SQL{147, 102, 50};     // SQL expressions

// The text colour of a value of kind (a ValueKind) in the grid.
UiColor ui_value_color(int kind);

enum UiFont : int { FONT_UI, FONT_BOLD, FONT_LARGE, FONT_SMALL, FONT_MONO, FONT_COUNT };

struct FontDef {
    const char* face;
    int height;  // character height at 96 DPI
    int weight;
};
inline constexpr FontDef FONT_DEFS[FONT_COUNT] = {
    {"Segoe UI", 14, 400}, {"Segoe UI", 14, 600}, {"Segoe UI", 24, 600},
    {"Segoe UI", 12, 400}, {"Consolas", 13, 400}};

enum PaintKind : int { PAINT_FILL, PAINT_ICON, PAINT_BANNER, PAINT_TEXT };
enum TextAlign : int { ALIGN_LEFT, ALIGN_CENTER, ALIGN_RIGHT };

struct PaintOp {
    PaintKind kind = PAINT_FILL;
    UiRect rect;
    UiColor color;              // fill or text colour
    UiFont font = FONT_UI;      // texts
    TextAlign align = ALIGN_LEFT;
    bool wrap = false;          // texts: word wrap, else a single line
    bool ellipsis = false;      // texts: cut with "…" at the end
    std::string text;
    bool operator==(const PaintOp&) const = default;
};

// The main window's paint list for a client area of width × height pixels, its panels where
// the measures' splitters put them. The status text ends where ui_status_text_right says.
std::vector<PaintOp> ui_main_paint(int width, int height, int dpi,
                                   const LayoutMeasures& measures, bool dump_open, bool busy,
                                   const std::string& status_text);

// The owner-drawn buttons: "Dump öffnen …" and "Filtern" are accent buttons; disabled wins
// over accent, pressed darkens the accent fill only.
struct ButtonLook {
    UiColor fill;
    UiColor border;
    UiColor text;
};
ButtonLook ui_button_look(int id, bool enabled, bool pressed);
// The colour behind a button's rounded corners: the window background for the command row,
// white for the buttons on the panels and the status strip.
UiColor ui_button_backdrop(int id);
inline constexpr int BUTTON_CORNER = 7;       // rounded corners, logical units
inline constexpr int BUTTON_TEXT_INSET = 5;   // caption inset left and right
inline constexpr int BUTTON_FOCUS_INSET = 3;  // focus rectangle inset

}  // namespace kv
