// Timings of the desktop window in one process under Wine (never a test):
// `kv_gui_bench DUMP OBJECTS_DUMP [RUNS]` starts the real main window with a private cache
// folder and measures, RUNS times each (default 5):
//   - start to first page: the window started with DUMP on its command line (its cache made by
//     an untimed first start) until the first page of its first table is loaded and painted;
//   - page change: "›" on that table until the next page is shown, and its parts: the command
//     (job start), the hand-over (until the job's end is taken from the message queue), the
//     takeover (its handling: grid, labels, status) and the rest (painting, until idle);
//   - tree rebuild: the whole tree of OBJECTS_DUMP (up to 65,536 objects, made by
//     `kv_dump_generate OUT --objects 65536`) built again with an empty filter;
//   - tree keystroke: each keystroke of typing "db_0001" into the tree filter (the first
//     three keep every object, the last ten), then the whole tree again by clearing the field;
//   - tree first fill: the handling of the objects dump's open job (the tree filled, the first
//     table selected), before painting.
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

// When the job's end was taken from the queue and when its handling returned (0: none seen).
struct HandOver {
    double taken = 0;
    double handled = 0;
};

// Handles messages until no job runs any more (a takeover may start the next one).
void run_until_idle(HWND main, HandOver* seen = nullptr) {
    int quiet = 0;
    MSG msg;
    while (quiet < 2) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const bool job_end = msg.message == WM_JOB_FINISHED && seen != nullptr &&
                                 seen->taken == 0;
            if (job_end) seen->taken = now_ms();
            ui_process_message(msg);
            if (job_end) seen->handled = now_ms();
        }
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

namespace kv {
namespace {

struct PageParts {
    std::vector<double> total, command, hand_over, takeover, rest;
};

void time_page_change(HWND main, PageParts& parts) {
    HandOver seen;
    const double p0 = now_ms();
    MainWindow::from(main)->command(ID_NEXT_PAGE, BN_CLICKED);
    const double p1 = now_ms();
    run_until_idle(main, &seen);
    UpdateWindow(main);
    const double p2 = now_ms();
    parts.total.push_back(p2 - p0);
    parts.command.push_back(p1 - p0);
    if (seen.taken > 0) {
        parts.hand_over.push_back(seen.taken - p1);
        parts.takeover.push_back(seen.handled - seen.taken);
        parts.rest.push_back(p2 - seen.handled);
    }
}

// The filter field set to text (its change notification rebuilds the tree) until painted.
double time_filter(MainWindow& window, const wchar_t* text) {
    const double t0 = now_ms();
    SetWindowTextW(window.control(ID_TREE_FILTER), text);
    UpdateWindow(window.hwnd());
    return now_ms() - t0;
}

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
    std::vector<double> start, tree, keys, first_fill;
    PageParts page;
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
        if (run > 0) {
            start.push_back(t1 - t0);
            for (int i = 0; i < 3; ++i) time_page_change(main, page);
        }
        close_window(main);
    }
    std::size_t objects = 0;
    unsigned items = 0;
    for (int run = 0; run <= runs; ++run) {  // run 0 makes the cache
        if (ui_start(command_line(argv[2]).c_str(), main) != 0) return 1;
        HandOver opened;
        run_until_idle(main, &opened);
        UpdateWindow(main);
        MainWindow& window = *MainWindow::from(main);
        if (run > 0 && opened.taken > 0) first_fill.push_back(opened.handled - opened.taken);
        objects = window.state().dump ? window.state().dump->objects.size() : 0;
        if (run > 0) {
            const double t0 = now_ms();
            window.command(ID_TREE_FILTER, EN_CHANGE);  // the tree filled anew, unfiltered
            UpdateWindow(main);
            tree.push_back(now_ms() - t0);
            const std::wstring typed = L"db_0001";
            for (std::size_t n = 1; n <= typed.size(); ++n) {
                keys.push_back(time_filter(window, typed.substr(0, n).c_str()));
            }
            keys.push_back(time_filter(window, L""));
        }
        items = TreeView_GetCount(window.control(ID_TREE));
        close_window(main);
    }
    std::printf("{\"runs\": %d, \"objects\": %zu, \"tree_items\": %u", runs, objects, items);
    print_stats("start_to_first_page", start);
    print_stats("page_change", page.total);
    print_stats("page_command", page.command);
    if (!page.hand_over.empty()) {
        print_stats("page_hand_over", page.hand_over);
        print_stats("page_takeover", page.takeover);
        print_stats("page_rest", page.rest);
    }
    print_stats("tree_rebuild", tree);
    print_stats("tree_keystroke", keys);
    if (!first_fill.empty()) print_stats("tree_first_fill", first_fill);
    std::printf("}\n");
    return 0;
}
