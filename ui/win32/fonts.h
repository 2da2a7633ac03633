// The interface's five fonts (FONT_DEFS of ui/logic) made for one DPI. A window owns one set,
// deletes it with itself, and replaces it whole when its DPI changes: the new set is handed to
// the controls before the old one is deleted.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>

#include "ui/logic/paint_plan.h"

namespace kv {

class FontSet {
public:
    FontSet() = default;  // no fonts yet
    explicit FontSet(int dpi);
    ~FontSet();
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;
    FontSet(FontSet&& other) noexcept;
    FontSet& operator=(FontSet&& other) noexcept;

    HFONT get(UiFont font) const { return fonts_[static_cast<std::size_t>(font)]; }

private:
    void release();
    std::array<HFONT, FONT_COUNT> fonts_{};
};

}  // namespace kv
