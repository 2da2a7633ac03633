// UTF-8 <-> UTF-16 conversion and small string helpers shared by every layer.
//
// The interface shows UTF-16 (grid cells, window texts); everything inside the system is
// UTF-8. The conversions are portable (the Linux build needs them for the same page cells)
// and behave like the Windows converters with flags 0: a malformed UTF-8 sequence becomes
// U+FFFD, a lone surrogate becomes U+FFFD, nothing is dropped. Inputs may be megabytes long;
// both functions make one pass and allocate the result once.
#pragma once

#include <string>
#include <string_view>

namespace kv {

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

// ASCII-only case folding: only 'A'..'Z' and 'a'..'z' are treated as letters.
bool ascii_iequals(std::string_view a, std::string_view b);

}  // namespace kv
