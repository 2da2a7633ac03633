// The desktop window in-process under Wine with a virtual display: the real main window from
// the real start-up, driven with messages, running the real background jobs on the demo dump
// and on tests/data/ui/zahlen.sql (250 rows, every 7th word NULL, and a view). Message boxes
// and file dialogs go through the seams (recorded and answered here), so no modal window can
// hold up a run. The window-free logic is tested natively; these tests check that the shell
// wires it to its controls (Tab order, layout after size and DPI changes, text window, grid,
// paging, filter, CSV and tuple as korvane-dump writes them, drops, keyboard shortcuts,
// "Neu indexieren", record details, tabs, character set, cancel and close while jobs run);
// and the real program started and closed as a process. With KV_SCREENSHOT_DIR set, the tests
// that pass through the states of tools/screenshot.sh's in-process pictures save them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <tuple>

#include "foundation/messages.h"
#include "foundation/text.h"
#include "importer/open_sequence.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include "ui/logic/help_text.h"
#include "ui/logic/page_number.h"
#include "ui/logic/paint_plan.h"
#include "ui/logic/format_text.h"
#include "ui/logic/recent_dumps.h"
#include "ui/logic/search_view.h"
#include "ui/logic/view_text.h"
#include "ui/win32/app_start.h"
#include "ui/win32/main_window.h"
#include "ui/win32/seams.h"
#include "ui/win32/text_io.h"

#include <shlobj.h>

namespace kv {
namespace {

// What the seams were asked; every box is answered `answer`, every file dialog with `chosen`.
struct Seen {
    std::vector<std::string> boxes, dialogs;
    UINT flags = 0;  // of the last box
    int answer = IDYES;
    std::function<void()> while_shown;  // runs while a box is "shown", as its message loop would
    std::string chosen;
    int file_type = 1;  // the file type the dialog "chooses"
    std::vector<std::string> menu;  // the last popup menu's items
    bool menu_enabled = false;
    int menu_answer = -1;
} seen;

void install_seams(const std::string& cache) {
    seen = {};
    SetEnvironmentVariableW(L"LOCALAPPDATA", ui_wide(cache).c_str());
    ui_seams.message_box = [](HWND, const wchar_t* text, const wchar_t*, UINT flags) {
        seen.boxes.push_back(ui_narrow(text));
        seen.flags = flags;
        if (seen.while_shown != nullptr) seen.while_shown();
        return seen.answer;
    };
    ui_seams.file_dialog = [](HWND, bool, const wchar_t* title, const wchar_t*,
                              const std::wstring& name, std::wstring& chosen, int& file_type) {
        seen.dialogs.push_back(ui_narrow(title) + " | " + ui_narrow(name));
        chosen = ui_wide(seen.chosen);
        file_type = seen.file_type;
        return true;
    };
    ui_seams.popup_menu = [](HWND, const std::vector<std::wstring>& items, bool enabled, POINT) {
        seen.menu.clear();
        for (const std::wstring& item : items) seen.menu.push_back(ui_narrow(item));
        seen.menu_enabled = enabled;
        return seen.menu_answer;
    };
}

// Handles the thread's messages for ms milliseconds (at least one pass); true on WM_QUIT.
bool pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return true;
            ui_process_message(msg);
        }
    } while (Sleep(5), GetTickCount64() < end);
    return false;
}

std::string window_text(HWND window) {
    std::wstring text(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    return ui_narrow(text.substr(0, std::size_t(GetWindowTextW(window, text.data(), int(text.size())))));
}

std::wstring clipboard() {
    OpenClipboard(nullptr);
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const std::wstring text(data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : L"");
    GlobalUnlock(data), CloseClipboard();
    return text;
}

// Saves what the screen shows in the main window's frame (a text window over it included) as
// a BMP when KV_SCREENSHOT_DIR is set (by tools/screenshot.sh). Read through Wine's own screen:
// on a virtual display Wine leaves every top-level window but the first black on the X screen.
void shot(HWND main, const char* name) {
    const std::string dir = env_get("KV_SCREENSHOT_DIR");
    if (dir.empty()) return;
    pump(300);
    RECT f;
    GetWindowRect(main, &f);
    const int w = f.right - f.left, h = f.bottom - f.top;
    const HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateCompatibleBitmap(screen, w, h), old = HBITMAP(SelectObject(dc, canvas));
    BitBlt(dc, 0, 0, w, h, screen, f.left, f.top, SRCCOPY);
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD head = sizeof(BITMAPFILEHEADER) + sizeof info;
    std::string bmp(head + std::size_t((w * 3 + 3) & ~3) * std::size_t(h), '\0');
    SelectObject(dc, old);
    GetDIBits(dc, canvas, 0, UINT(h), bmp.data() + head, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    const BITMAPFILEHEADER file{0x4D42, DWORD(bmp.size()), 0, 0, head};
    std::memcpy(bmp.data(), &file, sizeof file), std::memcpy(bmp.data() + sizeof file, &info, sizeof info);
    test::write_file(dir + "/" + name + ".bmp", bmp);
    DeleteDC(dc), DeleteObject(canvas), ReleaseDC(nullptr, screen);
}

std::string program_folder() {
    wchar_t path[MAX_PATH];
    const std::string p = ui_narrow(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
    return p.substr(0, p.find_last_of("/\\"));
}

class WorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_seams(cache_.str());
        ASSERT_EQ(ui_start(L"korvane-dump-browser.exe", main_), 0);
        pump(50);
    }
    void TearDown() override {
        if (!IsWindow(main_)) return;  // closed by the test
        DestroyWindow(main_);
        EXPECT_TRUE(pump(5000)) << "no quit message after the main window was destroyed";
    }
    // The main window's object and its state, reached from its handle.
    MainWindow& window() { return *MainWindow::from(main_); }
    const MainState& state() { return window().state(); }
    HWND control(int id) { return window().control(id); }
    void wait_idle() {  // until no job runs (nor one started by the takeover)
        const ULONGLONG end = GetTickCount64() + 60000;
        for (int quiet = 0; quiet < 3 && GetTickCount64() < end;) {
            pump(20);
            quiet = state().busy ? 0 : quiet + 1;
        }
        ASSERT_FALSE(state().busy) << "job did not end";
    }
    // Posts the path as the start-up does for a command-line path; waits for the jobs' end,
    // or handles messages for ms only.
    void open(const std::string& path, DWORD ms = 0) {
        const char* copy = std::strcpy(new char[path.size() + 1], path.c_str());
        PostMessageW(main_, WM_OPEN_PATH, 0, reinterpret_cast<LPARAM>(copy));
        pump(ms > 0 ? ms : 20);
        if (ms == 0) wait_idle();
    }
    void notify(int id, UINT code) {
        NMHDR header{control(id), UINT_PTR(id), code};
        SendMessageW(main_, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
        wait_idle();
    }
    void key(WPARAM k) {  // a key pressed on the focused control, through the message loop's part
        MSG msg{GetFocus(), WM_KEYDOWN, k, 0, 0, {}};
        ui_process_message(msg);
        wait_idle();
    }
    void select_tab(int tab) { TabCtrl_SetCurSel(control(ID_TABS), tab), notify(ID_TABS, TCN_SELCHANGE); }
    void click(int id, const char* field_text = nullptr, int code = BN_CLICKED) {
        const HWND field = control(id == ID_GO ? ID_PAGE_NUMBER : ID_FILTER_VALUE);
        if (field_text != nullptr) SetWindowTextW(field, ui_wide(field_text).c_str());
        window().command(id, code);
        wait_idle();
    }
    std::string cell(int row, int column) {
        wchar_t text[4096] = {};
        ListView_GetItemText(control(ID_GRID), row, column, text, 4096);
        return ui_narrow(text);
    }
    std::string text(int id) { return window_text(control(id)); }
    static int system_dpi() { return std::max(96, int(GetDpiForSystem())); }
    // Every control where ui_main_layout puts it (drop-down boxes: without their height).
    void expect_layout(int dpi) {
        RECT client;
        GetClientRect(main_, &client);
        const MainLayout layout = ui_main_layout(client.right, client.bottom, dpi, window().measures());
        for (int id : CONTROL_ORDER) {
            RECT r;
            GetWindowRect(control(id), &r);
            MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
            UiRect want = layout.of(id);
            if (id == ID_CHARSET || id == ID_FILTER_COLUMN || id == ID_FILTER_OP) want.height = r.bottom - r.top;
            EXPECT_EQ((UiRect{r.left, r.top, r.right - r.left, r.bottom - r.top}), want)
                << id << " in " << client.right << "x" << client.bottom << " at " << dpi;
        }
        EXPECT_EQ((GetWindowLongW(control(ID_DETAILS), GWL_STYLE) & WS_VISIBLE) != 0, layout.details_visible);
    }
    const std::string demo = program_folder() + "/samples/korvane-demo.sql";
    const std::string zahlen = test::data_file("ui/zahlen.sql");
    test::TempDir cache_, files_, shm_{test::sparse_file_base()};
    HWND main_ = nullptr;
};

TEST_F(WorkTest, ControlsLayoutAndDpiChange) {
    std::vector<int> ids;
    for (HWND c = GetWindow(main_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ids.push_back(GetDlgCtrlID(c));
    EXPECT_EQ(ids, std::vector<int>(CONTROL_ORDER.begin(), CONTROL_ORDER.end()));
    for (const auto& [w, h] : {std::pair{1300, 820}, {1100, 700}}) {
        RECT r{0, 0, w, h};
        AdjustWindowRectEx(&r, DWORD(GetWindowLongW(main_, GWL_STYLE)), FALSE,
                           DWORD(GetWindowLongW(main_, GWL_EXSTYLE)));
        SetWindowPos(main_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOMOVE);
        pump(50);
        expect_layout(system_dpi());
    }
    const int other = system_dpi() == 144 ? 192 : 144;
    RECT suggested{10, 10, 10 + 1800, 10 + 1200};
    SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&suggested));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control(ID_GRID), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -ui_scale(FONT_DEFS[FONT_UI].height, other));  // the fonts made anew
    expect_layout(other);
}

// At the system's DPI and one more (144, or 192 when the system has 144): every button's caption fits inside it in the button's own font; the
// boxes and fields sit centred on the buttons of their row. The tree splitter dragged with the
// mouse and stepped with Alt+Shift+Arrow, stopping at its minimum; the layout follows.
TEST_F(WorkTest, CaptionsFitFieldsCentredSplittersDrag) {
    open(zahlen);
    const auto rect_of = [this](int id) {
        RECT r;
        GetWindowRect(control(id), &r);
        MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const auto middle = [&](int id) { const RECT r = rect_of(id); return (r.top + r.bottom) / 2; };
    const int second = system_dpi() == 144 ? 192 : 144;
    for (int dpi : {system_dpi(), second}) {
        if (dpi != system_dpi()) {
            RECT suggested{0, 0, ui_scale(1360, dpi), ui_scale(860, dpi)};
            SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            pump(50);
        }
        const HDC dc = GetDC(nullptr);
        for (int id : CONTROL_ORDER) {
            wchar_t name[32] = {};
            GetClassNameW(control(id), name, 32);
            if (std::wstring(name) != L"Button" || id == ID_RECENT) continue;  // the arrow has no caption
            const HGDIOBJ old = SelectObject(dc, HFONT(SendMessageW(control(id), WM_GETFONT, 0, 0)));
            const std::wstring caption = ui_wide(window_text(control(id)));
            SIZE size{};
            GetTextExtentPoint32W(dc, caption.c_str(), int(caption.size()), &size);
            SelectObject(dc, old);
            const RECT r = rect_of(id);
            EXPECT_LE(size.cx + 2 * ui_scale(BUTTON_TEXT_INSET + BUTTON_FOCUS_INSET, dpi), r.right - r.left)
                << window_text(control(id)) << " at " << dpi;
        }
        ReleaseDC(nullptr, dc);
        for (const auto& [field, button] : {std::pair{ID_CHARSET, ID_OPEN}, {ID_FILTER_COLUMN, ID_FILTER},
                                            {ID_FILTER_OP, ID_FILTER}, {ID_FILTER_VALUE, ID_FILTER},
                                            {ID_PAGE_NUMBER, ID_GO}}) {
            EXPECT_NEAR(middle(field), middle(button), 2) << field << " at " << dpi;
        }
        expect_layout(dpi);
    }
    const int dpi = second;
    const auto tree_width = [&] { const RECT r = rect_of(ID_TREE); return r.right - r.left; };
    const auto drag = [this, second](int from, int to) {
        const int y = ui_scale(400, second);
        SendMessageW(main_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, y));
        SendMessageW(main_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, y));
        SendMessageW(main_, WM_LBUTTONUP, 0, MAKELPARAM(to, y));
        pump(20);
    };
    RECT client;
    GetClientRect(main_, &client);
    const auto dragged = [&](int to) {  // the tree's width after a drag to x, by the layout's rules
        const LayoutMeasures m = ui_splitter_drag(Splitter::tree, to, client.right, dpi, window().measures());
        return ui_scale(ui_panel_columns(ui_unscale(client.right, dpi), m).tree_width, dpi);
    };
    const int gap = rect_of(ID_TREE).right + ui_scale(17, dpi);
    const int wider = dragged(gap + 150);
    ASSERT_GT(wider, tree_width()) << "no room to widen the tree: run on a screen of 2880x1800";
    drag(gap, gap + 150);
    EXPECT_EQ(tree_width(), wider);
    expect_layout(dpi);
    drag(gap + 150, 0);
    EXPECT_EQ(tree_width(), ui_scale(std::max(TREE_MIN_WIDTH, window().measures().caption(ID_TREE_FILTER) + 4), dpi));
    drag(ui_scale(500, dpi), ui_scale(900, dpi));  // not on a gap: nothing moves
    EXPECT_EQ(tree_width(), ui_scale(window().measures().tree_width, dpi));
    const int narrow = tree_width();
    BYTE keys[256] = {};
    keys[VK_MENU] = keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    MSG msg{control(ID_GRID), WM_SYSKEYDOWN, VK_RIGHT, 0, 0, {}};
    ui_process_message(msg);
    keys[VK_MENU] = keys[VK_SHIFT] = 0, SetKeyboardState(keys);
    EXPECT_EQ(state().page_offset, 0u);  // no page change
    EXPECT_NEAR(tree_width(), narrow + ui_scale(SPLITTER_KEY_STEP, dpi), 1);
    expect_layout(dpi);
}

// The window starts where ui_start_window_rect puts it for the system DPI in the primary
// monitor's work area (the DPI runs of the suite check it at 144 and 192 DPI too).
TEST_F(WorkTest, StartPlace) {
    MONITORINFO m{};
    m.cbSize = sizeof m;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &m));
    const RECT& w = m.rcWork;
    RECT f;
    GetWindowRect(main_, &f);
    EXPECT_EQ((UiRect{f.left, f.top, f.right - f.left, f.bottom - f.top}),
              ui_start_window_rect(int(GetDpiForSystem()), {w.left, w.top, w.right - w.left, w.bottom - w.top}));
}

// One text window at a time, the main window disabled meanwhile; its word wrap switch, shared
// with the main window's text view; Escape closes it from any window; "Alles kopieren" copies
// several megabytes whole.
TEST_F(WorkTest, TextWindowActsModal) {
    window().command(ID_HELP, BN_CLICKED);
    shot(main_, "02-help");
    const HWND help = window().text_window();
    ASSERT_NE(help, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main_));
    EXPECT_EQ(window_text(help), msg_text(Msg::title_help));
    EXPECT_EQ(window_text(GetDlgItem(help, 3)), ui_help_text());
    window().show_text("zweites", "x");
    EXPECT_EQ(window().text_window(), help);
    // "Zeilenumbruch", on at first: off makes the field anew with its text, in its Tab place,
    // and the main window's text view follows once the window is closed; on again there.
    const auto wraps = [](HWND edit) { return (GetWindowLongW(edit, GWL_STYLE) & WS_HSCROLL) == 0; };
    EXPECT_TRUE(wraps(GetDlgItem(help, 3)));
    SendMessageW(GetDlgItem(help, 4), BM_CLICK, 0, 0);
    EXPECT_FALSE(wraps(GetDlgItem(help, 3)));
    EXPECT_EQ(window_text(GetDlgItem(help, 3)), ui_help_text());
    EXPECT_EQ(GetNextDlgTabItem(help, GetDlgItem(help, 4), TRUE), GetDlgItem(help, 1));
    MSG esc{control(ID_TREE), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    ui_process_message(esc);
    EXPECT_EQ(window().text_window(), nullptr);
    EXPECT_FALSE(IsWindow(help));
    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_FALSE(wraps(control(ID_TEXT_VIEW)));
    SendMessageW(control(ID_WRAP), BM_CLICK, 0, 0);
    EXPECT_TRUE(wraps(control(ID_TEXT_VIEW)));
    std::vector<int> ids;
    for (HWND c = GetWindow(main_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ids.push_back(GetDlgCtrlID(c));
    EXPECT_EQ(ids, std::vector<int>(CONTROL_ORDER.begin(), CONTROL_ORDER.end()));

    std::string big;
    while (big.size() < 3000000) big += "Zeile mit Umlauten äöü und Tab\t\r\n";
    window().set_wrap(false);  // wrapping megabytes costs Wine seconds
    window().show_text(msg_text(Msg::title_details), big);
    SendMessageW(window().text_window(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    EXPECT_EQ(clipboard(), ui_wide(big));
    SendMessageW(window().text_window(), WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
    EXPECT_EQ(window().text_window(), nullptr);
}

// Dropped files open the first; grid, labels and details of the first page; paging and page
// numbers; filter hits, their CSV and a raw tuple as korvane-dump writes them; reset.
TEST_F(WorkTest, DropPageFilterExportAndTuple) {
    const std::wstring list = ui_wide(zahlen) + L'\0' + ui_wide(demo) + L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (list.size() + 1) * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(files + 1, list.c_str(), (list.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    wait_idle();
    ASSERT_TRUE(state().dump);
    EXPECT_EQ(state().dump->dump_path, zahlen);
    EXPECT_EQ(window_text(main_) + "|" + text(ID_BREADCRUMB) + "|" + text(ID_PAGE_LABEL) + "|" + state().status,
              "zahlen.sql — Kor-Vane Dump Browser|" +
                  breadcrumb_text(state().dump->objects[std::size_t(state().selected_object)], CHARSET_UTF8) + "|" +
                  page_label_text(0, 250) + "|" + status_page_text(*state().dump));
    EXPECT_EQ(text(ID_DETAILS), details_pane(state().dump.get(), state().selected_object,
                                             state().page.get(), 0, CHARSET_UTF8).text);
    ASSERT_EQ(ListView_GetItemCount(control(ID_GRID)), 100);
    for (int r = 0; r < 100; ++r) EXPECT_EQ(cell(r, 2), utf16_to_utf8(state().page->cells[std::size_t(r)][2])) << r;
    click(ID_LAST_PAGE);
    EXPECT_EQ(ListView_GetItemCount(control(ID_GRID)), 50);
    EXPECT_EQ(text(ID_PAGE_LABEL) + " " + text(ID_PAGE_NUMBER), "Seite 3 von 3 · 201–250 von 250 3");
    EXPECT_FALSE(IsWindowEnabled(control(ID_NEXT_PAGE)));
    click(ID_PREV_PAGE);
    EXPECT_EQ(state().page_offset, 100u);
    for (const char* bad : {"0", "", "4"}) click(ID_GO, bad);
    EXPECT_EQ(seen.boxes, std::vector<std::string>(3, "Diese Seitennummer existiert nicht. Gültig sind die Seiten 1 bis 3."));
    EXPECT_EQ(seen.flags & MB_ICONMASK, UINT(MB_ICONINFORMATION));
    click(ID_GO, "1");
    EXPECT_EQ(state().page_offset, 0u);
    click(ID_FILTER, "w11");
    EXPECT_EQ(state().entry_total, 9u);  // w11, w110 ... w119 but for the NULLs of 112 and 119
    EXPECT_EQ(text(ID_INFO) + " " + cell(0, 2), info_label_text(9, true) + " w11");
    seen.chosen = files_.file("treffer.csv");
    click(ID_EXPORT);
    EXPECT_EQ(state().status, "Export abgeschlossen: " + seen.chosen);
    ASSERT_EQ(test::run_program(program_folder() + "/korvane-dump.exe",
                                {"--cache-root", files_.file("cli-cache"), "export", zahlen, "zahlen",
                                 files_.file("cli.csv"), "--text", "w11"}).exit_code, 0);
    EXPECT_EQ(test::read_file(seen.chosen), test::read_file(files_.file("cli.csv")));
    // The second file type: the hits as an SQL script, as korvane-dump extract writes them
    // (but for the time of writing in the header).
    seen.chosen = files_.file("treffer.sql");
    seen.file_type = 2;
    click(ID_EXPORT);
    seen.file_type = 1;
    EXPECT_EQ(state().status, "Export abgeschlossen: " + seen.chosen);
    ASSERT_EQ(test::run_program(program_folder() + "/korvane-dump.exe",
                                {"--cache-root", files_.file("cli-cache"), "extract", zahlen, "zahlen",
                                 files_.file("cli.sql"), "--text", "w11"}).exit_code, 0);
    const auto untimed = [](std::string script) {
        const std::size_t at = script.find("-- Erstellt: ");
        return at == std::string::npos ? script : script.erase(at, script.find('\n', at) - at);
    };
    EXPECT_EQ(untimed(test::read_file(seen.chosen)), untimed(test::read_file(files_.file("cli.sql"))));
    EXPECT_NE(test::read_file(seen.chosen).find("(11,'w11'),"), std::string::npos);
    seen.chosen = files_.file("tupel.sql");
    click(ID_TUPLE);
    EXPECT_EQ(test::read_file(seen.chosen), "(11,'w11')");
    EXPECT_EQ(seen.dialogs.back(), "Originales SQL-Rohtupel speichern (ohne INSERT-Header) | tuple-byte-" +
                                       std::to_string(state().page->entries[0].offset) + ".sql");
    const std::string query = state().filter_path;
    click(ID_RESET);
    EXPECT_FALSE(test::file_exists(query));
    EXPECT_EQ(state().entry_total, 250u);
}

// The message loop's shortcuts in turn on zahlen.sql, the modifier set in the key state: the
// page and filter hits after each, back on "Daten", and the focus where the key was pressed
// once the jobs have ended; Ctrl+F into the filter field, Ctrl+C copies.
TEST_F(WorkTest, KeyboardShortcuts) {
    open(zahlen);
    struct Key { WPARAM key; BYTE modifier; int focus, tab_before; const char* typed; std::uint64_t offset, total; };
    for (const Key& k : {Key{VK_RIGHT, VK_MENU, ID_GRID, TAB_DATA, nullptr, 100, 250},
                         {VK_LEFT, VK_MENU, ID_GRID, TAB_DATA, nullptr, 0, 250},
                         {VK_RETURN, 0, ID_PAGE_NUMBER, TAB_DATA, "3", 200, 250},
                         {VK_RIGHT, VK_MENU, ID_GRID, TAB_DATA, nullptr, 200, 250},  // on the last page
                         {'F', VK_CONTROL, ID_TREE, TAB_STRUCTURE, nullptr, 200, 250},
                         {VK_RETURN, 0, ID_FILTER_VALUE, TAB_DATA, "w25", 0, 2},
                         {'C', VK_CONTROL, ID_GRID, TAB_DATA, nullptr, 0, 2}}) {
        if (k.tab_before != state().current_tab) select_tab(k.tab_before);
        SetFocus(control(k.focus));
        if (k.typed != nullptr) SetWindowTextW(control(k.focus), ui_wide(k.typed).c_str());
        BYTE keys[256] = {};
        keys[k.modifier] = k.modifier != 0 ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG msg{control(k.focus), k.modifier == VK_MENU ? UINT(WM_SYSKEYDOWN) : UINT(WM_KEYDOWN), k.key, 0, 0, {}};
        ui_process_message(msg);
        keys[k.modifier] = 0, SetKeyboardState(keys);
        wait_idle();
        EXPECT_EQ((std::tuple{state().page_offset, state().entry_total, state().current_tab}),
                  (std::tuple{k.offset, k.total, int(TAB_DATA)})) << k.key << " " << int(k.modifier);
        EXPECT_EQ(GetFocus(), control(k.key == 'F' ? ID_FILTER_VALUE : k.focus)) << k.key;  // Ctrl+F: into the field
    }
    EXPECT_EQ(clipboard(), ui_wide(utf16_to_utf8(ui_row_tsv(state().page->cells[0]))));  // Ctrl+C: the row
}

// By keyboard alone on the demo, each key sent where the focus is: Down walks the tree, each
// object loaded while the tree keeps the focus; Enter and Space on a grid row open its details
// as the double-click does, and after Escape the grid has the focus again.
TEST_F(WorkTest, TreeWalkAndDetailsByKeyboard) {
    open(demo);
    SetFocus(control(ID_TREE));
    std::vector<int> walked{state().selected_object};
    for (int i = 0; i < 5; ++i) {
        key(VK_DOWN);
        EXPECT_EQ(GetFocus(), control(ID_TREE)) << i;
        if (state().selected_object != walked.back()) walked.push_back(state().selected_object);
    }
    EXPECT_GE(walked.size(), 4u);
    window().select_object(walked[0]);
    wait_idle();
    SetFocus(control(ID_GRID));
    for (WPARAM k : {VK_RETURN, VK_SPACE}) {
        ListView_SetItemState(control(ID_GRID), 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        key(k);
        ASSERT_NE(window().text_window(), nullptr) << k;
        EXPECT_EQ(window_text(window().text_window()), msg_text(Msg::title_details));
        EXPECT_NE(window_text(GetDlgItem(window().text_window(), 3))
                      .find("Byteposition: " + std::to_string(state().page->entries[2].offset) + "\r\n"),
                  std::string::npos);
        key(VK_ESCAPE);
        EXPECT_EQ(window().text_window(), nullptr);
        EXPECT_EQ(GetFocus(), control(ID_GRID)) << k;
    }
}

// Paging keeps the grid's columns (a width the user gave stays) and shows the new rows from
// the top with only the first selected; the "Struktur" tab and back bring their own columns.
TEST_F(WorkTest, PageChangeKeepsTheGridColumns) {
    open(zahlen);
    const HWND grid = control(ID_GRID), header = ListView_GetHeader(grid);
    ASSERT_EQ(Header_GetItemCount(header), 3);
    const int width = ListView_GetColumnWidth(grid, 1);
    ListView_SetColumnWidth(grid, 1, width + 37);
    ListView_SetItemState(grid, 5, LVIS_SELECTED, LVIS_SELECTED);
    ListView_EnsureVisible(grid, 99, FALSE);
    for (const char* first : {"101", "201"}) {
        click(ID_NEXT_PAGE);
        EXPECT_EQ(cell(0, 0), first);
        EXPECT_EQ(ListView_GetItemCount(grid), std::string(first) == "101" ? 100 : 50);
        EXPECT_EQ(Header_GetItemCount(header), 3);
        EXPECT_EQ(ListView_GetColumnWidth(grid, 1), width + 37) << first;
        EXPECT_EQ(ListView_GetSelectedCount(grid), 1u) << first;
        EXPECT_EQ(ListView_GetNextItem(grid, -1, LVNI_SELECTED), 0) << first;
        EXPECT_EQ(ListView_GetTopIndex(grid), 0) << first;
    }
    select_tab(TAB_STRUCTURE);
    EXPECT_EQ(cell(1, 1), "wort");
    select_tab(TAB_DATA);
    EXPECT_EQ(Header_GetItemCount(header), 3);
    EXPECT_EQ(ListView_GetColumnWidth(grid, 1), width);
    EXPECT_EQ(cell(0, 0), "201");
}

// The text and object value of a tree item.
std::pair<std::string, LPARAM> tree_item(HWND tree, HTREEITEM item) {
    wchar_t text[256] = {};
    TVITEMW query{};
    query.mask = TVIF_TEXT | TVIF_PARAM;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = 256;
    TreeView_GetItem(tree, &query);
    return {ui_narrow(text), query.lParam};
}

// 1,100 databases of one table each: the tree holds its top, the first range of 500
// databases and the way to the first table, not all 3,301 items. A range, a database and its
// group get their items when they are expanded, and a table selected there loads. The filter
// and clearing it rebuild the tree, which finds the selected table again in its range.
TEST_F(WorkTest, LargeTreeHoldsWhatIsShown) {
    std::string dump;
    for (int d = 0; d < 1100; ++d) {
        char name[16];
        std::snprintf(name, sizeof name, "db_%05d", d);
        dump += std::string("CREATE DATABASE `") + name + "`;\nUSE `" + name +
                "`;\nCREATE TABLE `t` (`id` int);\nINSERT INTO `t` VALUES (" + std::to_string(d) + ");\n";
    }
    const std::string path = files_.file("many.sql");
    test::write_file(path, dump);
    open(path);
    const HWND tree = control(ID_TREE);
    EXPECT_EQ(state().selected_object, 1);
    const unsigned first = TreeView_GetCount(tree);
    EXPECT_EQ(first, 1u + 3 + 500 + 2);  // file, ranges, the first range's databases, the way
    HTREEITEM range = TreeView_GetChild(tree, TreeView_GetRoot(tree));
    for (int i = 0; i < 2; ++i) range = TreeView_GetNextSibling(tree, range);
    EXPECT_EQ(tree_item(tree, range).first, "1.001 – 1.100");
    EXPECT_EQ(TreeView_GetChild(tree, range), nullptr);
    TreeView_Expand(tree, range, TVE_EXPAND);
    EXPECT_EQ(TreeView_GetCount(tree), first + 100);
    HTREEITEM item = TreeView_GetChild(tree, range);
    EXPECT_EQ(tree_item(tree, item).first, "db_01000");
    for (const char* text : {"Tabellen", "t  (1)"}) {
        TreeView_Expand(tree, item, TVE_EXPAND);
        item = TreeView_GetChild(tree, item);
        EXPECT_EQ(tree_item(tree, item).first, text);
    }
    EXPECT_EQ(tree_item(tree, item).second, 2 * 1000 + 1 + 1);
    TreeView_SelectItem(tree, item);
    wait_idle();
    EXPECT_EQ(state().selected_object, 2 * 1000 + 1);
    EXPECT_EQ(cell(0, 1), "1000");
    for (const wchar_t* filter : {L"db_0100", L""}) {
        SetWindowTextW(control(ID_TREE_FILTER), filter);
        wait_idle();
        std::vector<std::string> way;
        for (HTREEITEM at = TreeView_GetSelection(tree); at != nullptr; at = TreeView_GetParent(tree, at)) {
            way.insert(way.begin(), tree_item(tree, at).first);
        }
        EXPECT_EQ(tree_item(tree, TreeView_GetSelection(tree)).second, 2 * 1000 + 1 + 1);
        std::vector<std::string> want{"many.sql", "db_01000", "Tabellen", "t  (1)"};
        if (*filter == L'\0') want.insert(want.begin() + 1, "1.001 – 1.100");
        EXPECT_EQ(way, want) << ui_narrow(filter);
        EXPECT_EQ(state().selected_object, 2 * 1000 + 1);
    }
    EXPECT_EQ(TreeView_GetCount(tree), 1u + 3 + 100 + 2);
}

// On the demo: "Neu indexieren" asks first (No keeps the dump read from the cache, Yes imports
// anew); a filter hit's details by double-click; what each tab shows; a view opens on
// "Original-SQL", and a character set switch on its "Struktur" tab returns there.
TEST_F(WorkTest, ReindexDetailsTabsAndCharset) {
    open(demo);
    open(demo);
    for (int answer : {IDNO, IDYES}) {
        seen.answer = answer, click(ID_REINDEX);
        EXPECT_EQ(state().dump->loaded_from_cache, answer == IDNO ? 1 : 0);
    }
    click(ID_FILTER, "München");
    shot(main_, "04-filter");
    notify(ID_GRID, NM_DBLCLK);
    shot(main_, "05-details");
    EXPECT_EQ(window_text(window().text_window()), msg_text(Msg::title_details));
    EXPECT_NE(window_text(GetDlgItem(window().text_window(), 3))
                  .find("Byteposition: " + std::to_string(state().page->entries[0].offset) + "\r\n"), std::string::npos);
    DestroyWindow(window().text_window());
    const SchemaObject& o = state().dump->objects[std::size_t(state().selected_object)];
    for (const auto& [tab, shown] : {std::pair{TAB_STRUCTURE, std::to_string(o.columns.size())},
                                     {TAB_SQL, o.create_text}, {TAB_NOTES, import_notes_text(*state().dump)},
                                     {TAB_DATA, std::to_string(state().entry_total)}}) {
        select_tab(tab);
        if (tab == TAB_NOTES) shot(main_, "09-notes");
        EXPECT_EQ(IsWindowVisible(control(ID_GRID)) ? std::to_string(ListView_GetItemCount(control(ID_GRID)))
                                                       : text(ID_TEXT_VIEW), shown) << tab;
    }
    const auto& all = state().dump->objects;
    window().select_object(int(std::ranges::find(all, OBJECT_VIEW, &SchemaObject::kind) - all.begin()));  // nachbestellen
    EXPECT_EQ(state().current_tab, TAB_SQL);
    select_tab(TAB_DATA);  // no rows: the text view says why
    const SchemaObject& view = state().dump->objects[std::size_t(state().selected_object)];
    EXPECT_EQ((std::tuple{IsWindowVisible(control(ID_GRID)), text(ID_TEXT_VIEW)}),
              (std::tuple{FALSE, no_rows_text(view, TAB_DATA)}));
    select_tab(TAB_STRUCTURE);
    EXPECT_EQ(IsWindowVisible(control(ID_TEXT_VIEW)) ? text(ID_TEXT_VIEW) : text(ID_INFO),
              view.columns.empty() ? no_rows_text(view, TAB_STRUCTURE) : structure_info_text(view));
    SendMessageW(control(ID_CHARSET), CB_SETCURSEL, 1, 0);
    click(ID_CHARSET, nullptr, CBN_SELCHANGE);
    EXPECT_EQ((std::tuple{state().charset, state().current_tab, TabCtrl_GetCurSel(control(ID_TABS))}),
              (std::tuple{CHARSET_WINDOWS_1252, TAB_SQL, int(TAB_SQL)}));
    // The box lists the character sets of CHARSETS in their order, and a position is its set.
    ASSERT_EQ(SendMessageW(control(ID_CHARSET), CB_GETCOUNT, 0, 0), LRESULT(CHARSET_COUNT));
    for (std::size_t i = 0; i < CHARSET_COUNT; ++i) {
        wchar_t item[64] = {};
        SendMessageW(control(ID_CHARSET), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        EXPECT_EQ(ui_narrow(item), msg_text(CHARSETS[i].label)) << i;
    }
    SendMessageW(control(ID_CHARSET), CB_SETCURSEL, CHARSET_COUNT - 1, 0);
    click(ID_CHARSET, nullptr, CBN_SELCHANGE);
    EXPECT_EQ(state().charset, CHARSET_ISO_8859_9);
}

// Closing while a filter runs asks first; a filter that ends while the question is open (its
// message loop takes the job's end): answered Yes, the window closes at once instead of waiting
// for a job that is gone, and the earlier filter's result file goes with it.
TEST_F(WorkTest, CloseWhileAFilterRuns) {
    open(zahlen);
    click(ID_FILTER, "w11");
    const std::string earlier = state().filter_path;
    window().command(ID_FILTER, BN_CLICKED);
    seen.while_shown = [this] { while (state().busy) pump(10); };
    SendMessageW(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(seen.boxes, std::vector<std::string>{"Laufenden Vorgang abbrechen und das Programm schließen?"});
    EXPECT_TRUE(pump(5000)) << "the window stayed open";
    EXPECT_FALSE(test::file_exists(earlier));
}

// Escape and "Abbrechen" cancel a long import (a sparse dump of 8 GiB) without a message box.
// The title names no dump while another is imported; after the cancel the dump open before
// comes back from its cache with the object that was shown. A refused file (missing, gzip)
// leaves the open dump as it was.
TEST_F(WorkTest, CancelledOrRefusedOpenKeepsTheOpenDump) {
    const std::string big = shm_.file("gross.sql");  // 8 GiB, mostly one comment: sparse, in memory
    (std::ofstream(test::fs_path(big), std::ios::binary) << "CREATE TABLE t (x int);\n-- ").seekp(8LL << 30) << "\n";
    const std::string plain = main_window_title(nullptr), shown = "zahlen.sql — Kor-Vane Dump Browser";
    open(zahlen);
    const int object = int(state().dump->objects.size()) - 1;  // the view, not the first table
    window().select_object(object);
    wait_idle();
    for (bool escape : {true, false}) {
        open(big, 300);
        shot(main_, "06-busy");
        EXPECT_EQ(window_text(main_), plain);
        MSG esc{control(ID_TREE), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
        escape ? ui_process_message(esc) : window().command(ID_CANCEL, BN_CLICKED);
        EXPECT_FALSE(IsWindowEnabled(control(ID_CANCEL)));  // requested once only
        wait_idle();
        ASSERT_TRUE(state().dump);
        EXPECT_EQ((std::tuple{state().dump->dump_path, state().selected_object, window_text(main_)}),
                  (std::tuple{zahlen, object, shown}));
        EXPECT_EQ(state().dump->loaded_from_cache, 1);
        EXPECT_EQ(state().status, msg_text(Msg::status_previous_after_cancel));
    }
    window().select_object(0);
    wait_idle();
    EXPECT_EQ(state().status, status_page_text(*state().dump));
    EXPECT_TRUE(seen.boxes.empty());
    const std::string gzip = files_.file("alt.sql.gz");
    test::write_file(gzip, std::string("\x1f\x8b\x08\0\0\0\0\0", 8) + "rest");
    for (const std::string& refused : {files_.file("fehlt.sql"), gzip}) open(refused);
    ASSERT_EQ(seen.boxes.size(), 2u);
    EXPECT_EQ(seen.boxes[1], msg_text(Msg::dump_compressed));
    EXPECT_EQ((std::tuple{window_text(main_), state().dump->dump_path, state().page_offset, state().selected_object}),
              (std::tuple{shown, zahlen, std::uint64_t{0}, 0}));
    EXPECT_EQ(ListView_GetItemCount(control(ID_GRID)), 100);
}

// The dumps opened last: none at first (a greyed line), then newest first in the arrow's menu,
// which opens the one chosen; the open dialog starts at the last; a new window (a new session)
// offers the same list.
TEST_F(WorkTest, RecentDumps) {
    click(ID_RECENT);
    EXPECT_EQ((std::tuple{seen.menu, seen.menu_enabled}),
              (std::tuple{std::vector<std::string>{msg_text(Msg::recent_none)}, false}));
    open(zahlen);
    window().select_object(int(state().dump->objects.size()) - 1);  // its view
    wait_idle();
    open(demo);  // shows its own first table, whatever was shown before
    const auto& objects = state().dump->objects;
    EXPECT_EQ(state().selected_object, int(std::ranges::find(objects, OBJECT_TABLE, &SchemaObject::kind) - objects.begin()));
    const std::vector<std::string> both{recent_menu_text(0, demo), recent_menu_text(1, zahlen)};
    seen.menu_answer = 1;
    click(ID_RECENT);
    EXPECT_EQ((std::tuple{seen.menu, seen.menu_enabled}), (std::tuple{both, true}));
    EXPECT_EQ(state().dump->dump_path, zahlen);
    seen.chosen.clear();  // the dialog cancelled
    click(ID_OPEN);
    EXPECT_EQ(seen.dialogs.back(), msg_text(Msg::dialog_open) + std::string(" | ") + zahlen);
    DestroyWindow(main_);
    pump(500);
    ASSERT_EQ(ui_start(L"korvane-dump-browser.exe", main_), 0);
    seen.menu_answer = -1;
    click(ID_RECENT);
    EXPECT_EQ(seen.menu, (std::vector<std::string>{recent_menu_text(0, zahlen), recent_menu_text(1, demo)}));
}

// The tree's root searches the whole dump, by keyboard: Home in the tree turns the filter bar
// into the search (all columns, two operators); the hits are those korvane-dump search lists,
// in its order, page by page; Enter on the last hit shows its row selected on its table's
// page, with the table selected in the tree; back at the root the search is still there, a
// double-click on the first hit jumps as Enter does, and "Reset" removes the hits with their
// file.
TEST_F(WorkTest, SearchTheWholeDumpFromTheRoot) {
    open(demo);
    SetFocus(control(ID_TREE));
    key(VK_HOME);
    ASSERT_TRUE(state().search_view);
    const HWND ops = control(ID_FILTER_OP), columns = control(ID_FILTER_COLUMN);
    EXPECT_EQ(text(ID_FILTER) + "|" + text(ID_INFO) + "|" + text(ID_BREADCRUMB),
              "Suchen|" + search_info_text(false, 0, 0) + "|" + search_breadcrumb_text(*state().dump));
    EXPECT_EQ((std::tuple{SendMessageW(columns, CB_GETCOUNT, 0, 0), SendMessageW(ops, CB_GETCOUNT, 0, 0),
                          IsWindowEnabled(columns), IsWindowEnabled(control(ID_FILTER_VALUE))}),
              (std::tuple{LRESULT(1), LRESULT(2), FALSE, TRUE}));
    EXPECT_EQ(text(ID_DETAILS), search_details_pane(*state().dump, nullptr, DETAILS_NO_ROW).text);

    const auto cli = test::run_program(program_folder() + "/korvane-dump.exe",
                                       {"--cache-root", files_.file("cli-cache"), "search", demo, "e"});
    ASSERT_EQ(cli.exit_code, 0) << cli.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = cli.out.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(cli.out.substr(at, end - at));
    }
    const std::uint64_t hits = lines.size() - 1;
    ASSERT_GT(hits, 100u);
    SetFocus(control(ID_FILTER_VALUE));
    SetWindowTextW(control(ID_FILTER_VALUE), L"e");
    key(VK_RETURN);
    EXPECT_EQ(GetFocus(), control(ID_FILTER_VALUE));  // back after the job
    EXPECT_EQ(state().status, format_text(msg_text(Msg::status_search_done), lines[0].c_str()));
    EXPECT_EQ(search_count_text(state().search_hits, state().search_tables), lines[0]);
    EXPECT_EQ(state().entry_total, hits);
    ASSERT_EQ(ListView_GetItemCount(control(ID_GRID)), 100);
    const auto listed = [&](int row) {  // a grid row as the command line prints it
        return cell(row, 1) + "\t" + cell(row, 2) + "\t" + cell(row, 3) + "\t" + cell(row, 4);
    };
    EXPECT_EQ(listed(0), lines[1]);
    EXPECT_EQ(listed(99), lines[100]);
    ListView_SetItemState(control(ID_GRID), 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    shot(main_, "10-search");
    click(ID_LAST_PAGE);
    const int last = int(hits % 100 == 0 ? 100 : hits % 100) - 1;
    ASSERT_EQ(ListView_GetItemCount(control(ID_GRID)), last + 1);
    EXPECT_EQ(listed(last), lines.back());
    EXPECT_EQ(text(ID_PAGE_LABEL), page_label_text(state().page_offset, hits));

    const SearchHit hit = state().page->hits[std::size_t(last)];
    SetFocus(control(ID_GRID));
    ListView_SetItemState(control(ID_GRID), last, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(text(ID_DETAILS), search_details_pane(*state().dump, state().page.get(), std::uint32_t(last)).text);
    key(VK_RETURN);
    EXPECT_EQ(GetFocus(), control(ID_GRID));
    EXPECT_FALSE(state().search_view);
    EXPECT_EQ(state().selected_object, int(hit.object));
    EXPECT_EQ(state().page_offset + std::uint64_t(ListView_GetNextItem(control(ID_GRID), -1, LVNI_SELECTED)), hit.row);
    TVITEMW item{};
    item.mask = TVIF_PARAM;
    item.hItem = TreeView_GetSelection(control(ID_TREE));
    TreeView_GetItem(control(ID_TREE), &item);
    EXPECT_EQ(item.lParam, LPARAM(hit.object) + 1);
    EXPECT_EQ(text(ID_FILTER) + std::to_string(SendMessageW(ops, CB_GETCOUNT, 0, 0)), "Filtern4");

    SetFocus(control(ID_TREE));
    key(VK_HOME);
    SetWindowTextW(control(ID_TREE_FILTER), L"kunden");  // a rebuilt tree keeps its root
    wait_idle();
    EXPECT_TRUE(state().search_view);
    EXPECT_EQ((std::tuple{state().entry_total, text(ID_FILTER_VALUE), ListView_GetItemCount(control(ID_GRID))}),
              (std::tuple{hits, std::string("e"), 100}));
    const std::string file = state().search_path;
    EXPECT_TRUE(test::file_exists(file));
    const SearchHit first = state().page->hits[0];  // a double-click jumps as Enter does
    ListView_SetItemState(control(ID_GRID), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    notify(ID_GRID, NM_DBLCLK);
    EXPECT_EQ((std::tuple{state().selected_object, state().page_offset,
                          ListView_GetNextItem(control(ID_GRID), -1, LVNI_SELECTED)}),
              (std::tuple{int(first.object), first.row / 100 * 100, int(first.row % 100)}));
    SetFocus(control(ID_TREE));
    key(VK_HOME);
    click(ID_RESET);
    EXPECT_EQ((std::tuple{state().search_path, state().entry_total, ListView_GetItemCount(control(ID_GRID))}),
              (std::tuple{std::string(), std::uint64_t(0), 0}));
    EXPECT_FALSE(test::file_exists(file));
}

// A long value with line feeds: the record details show them as line breaks and wrap the
// lines in the window, into more lines than without wrap (the grid's one-line preview has no
// line feed).
TEST_F(WorkTest, LongValueDetailsWrapped) {
    open(test::data_file("ui/langtext.sql"));
    EXPECT_EQ(cell(0, 3).find('\n'), std::string::npos);
    notify(ID_GRID, NM_DBLCLK);
    ASSERT_NE(window().text_window(), nullptr);
    const HWND edit = GetDlgItem(window().text_window(), 3);
    EXPECT_EQ(GetWindowLongW(edit, GWL_STYLE) & WS_HSCROLL, 0);
    EXPECT_NE(window_text(edit).find("Hebel von Hand aufbaut"), std::string::npos);
    EXPECT_NE(window_text(edit).find("ein Manometer zeigt den Kesseldruck.\r\nLieferumfang: "), std::string::npos);
    shot(main_, "07-details-wrapped");
    const LRESULT wrapped = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
    SendMessageW(GetDlgItem(window().text_window(), 4), BM_CLICK, 0, 0);
    EXPECT_GT(wrapped, SendMessageW(GetDlgItem(window().text_window(), 3), EM_GETLINECOUNT, 0, 0));
    DestroyWindow(window().text_window());
}

// A cache folder that cannot be made (LOCALAPPDATA names a file) ends the start with exit code
// 1 and its error box, before any window exists.
TEST(GuiStart, CacheFolderThatCannotBeMade) {
    test::TempDir dir;
    install_seams(dir.file("no-folder"));
    test::write_file(dir.file("no-folder"), "x");
    HWND main = nullptr;
    EXPECT_EQ(ui_start(L"korvane-dump-browser.exe", main), 1);
    EXPECT_EQ(seen.boxes, std::vector<std::string>{"Der Cache-Ordner kann nicht angelegt werden. "
                                                   "Schreibrechte in LOCALAPPDATA prüfen."});
    EXPECT_EQ(seen.flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(main, nullptr);
}

// The real program with the demo dump: found by its window class and process, closed with
// WM_CLOSE while its first jobs may still run (a real question box in that process, answered
// Yes), ending with exit code 0.
TEST(GuiStart, ProgramStartsAndEndsCleanly) {
    test::TempDir dir;
    install_seams(dir.str());
    std::wstring line = L"\"" + ui_wide(program_folder()) + L"/korvane-dump-browser.exe\" \"" +
                        ui_wide(program_folder()) + L"/samples/korvane-demo.sql\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const auto window_of = [&pi](const wchar_t* cls) {  // of the program, visible
        HWND w = nullptr;
        DWORD owner = 0;
        while ((w = FindWindowExW(nullptr, w, cls, nullptr)) != nullptr &&
               (GetWindowThreadProcessId(w, &owner), owner != pi.dwProcessId || !IsWindowVisible(w))) {}
        return w;
    };
    HWND window = nullptr;
    for (int i = 0; i < 400 && window == nullptr; ++i, Sleep(50)) window = window_of(MAIN_CLASS);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 99;
    for (int i = 0; i < 100 && WaitForSingleObject(pi.hProcess, 200) != WAIT_OBJECT_0; ++i) {
        if (HWND box = window_of(L"#32770")) PostMessageW(box, WM_COMMAND, IDYES, 0);
    }
    if (!GetExitCodeProcess(pi.hProcess, &code) || code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 99);
    EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace kv
