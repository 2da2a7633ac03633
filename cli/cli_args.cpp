// Argument parsing of korvane-dump (see cli_args.h).
#include "cli/cli_args.h"

#include <algorithm>
#include <charconv>

#include "foundation/messages.h"
#include "ui/logic/format_text.h"

namespace kv {

namespace {

struct CommandName {
    const char* name;
    CliCommand command;
    int min_args;  // positional arguments after DUMP
    int max_args;
};

const CommandName COMMANDS[] = {
    {"open", CLI_OPEN, 0, 0},           {"objects", CLI_OBJECTS, 0, 0},
    {"tree", CLI_TREE, 0, 0},           {"notes", CLI_NOTES, 0, 0},
    {"structure", CLI_STRUCTURE, 1, 1}, {"sql", CLI_SQL, 1, 1},
    {"page", CLI_PAGE, 1, 2},           {"record", CLI_RECORD, 2, 2},
    {"filter", CLI_FILTER, 1, 1},       {"export", CLI_EXPORT, 2, 2},
    {"tuple", CLI_TUPLE, 3, 3},         {"extract", CLI_EXTRACT, 2, 65536},
    {"search", CLI_SEARCH, 1, 1},
};

bool parse_number(const std::string& text, std::uint64_t& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// The name of --charset or the MySQL name of a character set of CHARSETS.
bool parse_charset(const std::string& text, Charset& out) {
    for (const CharsetInfo& c : CHARSETS) {
        if (text == c.name || text == c.mysql_name) {
            out = c.charset;
            return true;
        }
    }
    return false;
}

// The usage text with the character sets of CHARSETS, one a line: name and MySQL name.
std::string build_usage() {
    std::string list;
    for (const CharsetInfo& c : CHARSETS) {
        std::string name = c.name;
        name.resize(std::max<std::size_t>(name.size() + 1, 15), ' ');
        list += "  " + name + c.mysql_name + "\n";
    }
    return format_text(msg_text(Msg::cli_usage), list.c_str());
}

bool parse_operator(const std::string& text, FilterOp& out) {
    if (text == "contains") out = FilterOp::contains;
    else if (text == "equals") out = FilterOp::equals;
    else if (text == "is-null") out = FilterOp::is_null;
    else if (text == "is-not-null") out = FilterOp::is_not_null;
    else return false;
    return true;
}

}  // namespace

const char* cli_usage() {
    static const std::string usage = build_usage();
    return usage.c_str();
}

namespace {

// What the options said beyond CliOptions: the positional arguments and the options that
// only some commands take.
struct ParseState {
    std::vector<std::string> positional;
    bool page_given = false;
    bool op_given = false;
    bool limit_given = false;
};

enum class Step { next, done, failed };

// The value after the option at args[i] into out (i moves onto it); false with the usage error
// when there is none.
bool option_value(const std::vector<std::string>& args, std::size_t& i, std::string& out,
                  std::string& error) {
    if (i + 1 >= args.size()) {
        error = format_text(msg_text(Msg::cli_option_needs_value), args[i].c_str());
        return false;
    }
    out = args[++i];
    return true;
}

// Takes the option at args[i] (and its value); Step::done after "--".
Step parse_option(const std::vector<std::string>& args, std::size_t& i, CliOptions& options,
                  std::string& error) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) { return option_value(args, i, out, error); };
    std::string v;
    if (a == "-h" || a == "--help") {
        options.help = true;
    } else if (a == "--reindex") {
        options.reindex = true;
    } else if (a == "--charset") {
        if (!value(v)) return Step::failed;
        if (!parse_charset(v, options.charset)) {
            error = format_text(msg_text(Msg::cli_unknown_charset), v.c_str());
            return Step::failed;
        }
    } else if (a == "--threads") {
        if (!value(v)) return Step::failed;
        if (v.size() != 1 || v[0] < '1' || v[0] > '8') {
            error = msg_text(Msg::cli_threads_range);
            return Step::failed;
        }
        options.threads = static_cast<std::uint32_t>(v[0] - '0');
    } else if (a == "--data-only") {
        options.data_only = true;
    } else if (a == "--with-database") {
        options.with_database = true;
    } else if (a == "--cache-root") {
        if (!value(options.cache_root)) return Step::failed;
    } else {
        return Step::done;  // not a general option: the caller goes on
    }
    return Step::next;
}

// Takes the filter and listing options at args[i]; Step::done when args[i] is none of them.
Step parse_filter_option(const std::vector<std::string>& args, std::size_t& i,
                         CliOptions& options, ParseState& ps, std::string& error) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) { return option_value(args, i, out, error); };
    std::string v;
    if (a == "--column") {
        if (!value(options.filter_column)) return Step::failed;
        options.filter_given = true;
    } else if (a == "--op") {
        if (!value(v)) return Step::failed;
        if (!parse_operator(v, options.filter.op)) {
            error = format_text(msg_text(Msg::cli_unknown_operator), v.c_str());
            return Step::failed;
        }
        ps.op_given = true;
    } else if (a == "--text") {
        if (!value(options.filter.text)) return Step::failed;
        options.filter_given = true;
    } else if (a == "--page") {
        if (!value(options.filter_page)) return Step::failed;
        ps.page_given = true;
    } else if (a == "--limit") {
        if (!value(v)) return Step::failed;
        if (!parse_number(v, options.limit)) {
            error = format_text(msg_text(Msg::cli_bad_limit), v.c_str());
            return Step::failed;
        }
        ps.limit_given = true;
    } else {
        return Step::done;
    }
    return Step::next;
}

// Splits args into options and positional arguments.
bool parse_arguments(const std::vector<std::string>& args, CliOptions& options, ParseState& ps,
                     std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        Step step = parse_option(args, i, options, error);
        if (step == Step::done) step = parse_filter_option(args, i, options, ps, error);
        if (step == Step::failed) return false;
        if (step == Step::next) continue;
        if (a == "--") {
            ps.positional.insert(ps.positional.end(), args.begin() + static_cast<long>(i) + 1,
                                 args.end());
            break;
        }
        if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            error = format_text(msg_text(Msg::cli_unknown_option), a.c_str());
            return false;
        }
        ps.positional.push_back(a);
    }
    return true;
}

// The command word and DUMP, and the count of the arguments after them.
bool parse_command(const ParseState& ps, CliOptions& options, std::string& error) {
    const auto& positional = ps.positional;
    if (positional.empty()) {
        error = msg_text(Msg::cli_no_command);
        return false;
    }
    const CommandName* command = nullptr;
    for (const auto& c : COMMANDS) {
        if (positional[0] == c.name) command = &c;
    }
    if (command == nullptr) {
        error = format_text(msg_text(Msg::cli_unknown_command), positional[0].c_str());
        return false;
    }
    options.command = command->command;
    if (positional.size() < 2) {
        error = msg_text(Msg::cli_no_dump);
        return false;
    }
    options.dump = positional[1];
    const int extra = static_cast<int>(positional.size()) - 2;
    if (extra < command->min_args || extra > command->max_args) {
        error = format_text(msg_text(Msg::cli_argument_count), positional[0].c_str());
        return false;
    }
    if (extra >= 1) options.object = positional[2];
    return true;
}

// Options given to a command that does not take them.
bool check_option_use(const ParseState& ps, const CliOptions& options, std::string& error) {
    const CliCommand c = options.command;
    const bool filter_allowed = c == CLI_FILTER || c == CLI_EXPORT || c == CLI_EXTRACT;
    const bool search_op = c == CLI_SEARCH && (options.filter.op == FilterOp::contains ||
                                               options.filter.op == FilterOp::equals);
    if ((options.filter_given && !filter_allowed) ||
        (ps.op_given && !filter_allowed && !search_op)) {
        error = msg_text(c == CLI_SEARCH ? Msg::cli_search_options : Msg::cli_filter_options_only);
        return false;
    }
    if ((options.data_only || options.with_database) && c != CLI_EXTRACT) {
        error = msg_text(Msg::cli_extract_options_only);
        return false;
    }
    if (ps.page_given && c != CLI_FILTER) {
        error = msg_text(Msg::cli_page_option_only);
        return false;
    }
    if (ps.limit_given && c != CLI_SEARCH) {
        error = msg_text(Msg::cli_limit_option_only);
        return false;
    }
    return true;
}

// The arguments after OBJECT of the commands that take more.
bool parse_command_arguments(const ParseState& ps, CliOptions& options, std::string& error) {
    const auto& positional = ps.positional;
    switch (options.command) {
        case CLI_PAGE:
            if (positional.size() == 4) options.page = positional[3];
            break;
        case CLI_RECORD:
        case CLI_TUPLE:
            if (!parse_number(positional[3], options.number) || options.number == 0) {
                error = format_text(msg_text(Msg::cli_bad_row), positional[3].c_str());
                return false;
            }
            if (options.command == CLI_TUPLE) options.file = positional[4];
            break;
        case CLI_EXPORT:
            options.file = positional[3];
            break;
        case CLI_EXTRACT:
            options.objects.assign(positional.begin() + 2, positional.end() - 1);
            options.file = positional.back();
            if (options.filter_given && options.objects.size() != 1) {
                error = msg_text(Msg::cli_extract_filter_one);
                return false;
            }
            break;
        case CLI_SEARCH:
            options.filter.text = positional[2];
            options.object.clear();
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

bool cli_parse(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
    ParseState ps;
    if (!parse_arguments(args, options, ps, error)) return false;
    if (options.help) return true;
    if (!parse_command(ps, options, error)) return false;
    // An operator alone filters too (is-null needs no text); for search it is the search's.
    if (ps.op_given && options.command != CLI_SEARCH) options.filter_given = true;
    return check_option_use(ps, options, error) &&
           parse_command_arguments(ps, options, error);
}

}  // namespace kv
