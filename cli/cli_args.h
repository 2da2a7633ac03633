// Command line of korvane-dump: `korvane-dump [OPTIONS] COMMAND DUMP [ARGUMENTS]`, options
// before or after the command. Parsing is pure (no I/O) so it can be tested in-process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/display_text.h"
#include "records/filter.h"

namespace kv {

enum CliCommand {
    CLI_NONE,
    CLI_OPEN,
    CLI_OBJECTS,
    CLI_TREE,
    CLI_NOTES,
    CLI_STRUCTURE,
    CLI_SQL,
    CLI_PAGE,
    CLI_RECORD,
    CLI_FILTER,
    CLI_EXPORT,
    CLI_TUPLE,
    CLI_EXTRACT,
    CLI_SEARCH,
};

inline constexpr std::uint64_t CLI_NO_LIMIT = ~std::uint64_t{0};

struct CliOptions {
    CliCommand command = CLI_NONE;
    bool help = false;
    bool reindex = false;
    std::uint32_t threads = 0;  // import, filter and search threads; 0 = one per processor (at most 8)
    Charset charset = CHARSET_UTF8;
    std::string cache_root;  // "" = the default cache root
    std::string dump;
    std::string object;      // OBJECT / TABLE argument ("#N", "DB.NAME" or "NAME")
    std::uint64_t number = 0;  // ROW (1-based)
    std::string page = "1";    // PAGE as typed; page_first_entry checks it against the table
    std::string file;        // export / tuple / extract destination
    std::vector<std::string> objects;  // extract: every OBJECT, in order (object = the first)
    bool data_only = false;      // extract: no DROP / CREATE
    bool with_database = false;  // extract: CREATE DATABASE and USE
    bool filter_given = false;  // --column/--op/--text seen
    FilterRequest filter;       // column stays -1; filter_column holds the name; search: TEXT
    std::string filter_column;  // "" = all columns
    std::string filter_page = "1";  // --page as typed, checked like page against the hits
    std::uint64_t limit = CLI_NO_LIMIT;  // search: hit lines listed at most (--limit)
};

// Parses argv[1..]; false with a short German reason in error (a usage error).
bool cli_parse(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The usage text printed for -h and usage errors (Msg::cli_usage with the character sets of
// CHARSETS).
const char* cli_usage();

}  // namespace kv
