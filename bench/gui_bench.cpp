// Timings of the desktop window in one process under Wine (never a test):
// `kv_gui_bench DUMP OBJECTS_DUMP [RUNS]` starts the real main window with a private cache
// folder and measures, RUNS times each (default 5):
//   - start to first page: the window started with DUMP on its command line (its cache made by
//     an untimed first start) until the first page of its first table is loaded and painted;
//   - page change: "›" on that table until the next page is shown;
//   - tree rebuild: the whole tree of OBJECTS_DUMP (up to 65,536 objects, made by
//     `kv_dump_generate OUT --objects 65536`) cleared and filled again.
// Prints one JSON object with the median and maximum milliseconds of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "ui/win32/app_start.h"
#include "ui/win32/main_window.h"
#include "ui/win32/seams.h"
#include "ui/win32/text_io.h"

namespace kv {
namespace {

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int quiet_box(HWND, const wchar_t* text, const wchar_t*, UINT) {
    std::fprintf(stderr, "message: %s\n", ui_narrow(text).c_str());
    return IDOK;
}

const MainState& state_of(HWND main) { return MainWindow::from(main)->state(); }

// Handles messages until no job runs any more (a takeover may start the next one).
void run_until_idle(HWND main) {
    int quiet = 0;
    MSG msg;
    while (quiet < 2) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ui_process_message(msg);
        if (state_of(main).busy) {
            quiet = 0;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        } else {
            ++quiet;
        }
    }
}

void close_window(HWND main) {
    DestroyWindow(main);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) ui_process_message(msg);
}

void print_stats(const char* name, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf(", \"%s_median_ms\": %.1f, \"%s_max_ms\": %.1f", name, v[v.size() / 2], name,
                v.back());
}

std::wstring command_line(const std::string& dump) { return L"x.exe \"" + ui_wide(dump) + L"\""; }

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
    using namespace kv;
    if (argc < 3) {
        std::fprintf(stderr, "usage: kv_gui_bench DUMP OBJECTS_DUMP [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    ui_seams.message_box = quiet_box;
    std::vector<double> start, page, tree;
    HWND main = nullptr;
    for (int run = 0; run <= runs; ++run) {  // run 0 makes the cache
        const double t0 = now_ms();
        if (ui_start(command_line(argv[1]).c_str(), main) != 0) return 1;
        run_until_idle(main);
        UpdateWindow(main);
        const double t1 = now_ms();
        if (!state_of(main).page) {
            std::fprintf(stderr, "no page: %s\n", state_of(main).status.c_str());
            return 1;
        }
        if (run > 0) start.push_back(t1 - t0);
        if (run > 0) {
            const double p0 = now_ms();
            MainWindow::from(main)->command(ID_NEXT_PAGE, BN_CLICKED);
            run_until_idle(main);
            UpdateWindow(main);
            page.push_back(now_ms() - p0);
        }
        close_window(main);
    }
    if (ui_start(command_line(argv[2]).c_str(), main) != 0) return 1;
    run_until_idle(main);
    MainWindow& window = *MainWindow::from(main);
    std::size_t objects = window.state().dump ? window.state().dump->objects.size() : 0;
    for (int run = 0; run < runs; ++run) {
        const double t0 = now_ms();
        window.command(ID_TREE_FILTER, EN_CHANGE);  // the tree filled anew, unfiltered
        UpdateWindow(window.control(ID_TREE));
        tree.push_back(now_ms() - t0);
        run_until_idle(main);
    }
    const unsigned items = TreeView_GetCount(window.control(ID_TREE));
    close_window(main);
    std::printf("{\"runs\": %d, \"objects\": %zu, \"tree_items\": %u", runs, objects, items);
    print_stats("start_to_first_page", start);
    print_stats("page_change", page);
    print_stats("tree_rebuild", tree);
    std::printf("}\n");
    return 0;
}
