// The names of the cache's folders and files and the paths built from them: the only place that
// spells them. A cache root holds one folder per opened dump; that folder holds the dump's
// manifest, one position index file per schema object (up to 65,536, so six digits) and the
// files of the active filter and search. Layouts of the files are in cache/format.h.
//
// The path builders return a new string (they throw std::bad_alloc like any string operation;
// callers that must not throw catch it).
#pragma once

#include <cstdint>
#include <string>

#include "foundation/dump_state.h"

namespace kv {

inline constexpr const char* CACHE_LOCK_NAME = "session.lock";  // held by one instance at a time
inline constexpr const char* CACHE_MANIFEST_NAME = "manifest.kvd";  // present = complete cache
inline constexpr const char* CACHE_MANIFEST_PART_NAME = "manifest.part";  // replaces it whole
inline constexpr const char* CACHE_INDEX_NAME_FORMAT = "t%06u.kvi";  // of the object number
inline constexpr const char* CACHE_QUERY_NAME = "query.kvi";  // the active filter's hits
inline constexpr const char* CACHE_QUERY_NEW_NAME = "query-new.kvi";  // a filter while it runs
inline constexpr const char* CACHE_SEARCH_NAME = "search.kvs";  // the active search's hits
inline constexpr const char* CACHE_SEARCH_NEW_NAME = "search-new.kvs";  // a search while it runs
inline constexpr const char* CACHE_FOLDER_NAME_FORMAT = "%016llx";  // of the 64-bit cache key
// In the cache root itself, beside the cache folders: the dumps the window opened last.
inline constexpr const char* RECENT_DUMPS_NAME = "recent-dumps.txt";
inline constexpr const char* RECENT_DUMPS_PART_NAME = "recent-dumps.part";  // replaces it whole

// The folder of the dump with cache key key below root.
std::string cache_folder_path(const std::string& root, std::uint64_t key);
// The files in the cache folder of state.
std::string cache_index_path(const DumpState& state, std::uint32_t object);
std::string cache_manifest_path(const DumpState& state);
std::string cache_manifest_part_path(const DumpState& state);
std::string cache_lock_path(const DumpState& state);
std::string cache_query_path(const DumpState& state);
std::string cache_query_new_path(const DumpState& state);
std::string cache_search_path(const DumpState& state);
std::string cache_search_new_path(const DumpState& state);

}  // namespace kv
