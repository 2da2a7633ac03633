// Win32-only part of the file layer: the extended-length path form used at the file system
// boundary. Not part of the portable interface.
#pragma once

#include <string>

namespace kv {

// UTF-8 path -> "\\?\"-prefixed absolute UTF-16 path ("\\?\UNC\" for \\server\share paths).
// A path that already begins with "\\?\" is returned unchanged. When the path cannot be
// resolved the result is the bare prefix, and the following file operation fails.
std::u16string make_long_path(const std::string& path);

}  // namespace kv
