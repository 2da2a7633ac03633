// Fuzz target: character set conversion and display lines of arbitrary bytes. Byte 0 picks the
// value kind (modulo 6), byte 1 the display cap (255: no cap), the rest is the value's text.
// Under every character set and an unknown code the UTF-8 check, text_to_utf8 and the display
// line must agree with their reference models (tests/records/reference.h, shared with the
// differential test).
#include <cstdio>
#include <cstdlib>

#include "tests/records/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const auto kind = static_cast<kv::ValueKind>(data[0] % 6);
    const std::uint64_t cap = data[1] == 255 ? UINT64_MAX : data[1];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    for (std::uint32_t code = 0; code <= kv::CHARSET_COUNT; ++code) {  // and one unknown code
        const auto charset = static_cast<kv::Charset>(code);
        if (const char* finding = kv::ref::check_text(bytes, charset, kind, cap)) {
            std::fprintf(stderr, "fuzz_text: %s\n", finding);
            std::abort();
        }
    }
    return 0;
}
