// korvane-dump: the command-line browser. The same core and background jobs as the window,
// driven from a terminal for headless use, scripting and benchmarks; it prints the window's
// German texts and formats. Every operation runs as a background job; Ctrl+C cancels it and
// waits for it to end, so no manifest or partial output is left behind.
//
// Exit status: 0 success, 1 the operation failed (its German message on standard error),
// 2 usage error, 130 cancelled.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "cache/dump_open.h"
#include "cache/file_names.h"
#include "cli/cli_args.h"
#include "cli/console.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "jobs/job.h"
#include "jobs/job_wait.h"
#include "jobs/page_job.h"
#include "ui/logic/format_text.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/job_end.h"
#include "ui/logic/page_number.h"
#include "ui/logic/search_view.h"
#include "ui/logic/tree_model.h"
#include "ui/logic/view_text.h"

namespace kv {
namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_CANCELLED = 130;

std::atomic<bool> interrupted{false};

void out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void out_line(const std::string& text) { out(text + "\n"); }
void err_line(const std::string& text) {
    std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// Thrown nowhere: every step returns an exit code, 0 to go on.
struct Session {
    CliOptions options;
    std::unique_ptr<DumpState> state;
    FileGuard lock;
    std::string filter_path;  // "query.kvi" while a filter result exists
    std::string search_path;  // "search.kvs" while a search result exists
    ~Session() {
        if (!filter_path.empty()) file_remove(filter_path);
        if (!search_path.empty()) file_remove(search_path);
    }
};

// Runs one job on the worker thread and waits for it, redrawing the progress line on a
// terminal and turning Ctrl+C into a cancel request. Returns 0 or the exit code of a failure
// (its message already printed).
int run_job(std::unique_ptr<BackgroundJob> job, std::unique_ptr<BackgroundJob>& finished) {
    BackgroundJob* running = job.get();
    JobCompletion completion;
    if (!completion.submit(job.release())) {
        err_line(msg_text(Msg::thread_failed));
        return EXIT_FAILED;
    }
    const bool terminal = console_stderr_is_terminal();
    const auto start = std::chrono::steady_clock::now();
    bool drawn = false;
    while (!(finished = completion.wait_for(std::chrono::milliseconds(150)))) {
        if (interrupted.load()) running->cancel.store(1);
        if (terminal && std::chrono::steady_clock::now() - start >
                            std::chrono::milliseconds(300)) {
            std::string line = status_progress_text(
                running->progress_label.load(), running->progress_done.load(),
                running->progress_total.load(), running->progress_count.load(),
                running->cancel.load() != 0);
            std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
            std::fflush(stderr);
            drawn = true;
        }
    }
    if (drawn) std::fprintf(stderr, "\r\x1b[K");
    const JobEnd end = job_end(*finished);
    switch (end.outcome) {
        case JobOutcome::done: return 0;
        case JobOutcome::cancelled: err_line(msg_text(Msg::cancelled)); return EXIT_CANCELLED;
        case JobOutcome::failed: break;
    }
    err_line(end.failure);
    return EXIT_FAILED;
}

std::unique_ptr<BackgroundJob> new_job(Session& s, JobKind type, std::int32_t object) {
    auto job = std::make_unique<BackgroundJob>();
    job->kind = type;
    job->object = object;
    job->charset = s.options.charset;
    job->dump_state = s.state.get();
    return job;
}

int open_dump(Session& s) {
    std::string root = s.options.cache_root;
    if (root.empty()) {
        root = cache_root_path();
        if (root.empty() || !cache_root_ensure(root)) {
            err_line(msg_text(Msg::cache_root_failed));
            return EXIT_FAILED;
        }
    }
    auto job = new_job(s, JobKind::open, -1);
    job->dump_state = nullptr;
    job->dump_path = s.options.dump;
    job->cache_root = root;
    job->new_index = s.options.reindex;
    job->threads = s.options.threads;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    s.state = std::move(done->new_dump_state);
    s.lock.reset(done->lock_handle);
    done->lock_handle = INVALID_FILE;
    return 0;
}

std::string display_name(const std::string& raw, Charset charset) {
    std::string converted;
    return text_to_utf8(raw, charset, converted) ? converted : raw;
}

// The kind column of `objects`: fixed English tokens for scripts, like the command words.
const char* kind_word(ObjectKind kind) {
    switch (kind) {
        case OBJECT_TABLE: return "table";
        case OBJECT_VIEW: return "view";
        case OBJECT_ROUTINE: return "routine";
        default: return "database";
    }
}

// Resolves "#N", "DB.NAME" or "NAME" to an object number; -1 with the message printed.
std::int32_t resolve_object(const Session& s, bool table_only) {
    const std::string& wanted = s.options.object;
    const auto& objects = s.state->objects;
    std::int64_t found = -1;
    if (wanted.size() > 1 && wanted[0] == '#') {
        std::uint64_t n = 0;
        bool digits = true;
        for (std::size_t i = 1; i < wanted.size(); ++i) {
            if (wanted[i] < '0' || wanted[i] > '9' || n > objects.size()) digits = false;
            n = n * 10 + static_cast<unsigned>(wanted[i] - '0');
        }
        if (digits && n < objects.size()) found = static_cast<std::int64_t>(n);
    } else {
        int matches = 0;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (objects[i].kind == OBJECT_DATABASE) continue;
            std::string name = display_name(objects[i].object_name, s.options.charset);
            std::string qualified =
                display_name(objects[i].database_name, s.options.charset) + "." + name;
            if (qualified == wanted || name == wanted) {
                // An exact qualified match wins over name matches.
                if (qualified == wanted) {
                    found = static_cast<std::int64_t>(i);
                    matches = 1;
                    break;
                }
                found = static_cast<std::int64_t>(i);
                ++matches;
            }
        }
        if (matches > 1) {
            err_line(format_text(msg_text(Msg::cli_ambiguous_name), wanted.c_str()));
            return -1;
        }
    }
    if (found < 0) {
        err_line(format_text(msg_text(Msg::cli_object_not_found), wanted.c_str()));
        return -1;
    }
    if (table_only && objects[static_cast<std::size_t>(found)].kind != OBJECT_TABLE) {
        err_line(format_text(msg_text(Msg::cli_tables_only), wanted.c_str()));
        return -1;
    }
    return static_cast<std::int32_t>(found);
}

void print_page(const Session& s, std::int32_t object, const PageData& page, std::uint64_t rows) {
    std::string header = msg_text(Msg::column_number);
    for (const Column& column : s.state->objects[static_cast<std::size_t>(object)].columns) {
        std::string name;
        if (!text_to_utf8(column.name, s.options.charset, name)) {
            name = msg_text(Msg::name_unreadable);
        }
        header += "\t" + name;
    }
    out_line(header);
    for (std::uint32_t r = 0; r < page.row_count; ++r) {
        std::string line;
        for (std::uint32_t c = 0; c < page.cell_count; ++c) {
            if (c > 0) line += '\t';
            line += utf16_to_utf8(page.cells[r][c]);
        }
        out_line(line);
    }
    err_line(page_label_text(page.first_row, rows));
}

// Loads and prints the page of a view of `rows` entries that page_text names; the window's
// sentence when it names none.
int load_page(Session& s, std::int32_t object, const std::string& index_path, std::uint64_t rows,
              const std::string& page_text) {
    std::uint64_t first_row = 0;
    if (!page_first_entry(page_text, rows, first_row)) {
        err_line(page_missing_text(rows));
        return EXIT_FAILED;
    }
    auto job = new_job(s, JobKind::page, object);
    job->rows = rows;
    job->first_row = first_row;
    job->index_path = index_path;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    print_page(s, object, *done->page, rows);
    return 0;
}

// The index entry of 1-based row `row` of a table; false with the message printed.
bool table_entry(const Session& s, std::int32_t object, std::uint64_t row, IndexEntry& entry) {
    const SchemaObject& table = s.state->objects[static_cast<std::size_t>(object)];
    if (row > table.entry_count) {
        err_line(format_text(msg_text(Msg::cli_no_such_row), count_text(row).c_str(),
                             count_text(table.entry_count).c_str()));
        return false;
    }
    FileGuard index(file_open(cache_index_path(*s.state, static_cast<std::uint32_t>(object)),
                              FILE_MODE_READ));
    if (!index.valid() || !index_read(index.get(), row - 1, 1, &entry)) {
        err_line(msg_text(Msg::page_read));
        return false;
    }
    return true;
}

// Runs the filter of the options; on success s.filter_path holds "query.kvi" and hits its
// number of entries; used (if given) receives the request with its column number.
int run_filter(Session& s, std::int32_t object, std::uint64_t& hits,
               FilterRequest* used = nullptr) {
    const SchemaObject& table = s.state->objects[static_cast<std::size_t>(object)];
    auto job = new_job(s, JobKind::filter, object);
    job->filter = s.options.filter;
    job->filter.charset = s.options.charset;
    job->filter.column = -1;
    if (!s.options.filter_column.empty()) {
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (ascii_iequals(display_name(table.columns[c].name, s.options.charset),
                              s.options.filter_column)) {
                job->filter.column = static_cast<std::int32_t>(c);
                break;
            }
        }
        if (job->filter.column < 0) {
            err_line(format_text(msg_text(Msg::cli_column_not_found),
                                 s.options.filter_column.c_str()));
            return EXIT_FAILED;
        }
    }
    job->filter_text = s.options.filter.text;
    job->threads = s.options.threads;
    job->output_path = cache_query_new_path(*s.state);
    if (used != nullptr) *used = job->filter;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    std::string active = cache_query_path(*s.state);
    if (!file_replace(done->output_path, active)) {
        file_remove(done->output_path);
        err_line(msg_text(Msg::filter_not_taken));
        return EXIT_FAILED;
    }
    s.filter_path = active;
    hits = done->rows;
    return 0;
}

int command_open(Session& s) {
    out_line(status_open_text(*s.state));
    return 0;
}

int command_objects(Session& s) {
    const Charset charset = s.options.charset;
    for (std::size_t i = 0; i < s.state->objects.size(); ++i) {
        const SchemaObject& o = s.state->objects[i];
        out_line(std::to_string(i) + "\t" + kind_word(o.kind) + "\t" +
                 display_name(o.database_name, charset) + "\t" +
                 display_name(o.object_name, charset) + "\t" + std::to_string(o.entry_count) +
                 "\t" + std::to_string(o.columns.size()));
    }
    return 0;
}

int command_tree(Session& s) {
    TreeModel tree = tree_build(s.state.get(), s.options.charset, "", -1);
    for (std::int32_t index : tree_display_order(tree)) {
        const TreeItem& item = tree.items[static_cast<std::size_t>(index)];
        out_line(std::string(static_cast<std::size_t>(item.level) * 2, ' ') + item.text);
    }
    return 0;
}

int command_notes(Session& s) {
    out(import_notes_text(*s.state));
    return 0;
}

int command_structure(Session& s) {
    std::int32_t object = resolve_object(s, false);
    if (object < 0) return EXIT_FAILED;
    std::string header;
    for (const GridColumn& column : grid_structure_columns()) {
        header += (header.empty() ? "" : "\t") + column.title;
    }
    out_line(header);
    for (const StructureRow& row :
         structure_rows(s.state->objects[static_cast<std::size_t>(object)], s.options.charset)) {
        out_line(row.number + "\t" + row.name + "\t" + row.definition);
    }
    return 0;
}

int command_sql(Session& s) {
    std::int32_t object = resolve_object(s, false);
    if (object < 0) return EXIT_FAILED;
    std::string text =
        create_text_view(s.state->objects[static_cast<std::size_t>(object)], s.options.charset);
    out_line(text.empty() ? msg_text(Msg::no_create_text) : text);
    return 0;
}

int command_page(Session& s) {
    std::int32_t object = resolve_object(s, true);
    if (object < 0) return EXIT_FAILED;
    return load_page(s, object, view_index_path(*s.state, object, s.filter_path),
                     s.state->objects[static_cast<std::size_t>(object)].entry_count,
                     s.options.page);
}

int command_record(Session& s) {
    std::int32_t object = resolve_object(s, true);
    IndexEntry entry;
    if (object < 0 || !table_entry(s, object, s.options.number, entry)) return EXIT_FAILED;
    auto job = new_job(s, JobKind::details, object);
    job->entry = entry;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    out(done->details_text);
    return 0;
}

int command_filter(Session& s) {
    std::int32_t object = resolve_object(s, true);
    if (object < 0) return EXIT_FAILED;
    std::uint64_t hits = 0;
    if (int rc = run_filter(s, object, hits)) return rc;
    out_line(format_text(msg_text(Msg::cli_hits), count_text(hits).c_str()));
    return load_page(s, object, view_index_path(*s.state, object, s.filter_path), hits,
                     s.options.filter_page);
}

int command_export(Session& s) {
    std::int32_t object = resolve_object(s, true);
    if (object < 0) return EXIT_FAILED;
    auto job = new_job(s, JobKind::csv, object);
    job->rows = s.state->objects[static_cast<std::size_t>(object)].entry_count;
    if (s.options.filter_given) {
        if (int rc = run_filter(s, object, job->rows)) return rc;
    }
    job->index_path = view_index_path(*s.state, object, s.filter_path);
    job->output_path = s.options.file;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    out_line(format_text(msg_text(Msg::export_done), done->output_path.c_str()));
    return 0;
}

int command_tuple(Session& s) {
    std::int32_t object = resolve_object(s, true);
    IndexEntry entry;
    if (object < 0 || !table_entry(s, object, s.options.number, entry)) return EXIT_FAILED;
    auto job = new_job(s, JobKind::tuple, object);
    job->entry = entry;
    job->output_path = s.options.file;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    out_line(format_text(msg_text(Msg::export_done), done->output_path.c_str()));
    return 0;
}

int command_extract(Session& s) {
    auto job = new_job(s, JobKind::extract, -1);
    for (const std::string& name : s.options.objects) {
        s.options.object = name;
        const std::int32_t object = resolve_object(s, false);
        if (object < 0) return EXIT_FAILED;
        ExtractPart part;
        part.object = static_cast<std::uint32_t>(object);
        part.entry_count = s.state->objects[part.object].entry_count;
        if (s.options.filter_given) {
            if (s.state->objects[part.object].kind != OBJECT_TABLE) {
                err_line(format_text(msg_text(Msg::cli_tables_only), name.c_str()));
                return EXIT_FAILED;
            }
            if (int rc = run_filter(s, object, part.entry_count, &part.filter)) return rc;
            part.filtered = true;
        }
        part.entry_source_path = view_index_path(*s.state, object, s.filter_path);
        job->extract_parts.push_back(std::move(part));
    }
    job->extract_options.data_only = s.options.data_only;
    job->extract_options.with_database = s.options.with_database;
    job->extract_options.now = static_cast<std::int64_t>(std::time(nullptr));
    job->output_path = s.options.file;
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    out_line(format_text(msg_text(Msg::export_done), done->output_path.c_str()));
    return 0;
}

// Prints the first count hits of "search.kvs", a page job per 100: object, row, column, value.
int list_hits(Session& s, std::uint64_t count) {
    for (std::uint64_t first = 0; first < count; first += PAGE_ROWS) {
        auto job = new_job(s, JobKind::search_page, -1);
        job->index_path = s.search_path;
        job->first_row = first;
        std::unique_ptr<BackgroundJob> done;
        if (int rc = run_job(std::move(job), done)) return rc;
        const PageData& page = *done->page;
        for (std::uint32_t r = 0; r < page.row_count && first + r < count; ++r) {
            std::string line;
            for (std::uint32_t c = 1; c < page.cell_count; ++c) {
                line += (c > 1 ? "\t" : "") + utf16_to_utf8(page.cells[r][c]);
            }
            out_line(line);
        }
    }
    return 0;
}

int command_search(Session& s) {
    auto job = new_job(s, JobKind::search, -1);
    job->filter.op = s.options.filter.op;
    job->filter.charset = s.options.charset;
    job->filter_text = s.options.filter.text;
    job->threads = s.options.threads;
    job->output_path = cache_search_new_path(*s.state);
    std::unique_ptr<BackgroundJob> done;
    if (int rc = run_job(std::move(job), done)) return rc;
    const std::string active = cache_search_path(*s.state);
    if (!file_replace(done->output_path, active)) {
        file_remove(done->output_path);
        err_line(msg_text(Msg::search_not_taken));
        return EXIT_FAILED;
    }
    s.search_path = active;
    out_line(search_count_text(done->rows, done->search_tables));
    if (done->search_skipped != 0) err_line(search_skipped_text(done->search_skipped));
    return list_hits(s, std::min(done->rows, s.options.limit));
}

int run(int argc, char** argv) {
    std::vector<std::string> args = console_start(argc, argv);
    Session s;
    std::string error;
    if (!cli_parse(args, s.options, error)) {
        err_line(error);
        std::fputs("\n", stderr);
        std::fputs(cli_usage(), stderr);
        return EXIT_USAGE;
    }
    if (s.options.help) {
        out(cli_usage());
        return 0;
    }
    console_catch_interrupt(&interrupted);
    if (int rc = open_dump(s)) return rc;
    switch (s.options.command) {
        case CLI_OPEN: return command_open(s);
        case CLI_OBJECTS: return command_objects(s);
        case CLI_TREE: return command_tree(s);
        case CLI_NOTES: return command_notes(s);
        case CLI_STRUCTURE: return command_structure(s);
        case CLI_SQL: return command_sql(s);
        case CLI_PAGE: return command_page(s);
        case CLI_RECORD: return command_record(s);
        case CLI_FILTER: return command_filter(s);
        case CLI_EXPORT: return command_export(s);
        case CLI_TUPLE: return command_tuple(s);
        case CLI_EXTRACT: return command_extract(s);
        case CLI_SEARCH: return command_search(s);
        default: return EXIT_USAGE;
    }
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    int rc = kv::run(argc, argv);
    std::fflush(stdout);
    return rc;
}
