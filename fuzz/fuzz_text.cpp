// Fuzz target: character set conversion and display lines of arbitrary bytes. Byte 0 picks the
// value kind (modulo 6), byte 1 the display cap (255: no cap), the rest is the value's text.
// Under UTF-8, Windows-1252, Latin-1 and an unknown code the UTF-8 check and text_to_utf8 must
// agree with the reference model (tests/records/reference.h), and the display line must be the
// kind's mark, or the "SQL: " prefix, the converted text up to the cap with control bytes
// escaped, and " …" exactly when the value was cut.
#include <cstdio>
#include <cstdlib>

#include "tests/records/reference.h"

namespace {

void expect(const char* finding) {
    if (finding == nullptr) return;
    std::fprintf(stderr, "fuzz_text: %s\n", finding);
    std::abort();
}

std::string expected_line(const kv::Value& value, kv::Charset charset, std::uint64_t cap) {
    if (value.kind == kv::VALUE_NULL) return "NULL";
    if (value.kind == kv::VALUE_NOT_IN_INSERT) return "\xE2\x80\x94 nicht im INSERT \xE2\x80\x94";
    const bool cut = value.text.size() > cap;
    std::string line = value.kind == kv::VALUE_SQL ? "SQL: " : "";
    for (const char c : kv::ref::to_utf8(std::string_view(value.text).substr(0, cut ? cap : value.text.size()), charset)) {
        const char* escape = c == 0 ? "\\0" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        if (escape != nullptr) line += escape;
        else line += static_cast<unsigned char>(c) < 32 ? '?' : c;
    }
    return cut ? line + " \xE2\x80\xA6" : line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    kv::Value value;
    value.kind = static_cast<kv::ValueKind>(data[0] % 6);
    const std::uint64_t cap = data[1] == 255 ? UINT64_MAX : data[1];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    if (kv::value_is_present(value)) value.text.assign(bytes);
    std::string line;
    for (const auto charset : {kv::CHARSET_UTF8, kv::CHARSET_WINDOWS_1252, kv::CHARSET_LATIN1,
                               static_cast<kv::Charset>(7)}) {
        expect(kv::ref::check_text(bytes, charset));
        expect(kv::value_display_text(value, charset, cap, line) ? nullptr : "display text failed");
        expect(line != expected_line(value, charset, cap) ? "display line differs" : nullptr);
    }
    return 0;
}
