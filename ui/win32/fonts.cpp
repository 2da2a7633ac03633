// The interface's fonts at one DPI (see fonts.h).
#include "ui/win32/fonts.h"

#include "ui/logic/window_layout.h"
#include "ui/win32/text_io.h"

namespace kv {

FontSet::FontSet(int dpi) {
    for (int f = 0; f < FONT_COUNT; ++f) {
        const FontDef& def = FONT_DEFS[f];
        fonts_[static_cast<std::size_t>(f)] =
            CreateFontW(-ui_scale(def.height, dpi), 0, 0, 0, def.weight, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        CLEARTYPE_QUALITY, DEFAULT_PITCH, ui_wide(def.face).c_str());
    }
}

FontSet::~FontSet() { release(); }

FontSet::FontSet(FontSet&& other) noexcept : fonts_(other.fonts_) { other.fonts_.fill(nullptr); }

FontSet& FontSet::operator=(FontSet&& other) noexcept {
    if (this != &other) {
        release();
        fonts_ = other.fonts_;
        other.fonts_.fill(nullptr);
    }
    return *this;
}

void FontSet::release() {
    for (HFONT& f : fonts_) {
        if (f != nullptr) DeleteObject(f);
        f = nullptr;
    }
}

}  // namespace kv
