// Operation messages: the formatter behind every German failure text and formatted label.
//
// Failures are reported by a false/-1 result plus one fixed sentence in a 1,024-byte message
// buffer of the record the operation works on. Texts are always written with the format "%s",
// so a '%' inside a text is never interpreted. Results longer than the buffer are cut and stay
// NUL-terminated; %llu and %016llx work on both platforms.
#pragma once

#include <cstdarg>
#include <cstddef>

#if defined(__MINGW32__)
#define KV_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define KV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace kv {

inline constexpr std::size_t MESSAGE_SIZE = 1024;

// printf-style into buffer[size]; returns the formatter's result, negative when the text was
// cut. When size is not 0 the last byte is always NUL.
int msg_format(char* buffer, std::size_t size, const char* format, ...) KV_PRINTF_FORMAT(3, 4);
int msg_vformat(char* buffer, std::size_t size, const char* format, va_list args);

// Writes a fixed sentence into a message buffer with the format "%s".
template <std::size_t N>
inline void msg_set(char (&buffer)[N], const char* text) {
    msg_format(buffer, N, "%s", text);
}

}  // namespace kv
