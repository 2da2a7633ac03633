// Catalogue formats into strings (see format_text.h).
#include "ui/logic/format_text.h"

#include <cstdarg>

namespace kv {

std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = msg_vformat(nullptr, 0, format, measure);
    va_end(measure);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        msg_vformat(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(args);
    return text;
}

}  // namespace kv
