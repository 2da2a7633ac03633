// The main window's controls: one table in creation (= Tab) order with class, style and first
// content, and the settings each kind needs (fonts, limits, cue banners, colours, themes, the
// tree's images). Created at 10 × 10; the window's layout places them.
//
// MainControls holds the 31 handles (the window system owns the controls) and owns the tree's
// image list, which it destroys with itself, after the controls are gone.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <vector>

#include "ui/logic/window_layout.h"
#include "ui/win32/fonts.h"

namespace kv {

class MainControls {
public:
    MainControls() = default;
    ~MainControls();
    MainControls(const MainControls&) = delete;
    MainControls& operator=(const MainControls&) = delete;

    // Creates every control of parent with fonts at dpi; a control that cannot be made stays
    // null.
    void create(HWND parent, HINSTANCE instance, const FontSet& fonts, int dpi);
    // The fonts after a DPI change (the progress bar has none) and the tree's line height.
    void set_fonts(const FontSet& fonts, int dpi);
    // Forgets the handles: the controls are being destroyed with their window.
    void forget();
    // Fills the captions (buttons; the tree filter's cue) and the field height of measures
    // from the controls' current fonts at dpi.
    void measure(int dpi, LayoutMeasures& measures) const;
    // Records a control made anew in place of the one with id (a text field rewrapped).
    void replace(int id, HWND control);

    // The control with command number id; null when unknown or not made.
    HWND of(int id) const;
    const std::array<HWND, CONTROL_COUNT>& all() const { return handles_; }  // CONTROL_ORDER
    const std::vector<HWND>& buttons() const { return buttons_; }  // the owner-drawn ones

private:
    std::array<HWND, CONTROL_COUNT> handles_{};
    std::vector<HWND> buttons_;
    HIMAGELIST tree_images_ = nullptr;
};

// The filter bar for a table (four operators, "Filtern", the filter's cue) or for the search
// over the whole dump ("enthält" and "entspricht", "Suchen", the search's cue). The operator
// list is filled anew only when it changes; its choice is then the first.
void ui_filter_bar_texts(const MainControls& controls, bool search);

}  // namespace kv
