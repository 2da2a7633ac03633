// The dumps opened last (see recent_dumps.h).
#include "ui/logic/recent_dumps.h"

#include <algorithm>

#include "cache/file_names.h"
#include "foundation/file.h"

namespace kv {

namespace {

constexpr std::size_t RECENT_FILE_MAX = RECENT_DUMPS_MAX * (RECENT_PATH_MAX + 2);

}  // namespace

std::vector<std::string> recent_parse(std::string_view text) {
    std::vector<std::string> list;
    while (!text.empty() && list.size() < RECENT_DUMPS_MAX) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.size() > RECENT_PATH_MAX ||
            line.find('\0') != std::string_view::npos ||
            std::find(list.begin(), list.end(), line) != list.end()) {
            continue;
        }
        list.emplace_back(line);
    }
    return list;
}

std::string recent_format(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& path : list) text += path + "\n";
    return text;
}

std::vector<std::string> recent_push(std::vector<std::string> list, const std::string& path) {
    std::erase(list, path);
    list.insert(list.begin(), path);
    if (list.size() > RECENT_DUMPS_MAX) list.resize(RECENT_DUMPS_MAX);
    return list;
}

std::vector<std::string> recent_read(const std::string& cache_root) {
    FileGuard file(file_open(cache_root + "/" + RECENT_DUMPS_NAME, FILE_MODE_READ));
    if (file.get() == INVALID_FILE) return {};
    const std::uint64_t size = file_get_size(file.get());
    if (size == 0 || size > RECENT_FILE_MAX) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    text.resize(file_read_full(file.get(), text.data(), text.size()));
    return recent_parse(text);
}

bool recent_write(const std::string& cache_root, const std::vector<std::string>& list) {
    const std::string part = cache_root + "/" + RECENT_DUMPS_PART_NAME;
    const std::string text = recent_format(list);
    {
        FileGuard file(file_open(part, FILE_MODE_CREATE));
        if (file.get() == INVALID_FILE) return false;
        if (!file_write_all(file.get(), text.data(), text.size()) || !file_flush(file.get())) {
            file.reset();
            file_remove(part);
            return false;
        }
    }
    return file_replace(part, cache_root + "/" + RECENT_DUMPS_NAME);
}

std::string recent_menu_text(std::size_t index, const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    return "&" + std::to_string(index + 1) + "  " + name + "\t" + folder;
}

}  // namespace kv
