// The formatter behind the catalogue's printf formats (labels, status lines, notes): printf
// into a fixed buffer of the caller's. Results longer than the buffer are cut and stay
// NUL-terminated; %llu and %016llx work on both platforms. Failures are not texts: they travel
// as Status values (foundation/status.h) and become text only where they are shown.
#pragma once

#include <cstdarg>
#include <cstddef>

#if defined(__MINGW32__)
#define KV_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define KV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace kv {

// printf-style into buffer[size]; returns the formatter's result, negative when the text was
// cut. When size is not 0 the last byte is always NUL.
int msg_format(char* buffer, std::size_t size, const char* format, ...) KV_PRINTF_FORMAT(3, 4);
int msg_vformat(char* buffer, std::size_t size, const char* format, va_list args);

}  // namespace kv
