// Fuzz target: splitting arbitrary bytes into values and classifying each one, under both
// escape modes (backslash escapes on and NO_BACKSLASH_ESCAPES).
//
// The input is treated as the inside of a VALUES tuple: value_find_end splits it, and every
// piece goes through value_decode and literal_classify. The whole input is classified once as
// well. Results are checked for the contracts every caller relies on: an end position is a
// ',' or ')' inside the span, a value never grows beyond what its source allows, and the kinds without
// text carry none.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/sql_lex.h"
#include "records/value.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_value: %s\n", what);
    std::abort();
}

void check_value(std::string_view source, const kv::Value& value) {
    if (value.kind < kv::VALUE_NULL || value.kind > kv::VALUE_SQL) finding("kind out of range");
    if (!kv::value_has_text(value) && !value.text.empty()) finding("NULL with text");
    // Unescaping and comment removal only shrink; a _binary string becomes "0x" and two hex
    // digits per byte.
    const std::size_t limit =
        value.kind == kv::VALUE_BINARY ? 2 + 2 * source.size() : source.size();
    if (value.text.size() > limit) finding("value longer than its source allows");
    if (kv::value_kind_label(value.kind)[0] == '\0') finding("kind without label");
}

void classify(std::string_view source, bool no_backslash, kv::Value& value,
              kv::Value& literal) {
    if (!kv::value_decode(source, no_backslash, value)) finding("value_decode failed");
    check_value(source, value);
    if (!kv::literal_classify(source, no_backslash, literal)) finding("literal_classify failed");
    check_value(source, literal);
    // Without '#', '-' and '/' the source holds no comment, so removing comments first must
    // not change the result.
    if (source.find_first_of("#-/") == std::string_view::npos &&
        (value.kind != literal.kind || value.text != literal.text)) {
        finding("value_decode and literal_classify disagree on a source without comments");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kv::Value value;
    kv::Value literal;
    for (bool no_backslash : {false, true}) {
        std::uint64_t p = 0;
        while (p <= size) {
            const std::uint64_t k = kv::value_find_end(data, size, p, no_backslash);
            if (k >= size) {
                classify(bytes.substr(p), no_backslash, value, literal);
                break;
            }
            if (k < p || (data[k] != ',' && data[k] != ')')) finding("bad end position");
            classify(bytes.substr(p, k - p), no_backslash, value, literal);
            p = k + 1;
        }
        classify(bytes, no_backslash, value, literal);
        const std::uint64_t skipped = kv::span_skip_blanks(data, size, 0);
        if (skipped > size) finding("span_skip_blanks beyond the span");
    }
    std::string hex;
    if (!kv::hex_encode(bytes, hex) || hex.size() != 2 + 2 * size) {
        // hex_encode writes "0x" plus two digits per byte.
        finding("hex_encode length");
    }
    kv::binary_type_test(bytes);
    return 0;
}
