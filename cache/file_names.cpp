// Building cache paths from the names in file_names.h (one short string per call).
#include "cache/file_names.h"

#include <cstdio>

namespace kv {

namespace {

std::string in_folder(const DumpState& state, const char* name) {
    return state.cache_folder + "/" + name;
}

}  // namespace

std::string cache_folder_path(const std::string& root, std::uint64_t key) {
    char name[24];
    std::snprintf(name, sizeof name, CACHE_FOLDER_NAME_FORMAT,
                  static_cast<unsigned long long>(key));
    return root + "/" + name;
}

std::string cache_index_path(const DumpState& state, std::uint32_t object) {
    char name[24];
    std::snprintf(name, sizeof name, CACHE_INDEX_NAME_FORMAT, static_cast<unsigned>(object));
    return in_folder(state, name);
}

std::string cache_manifest_path(const DumpState& state) {
    return in_folder(state, CACHE_MANIFEST_NAME);
}

std::string cache_manifest_part_path(const DumpState& state) {
    return in_folder(state, CACHE_MANIFEST_PART_NAME);
}

std::string cache_lock_path(const DumpState& state) { return in_folder(state, CACHE_LOCK_NAME); }

std::string cache_query_path(const DumpState& state) { return in_folder(state, CACHE_QUERY_NAME); }

std::string cache_query_new_path(const DumpState& state) {
    return in_folder(state, CACHE_QUERY_NEW_NAME);
}

std::string cache_search_path(const DumpState& state) { return in_folder(state, CACHE_SEARCH_NAME); }

std::string cache_search_new_path(const DumpState& state) {
    return in_folder(state, CACHE_SEARCH_NEW_NAME);
}

}  // namespace kv
