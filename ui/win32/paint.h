// Painting of the main window: the paint list of ui/logic drawn into an off-screen bitmap (so
// that nothing flickers although nothing is erased), and the owner-drawn buttons. The images
// the window paints (the program icon at 64 × 64 and the banner) and its brushes are owned by
// records that release them with themselves.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "ui/logic/paint_plan.h"
#include "ui/win32/fonts.h"

namespace kv {

// A palette colour as the GDI takes it.
inline COLORREF ui_rgb(UiColor c) { return RGB(c.r, c.g, c.b); }

class ProgramImages {
public:
    ProgramImages() = default;  // none loaded
    ~ProgramImages();
    ProgramImages(const ProgramImages&) = delete;
    ProgramImages& operator=(const ProgramImages&) = delete;

    // Loads the images from the program's resources; a missing one stays null.
    void load(HINSTANCE instance);
    HICON icon() const { return icon_; }
    HBITMAP banner() const { return banner_; }

private:
    HICON icon_ = nullptr;
    HBITMAP banner_ = nullptr;
};

// A solid brush of one palette colour, deleted with the record.
class SolidBrush {
public:
    SolidBrush() = default;  // none yet
    ~SolidBrush();
    SolidBrush(const SolidBrush&) = delete;
    SolidBrush& operator=(const SolidBrush&) = delete;

    void make(UiColor color);
    HBRUSH get() const { return brush_; }

private:
    HBRUSH brush_ = nullptr;
};

// Answers WM_PAINT of the main window: ui_main_paint's list for its client size and dpi.
void paint_main_window(HWND window, const FontSet& fonts, const ProgramImages& images, int dpi,
                       const LayoutMeasures& measures, bool dump_open, bool busy,
                       const std::string& status);
// Draws one owner-drawn button (WM_DRAWITEM); the button's command number is its user data.
void paint_button(const DRAWITEMSTRUCT& item, const FontSet& fonts, int dpi);

}  // namespace kv
