// Page-load timing in one process: `kv_page_bench DUMP CACHE_ROOT [TABLE] [PAGES]` opens the
// dump from its cache once (importing it when the cache is missing) and times page jobs at the
// first, middle and last page of the table (the largest one unless TABLE names one), PAGES
// times each (default 50): the pages from that position on (up to the table's end), each
// with the record read window emptied first, as after a jump to a far row, so that every
// position pays the same reads. It prints one JSON object: the reopen time and, per position,
// the median and maximum milliseconds. Process start-up is not measured, which
// is the point of doing it here rather than through korvane-dump.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cache/file_names.h"
#include "foundation/dump_state.h"
#include "foundation/file.h"
#include "bench/bench_open.h"
#include "importer/open_sequence.h"
#include "jobs/job.h"
#include "jobs/page_job.h"

namespace kv {
namespace {

using bench::now_ms;

struct Stats {
    double median = 0;
    double maximum = 0;
};

Stats stats(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.maximum = v.back();
    return s;
}

int run(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kv_page_bench DUMP CACHE_ROOT [TABLE] [PAGES]\n");
        return 2;
    }
    const std::string table_name = argc > 3 ? argv[3] : "";
    const int pages = argc > 4 ? std::atoi(argv[4]) : 50;
    const auto opened = bench::open_for_bench(argv[1], argv[2]);
    if (!opened) return 1;
    DumpState& state = opened->state;
    const double open_ms = opened->open_ms;

    int object = -1;
    for (std::size_t i = 0; i < state.objects.size(); ++i) {
        const SchemaObject& o = state.objects[i];
        if (o.kind != OBJECT_TABLE) continue;
        if (!table_name.empty() ? o.object_name == table_name
                                : (object < 0 || o.entry_count >
                                                     state.objects[static_cast<std::size_t>(object)]
                                                         .entry_count)) {
            object = static_cast<int>(i);
        }
    }
    if (object < 0) {
        std::fprintf(stderr, "no such table\n");
        return 1;
    }
    const std::uint64_t rows = state.objects[static_cast<std::size_t>(object)].entry_count;
    const std::uint64_t last_page = rows == 0 ? 0 : (rows - 1) / PAGE_ROWS;
    const std::uint64_t page_starts[3] = {0, last_page / 2, last_page};
    const char* names[3] = {"first", "middle", "last"};
    std::printf("{\"reopen_ms\": %.3f, \"from_cache\": %d, \"rows\": %llu", open_ms,
                static_cast<int>(state.loaded_from_cache), static_cast<unsigned long long>(rows));
    for (int where = 0; where < 3; ++where) {
        std::vector<double> times;
        for (int k = 0; k < pages; ++k) {
            // The same walk at every position: forward over the next pages, the last position
            // starting far enough before the end.
            const std::uint64_t from =
                where == 2 ? page_starts[2] - std::min<std::uint64_t>(page_starts[2], pages - 1)
                           : page_starts[where];
            const std::uint64_t page = std::min(from + static_cast<std::uint64_t>(k), last_page);
            state.read_buffer_length = 0;  // a jump: the window holds nothing of this page
            BackgroundJob job;
            job.kind = JobKind::page;
            job.object = object;
            job.dump_state = &state;
            job.rows = rows;
            job.first_row = page_first_row(page * PAGE_ROWS, rows);
            job.index_path = cache_index_path(state, static_cast<std::uint32_t>(object));
            double t = now_ms();
            const Status loaded = page_load(job);
            times.push_back(now_ms() - t);
            if (!loaded.ok()) {
                std::fprintf(stderr, "page failed: %s\n", status_text(loaded).c_str());
                return 1;
            }
        }
        Stats s = stats(times);
        std::printf(", \"page_%s_median_ms\": %.3f, \"page_%s_max_ms\": %.3f", names[where],
                    s.median, names[where], s.maximum);
    }
    std::printf("}\n");
    return 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::run(argc, argv); }
