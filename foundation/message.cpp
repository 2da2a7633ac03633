// Message formatter: vsnprintf with guaranteed termination. Both the glibc and the mingw-w64
// (C99, __USE_MINGW_ANSI_STDIO) formatters accept %llu and %016llx, so no format rewriting
// is needed.
#include "foundation/message.h"

#include <cstdio>

namespace kv {

int msg_vformat(char* buffer, std::size_t size, const char* format, va_list args) {
    int result = std::vsnprintf(buffer, size, format, args);
    if (size != 0) {
        // vsnprintf returns the length it wanted; a text that did not fit counts as cut.
        if (result >= 0 && static_cast<std::size_t>(result) >= size) result = -1;
        buffer[size - 1] = '\0';
    }
    return result;
}

int msg_format(char* buffer, std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = msg_vformat(buffer, size, format, args);
    va_end(args);
    return result;
}

}  // namespace kv
