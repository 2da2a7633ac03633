// The dumps opened last: a list of at most eight UTF-8 paths, newest first, kept for the user
// in a small text file under the cache root (one path a line), and the texts the window's
// "Zuletzt geöffnet" menu shows for them. Any path up to 32,767 bytes; a damaged or foreign
// file yields the lines that are paths and nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

inline constexpr std::size_t RECENT_DUMPS_MAX = 8;
inline constexpr std::size_t RECENT_PATH_MAX = 32767;

// The list in the file's text: non-empty lines (CR LF or LF) of at most RECENT_PATH_MAX bytes,
// duplicates after the first dropped, at most RECENT_DUMPS_MAX.
std::vector<std::string> recent_parse(std::string_view text);
// The file's text of the list: one path a line, LF-ended.
std::string recent_format(const std::vector<std::string>& list);
// path first, an earlier entry of it removed, the oldest dropped beyond RECENT_DUMPS_MAX.
std::vector<std::string> recent_push(std::vector<std::string> list, const std::string& path);

// The list stored under cache_root (empty when there is none or it cannot be read), and the
// list written there through a temporary file (false when that fails; nothing else is lost).
std::vector<std::string> recent_read(const std::string& cache_root);
bool recent_write(const std::string& cache_root, const std::vector<std::string>& list);

// A menu line: "&N  name<TAB>folder" for entry index (0-based) of path; the folder in the
// accelerator column.
std::string recent_menu_text(std::size_t index, const std::string& path);

}  // namespace kv
