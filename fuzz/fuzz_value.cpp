// Fuzz target: splitting arbitrary bytes into values and classifying each one, under both
// escape modes (backslash escapes on and NO_BACKSLASH_ESCAPES).
//
// The input is treated as the inside of a VALUES tuple: value_find_end splits it, and every
// piece goes through value_decode and literal_classify. The whole input is classified once as
// well. Results are checked for the contracts every caller relies on: an end position is a
// ',' or ')' inside the span, a value never grows beyond what its source allows, and the kinds
// without text carry none. The fast paths are checked against them: value_decode_plain must
// agree with the general path wherever it accepts a value, and the filter's raw test must
// never reject the tuple "(" + input + ")" for a text taken from one of its decoded values, and
// the CSV export's fast row writer must write that tuple's row as the general path does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/sql_lex.h"
#include "records/display_text.h"
#include "records/filter.h"
#include "records/value.h"
#include "tests/records/csv_row_reference.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_value: %s\n", what);
    std::abort();
}

void check_value(std::string_view source, const kv::Value& value) {
    if (value.kind < kv::VALUE_NULL || value.kind > kv::VALUE_SQL) finding("kind out of range");
    if (!kv::value_is_present(value) && !value.text.empty()) finding("NULL with text");
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

// The fast path at a start position, where it accepts a value.
void check_plain_path(const std::uint8_t* data, std::size_t size, std::size_t start,
                      bool no_backslash) {
    kv::Value fast;
    kv::Value general;
    const std::size_t end = kv::value_decode_plain(data, size, start, no_backslash, fast);
    if (end >= size) return;
    if (end != kv::value_find_end(data, size, start, no_backslash)) {
        finding("value_decode_plain ends elsewhere than value_find_end");
    }
    const std::string_view source(reinterpret_cast<const char*>(data) + start, end - start);
    if (!kv::value_decode(source, no_backslash, general)) finding("value_decode failed");
    if (fast.kind != general.kind || fast.text != general.text) {
        finding("value_decode_plain disagrees with value_decode");
    }
}

// Texts cut from the decoded values (converted under each character set) must all pass the
// raw test of the whole tuple.
void check_raw_filter(std::string_view inside, bool no_backslash) {
    const std::string tuple = "(" + std::string(inside) + ")";
    const auto* t = reinterpret_cast<const unsigned char*>(tuple.data());
    kv::Value value;
    std::string text;
    std::uint64_t p = 1;
    for (;;) {
        const std::uint64_t k = kv::value_find_end(t, tuple.size(), p, no_backslash);
        if (k >= tuple.size()) return;
        const std::string_view source = std::string_view(tuple).substr(p, k - p);
        if (!kv::value_decode(source, no_backslash, value)) finding("value_decode failed");
        for (int charset = 0; charset < 3 && kv::value_is_present(value); ++charset) {
            if (!kv::text_to_utf8(value.text, static_cast<kv::Charset>(charset), text)) return;
            for (std::size_t from = 0; from < text.size(); from += 1 + text.size() / 4) {
                const std::string pattern = text.substr(from, 1 + (text.size() - from) / 2);
                kv::RawFilter raw;
                kv::raw_filter_init(raw, kv::FILTER_CONTAINS, pattern,
                                    static_cast<kv::Charset>(charset));
                if (!kv::raw_filter_may_match(raw, t, tuple.size(), no_backslash)) {
                    finding("raw filter rejects a tuple whose value holds the text");
                }
            }
        }
        if (t[k] == ')') return;
        p = k + 1;
    }
}

// The CSV row the fast writer gives for the tuple "(" + input + ")", in a table of as many
// columns as the tuple has values (every other one binary for inputs of odd length), must be
// the general path's row wherever the writer accepts it.
void check_csv_row(std::string_view inside, bool no_backslash) {
    const std::string tuple = "(" + std::string(inside) + ")";
    const auto* t = reinterpret_cast<const unsigned char*>(tuple.data());
    std::vector<std::uint8_t> binary;
    for (std::uint64_t p = 1; binary.size() < 64;) {
        const std::uint64_t k = kv::value_find_end(t, tuple.size(), p, no_backslash);
        if (k >= tuple.size()) return;
        binary.push_back(inside.size() % 2 == 1 && binary.size() % 2 == 1 ? 1 : 0);
        if (t[k] == ')') break;
        p = k + 1;
    }
    const kv::test::Table table(binary.size(), binary);
    for (const kv::Charset charset : {kv::CHARSET_UTF8, kv::CHARSET_WINDOWS_1252}) {
        const std::string fast = kv::test::fast_row(
            table, tuple, no_backslash ? kv::LAYOUT_NO_BACKSLASH : 0, charset, true);
        if (fast.empty()) continue;
        std::string reference;
        if (!kv::test::reference_row(tuple, binary, no_backslash, charset, true, reference)) {
            finding("fast CSV row writer accepts a row the decoder refuses");
        }
        if (fast != reference) finding("fast CSV row differs from the general path");
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
            check_plain_path(data, size, p, no_backslash);
            p = k + 1;
        }
        classify(bytes, no_backslash, value, literal);
        // Every start position of small inputs (the fast path may start anywhere).
        for (std::size_t start = 0; size <= 512 && start < size; ++start) {
            check_plain_path(data, size, start, no_backslash);
        }
        if (size <= 4096) check_raw_filter(bytes, no_backslash);
        if (size <= 4096) check_csv_row(bytes, no_backslash);
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
