// Fuzz target: arbitrary bytes as the inside of a VALUES tuple, split by value_find_end and
// classified by value_decode and literal_classify under both escape modes. Every piece must
// keep the contracts callers rely on (an end is a ',' or ')' inside the span; a value never
// outgrows its source; NULL kinds carry no text), and the fast paths must agree with their
// reference models (tests/records/reference.h): the plain value path at every start, the fast
// CSV row writer and the filter's raw test for texts cut from the decoded values.
#include <cstdio>
#include <cstdlib>

#include "tests/records/reference.h"

namespace {

void expect(const char* finding) {
    if (finding == nullptr) return;
    std::fprintf(stderr, "fuzz_value: %s\n", finding);
    std::abort();
}

void classify(std::string_view source, bool no_backslash) {
    kv::Value values[2];
    expect(kv::value_decode(source, no_backslash, values[0]) ? nullptr : "value_decode failed");
    expect(kv::literal_classify(source, no_backslash, values[1]) ? nullptr : "literal_classify failed");
    for (const kv::Value& v : values) {
        const std::size_t limit = v.kind == kv::VALUE_BINARY ? 2 + 2 * source.size() : source.size();
        expect(v.text.size() > limit ? "value longer than its source allows" : nullptr);
        expect(!kv::value_is_present(v) && !v.text.empty() ? "NULL with text" : nullptr);
    }
    // Without '#', '-' and '/' there is no comment to remove first.
    expect(source.find_first_of("#-/") == std::string_view::npos &&
                   (values[0].kind != values[1].kind || values[0].text != values[1].text)
               ? "value_decode and literal_classify disagree"
               : nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string tuple = "(" + std::string(bytes) + ")";
    bool taken = false, match = false, rejected = false;
    for (const bool no_backslash : {false, true}) {
        std::vector<std::uint8_t> binary;
        for (std::uint64_t p = 0;;) {
            const std::uint64_t k = kv::value_find_end(data, size, p, no_backslash);
            classify(bytes.substr(p, k - p), no_backslash);
            binary.push_back(size % 2 == 1 && binary.size() % 2 == 1);  // odd sizes: binary columns
            if (k >= size) break;
            expect(k < p || (data[k] != ',' && data[k] != ')') ? "bad end position" : nullptr);
            p = k + 1;
        }
        classify(bytes, no_backslash);
        for (std::size_t start = 0; size <= 512 && start < size; ++start) {
            expect(kv::ref::check_plain_value(bytes, start, no_backslash, taken));
        }
        std::vector<kv::Value> values;
        if (size > 4096 || binary.size() > 64 || !kv::ref::split_tuple(tuple, binary, no_backslash, values)) continue;
        for (const kv::Charset charset : {kv::CHARSET_UTF8, kv::CHARSET_WINDOWS_1252, kv::CHARSET_LATIN1}) {
            expect(kv::ref::check_csv_row(tuple, binary, no_backslash, charset, true, taken));
            for (const kv::Value& v : values) {
                const std::string text = kv::ref::to_utf8(v.text, charset);
                for (std::size_t from = 0; kv::value_is_present(v) && from < text.size(); from += 1 + text.size() / 4) {
                    expect(kv::ref::check_raw_filter(tuple, values, no_backslash, kv::FILTER_CONTAINS,
                                                     text.substr(from, 1 + (text.size() - from) / 2),
                                                     charset, match, rejected));
                }
            }
        }
    }
    return 0;
}
