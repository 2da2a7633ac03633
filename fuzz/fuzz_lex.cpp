// Fuzz target: the lexical rules of dump text on arbitrary bytes. Byte 0 picks the escape mode
// (its lowest bit: 1 NO_BACKSLASH_ESCAPES), the rest is the text. Comment starts and ends (also
// of executable comments holding strings and comments), string ends by the general walker,
// the fast scan and the decoding walk, item ends, the 64-byte quote masks and the stop
// searches must agree with the byte-by-byte model (tests/foundation/lex_model.h, shared with
// the foundation tests). Texts stay below 1 KiB (run-fuzz.sh): the model is quadratic.
#include <cstdio>
#include <cstdlib>

#include "tests/foundation/lex_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const kv::EscapeMode mode = kv::escape_mode_of((data[0] & 1) != 0);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string finding = kv::test::lex_model_check(text, mode);
    if (!finding.empty()) {
        std::fprintf(stderr, "fuzz_lex: %s\n", finding.c_str());
        std::abort();
    }
    return 0;
}
