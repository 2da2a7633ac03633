// Tree timing in one process: `kv_tree_bench DUMP CACHE_ROOT [RUNS]` opens the dump from its
// cache once (importing it when the cache is missing) and times, RUNS times each (default 20),
// building the tree without a filter, building it for each keystroke of typing a filter text
// ("d", "db", ... "db_1234", as the window rebuilds it), and the display order of the full
// tree. Meant for dumps of up to 65,536 objects (`kv_dump_generate OUT --objects 65536`). It
// prints one JSON object: object and item counts, the reopen time and, per step, the median
// and maximum milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "bench/bench_open.h"
#include "importer/open_sequence.h"
#include "ui/logic/tree_model.h"

namespace kv {
namespace {

using bench::now_ms;

void print_stats(const char* name, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf(", \"%s_median_ms\": %.3f, \"%s_max_ms\": %.3f", name, v[v.size() / 2], name,
                v.back());
}

int run(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kv_tree_bench DUMP CACHE_ROOT [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;
    const auto opened = bench::open_for_bench(argv[1], argv[2]);
    if (!opened) return 1;
    DumpState& state = opened->state;
    const double open_ms = opened->open_ms;

    const std::string typed = "db_1234";
    std::vector<double> build, keystroke, order;
    std::size_t items = 0;
    for (int r = 0; r < runs; ++r) {
        double t = now_ms();
        TreeModel tree = tree_build(&state, CHARSET_UTF8, "", -1);
        build.push_back(now_ms() - t);
        items = tree.items.size();
        t = now_ms();
        std::vector<std::int32_t> shown = tree_display_order(tree);
        order.push_back(now_ms() - t);
        if (shown.size() != items) return 1;
        for (std::size_t k = 1; k <= typed.size(); ++k) {
            t = now_ms();
            TreeModel filtered = tree_build(&state, CHARSET_UTF8, typed.substr(0, k), -1);
            keystroke.push_back(now_ms() - t);
            if (filtered.items.empty()) return 1;
        }
    }
    std::printf("{\"objects\": %zu, \"items\": %zu, \"reopen_ms\": %.3f", state.objects.size(),
                items, open_ms);
    print_stats("tree_build", build);
    print_stats("tree_filter_keystroke", keystroke);
    print_stats("tree_display_order", order);
    std::printf("}\n");
    return 0;
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) { return kv::run(argc, argv); }
