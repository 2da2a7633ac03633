// The shared quote rule (foundation/sql_quote.h): its fast entry (scan_quoted, at every cut
// of the window) and its general entry (sql_quoted_walk) against a byte-by-byte model, on
// tricky strings and generated ones, for all quotes and both escape modes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/sql_quote.h"

namespace kv {
namespace {

// Byte by byte: the closing quote's position (or n) and the decoded text.
std::size_t model(const std::string& s, unsigned char q, bool escapes, std::string& text) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool doubled = c == q && i + 1 < s.size() && s[i + 1] == s[i];
        if (c == q && !doubled) return i;
        if (doubled || c != '\\' || !escapes) {
            text += s[i += doubled];  // a doubled quote stands for one
        } else if (++i < s.size()) {
            const int b = escape_byte(static_cast<unsigned char>(s[i]));
            if (b < 0) text += '\\';
            text += static_cast<char>(b < 0 ? s[i] : b);
        }
    }
    return s.size();
}

void check(const std::string& s, unsigned char q, bool escapes) {
    SCOPED_TRACE(s);
    std::string want;
    const std::size_t end = model(s, q, escapes, want);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::string got;
    const auto literal = [&](const unsigned char* r, std::size_t k) { got.append(r, r + k); };
    const auto decoded = [&](unsigned char b) { got += static_cast<char>(b); };
    ASSERT_EQ(sql_quoted_walk(p, s.size(), q, escapes, 0, literal, decoded), end);
    EXPECT_EQ(end < s.size() ? got : want, want);  // unterminated: the text is incomplete
    EXPECT_EQ(sql_quoted_end(p, s.size(), q, escapes, 0), end);
    // Any window ending before the byte after the closing quote cannot decide the string.
    for (std::size_t n = 0; n <= s.size(); ++n) {
        std::size_t i = 0;
        EXPECT_EQ(scan_quoted(p, n, q, escapes, i), end + 1 < n) << "window " << n;
        EXPECT_EQ(end + 1 < n ? i : end + 1, end + 1);
    }
}

TEST(QuoteRule, FastAndGeneralEntriesFollowTheModel) {
    const std::string tricky[] = {
        "", "'", "''", "'''", "abc'", "a''b',", "a\\'b',", "a\\\\'b", "a\\\\\\'b'x",
        "\\", "x\\", "\\%\\_\\0\\b\\n\\r\\t\\Z\\q\\\"'", std::string("a\0b'", 4),
        "\"\"'", "``'", std::string(70, 'x') + "\\'" + std::string(40, '\'') + "z'"};
    for (const std::string& s : tricky) {
        for (const unsigned char q : {'\'', '"', '`'}) {
            check(s, q, q != '`');
            check(s, q, false);
        }
    }
    std::mt19937 rng(7);
    const char alphabet[] = "ab'\"`\\nZ%";
    for (int k = 0; k < 3000; ++k) {
        std::string s(rng() % 80, ' ');
        for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
        check(s, k % 3 == 0 ? '"' : '\'', k % 2 == 0);
    }
}

}  // namespace
}  // namespace kv
