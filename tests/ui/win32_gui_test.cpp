// The desktop window in-process, under Wine with a virtual display: the real main window is
// created by the real start-up and driven with messages. Message boxes go through the seam
// (recorded, answered by the test), so that no modal window can hold up a run.
//
// Covers the controls (Tab order, classes, styles, limits, texts), the layout after size and
// DPI changes against the layout function, the text window (opens once, disables the main
// window, Escape from anywhere, "Alles kopieren" of several megabytes), start-up failures with
// their exit codes, and the real program started and closed as a process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "ui/logic/help_text.h"
#include "ui/win32/app.h"
#include "tests/ui/gui_test_support.h"

namespace kv {
namespace {

using test::GuiFixture;

TEST_F(GuiFixture, ControlsInTabOrderWithTheirSettings) {
    std::vector<int> ids;
    for (HWND c = GetWindow(app().main, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        ids.push_back(GetDlgCtrlID(c));
    }
    EXPECT_EQ(ids, std::vector<int>(CONTROL_ORDER.begin(), CONTROL_ORDER.end()));

    struct Expect {
        int id;
        const char* cls;
        DWORD style;  // bits that must be set
        const char* text;
    };
    const DWORD owner_drawn = BS_OWNERDRAW | WS_TABSTOP;
    for (const Expect& e : std::vector<Expect>{
             {ID_OPEN, "Button", owner_drawn, "Dump öffnen …"},
             {ID_DEMO, "Button", owner_drawn, "Demo laden"},
             {ID_TUPLE, "Button", owner_drawn, "SQL-Tupel …"},
             {ID_FIRST_PAGE, "Button", owner_drawn, "«"},
             {ID_NEXT_PAGE, "Button", owner_drawn, "›"},
             {ID_CANCEL, "Button", owner_drawn, "Abbrechen"},
             {ID_CHARSET, "ComboBox", CBS_DROPDOWNLIST | WS_TABSTOP, "UTF-8"},
             {ID_TREE, "SysTreeView32", TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS, ""},
             {ID_TABS, "SysTabControl32", WS_TABSTOP, ""},
             {ID_GRID, "SysListView32", LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL, ""},
             {ID_TEXT_VIEW, "Edit", ES_MULTILINE | ES_READONLY | WS_HSCROLL, ""},
             {ID_PAGE_NUMBER, "Edit", ES_NUMBER | WS_TABSTOP, "1"},
             {ID_PROGRESS, "msctls_progress32", 0, ""},
         }) {
        SCOPED_TRACE(e.id);
        const HWND c = ui_control(e.id);
        ASSERT_NE(c, nullptr);
        wchar_t cls[64] = {};
        GetClassNameW(c, cls, 64);
        EXPECT_EQ(ui_narrow(cls), e.cls);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE)) & e.style, e.style);
        EXPECT_EQ(test::window_text(c), e.text);
    }
    for (HWND b : app().buttons) {
        EXPECT_EQ(GetWindowLongPtrW(b, GWLP_USERDATA), GetDlgCtrlID(b));
    }
    EXPECT_EQ(app().buttons.size(), 15u);

    struct Limit {
        int id;
        LRESULT limit;
        const char* cue;
    };
    for (const Limit& l : std::vector<Limit>{{ID_TREE_FILTER, 1024, "Tabellen / Datenbanken filtern"},
                                             {ID_FILTER_VALUE, 4096, "Filterwert …  (Ctrl+F)"},
                                             {ID_PAGE_NUMBER, 20, ""},
                                             {ID_TEXT_VIEW, 8388608, ""},
                                             {ID_DETAILS, 131072, ""}}) {
        SCOPED_TRACE(l.id);
        EXPECT_EQ(SendMessageW(ui_control(l.id), EM_GETLIMITTEXT, 0, 0), l.limit);
        wchar_t cue[128] = {};
        SendMessageW(ui_control(l.id), EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue), 128);
        EXPECT_EQ(ui_narrow(cue), l.cue);
    }
    EXPECT_EQ(test::combo_items(ui_control(ID_CHARSET)),
              (std::vector<std::string>{"UTF-8", "Windows-1252", "Latin-1"}));
    EXPECT_EQ(test::combo_items(ui_control(ID_FILTER_OP)),
              (std::vector<std::string>{"enthält", "entspricht", "IS NULL", "IS NOT NULL"}));
    EXPECT_EQ(SendMessageW(ui_control(ID_CHARSET), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(TabCtrl_GetItemCount(ui_control(ID_TABS)), 4);
    EXPECT_EQ(SendMessageW(ui_control(ID_PROGRESS), PBM_GETRANGE, FALSE, 0), 1000);
    EXPECT_EQ(app().status, STATUS_READY);
    EXPECT_EQ(test::window_text(app().main), "Kor-Vane Dump Browser");
}

// Every control but the drop-down boxes (whose window is the closed box) sits where the
// layout function puts it, at two sizes and after a DPI change to 144.
TEST_F(GuiFixture, LayoutFollowsSizeAndDpi) {
    for (const UiSize& client : {UiSize{1300, 820}, UiSize{1100, 700}}) {
        test::set_client_size(client.width, client.height);
        test::expect_layout(96);
    }
    const HFONT before = reinterpret_cast<HFONT>(SendMessageW(ui_control(ID_GRID), WM_GETFONT, 0, 0));
    RECT suggested{10, 10, 10 + 1800, 10 + 1200};
    SendMessageW(app().main, WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(app().dpi, 144);
    const HFONT after = reinterpret_cast<HFONT>(SendMessageW(ui_control(ID_GRID), WM_GETFONT, 0, 0));
    EXPECT_NE(after, before);
    LOGFONTW font{};
    GetObjectW(after, sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -21);
    test::expect_layout(144);
}

TEST_F(GuiFixture, TextWindowActsModal) {
    ui_command(ID_HELP, BN_CLICKED);
    const HWND text = app().text_window;
    ASSERT_NE(text, nullptr);
    EXPECT_FALSE(IsWindowEnabled(app().main));
    EXPECT_EQ(test::window_text(text), HELP_TITLE);
    const HWND edit = GetDlgItem(text, 3);
    EXPECT_EQ(test::window_text(edit), ui_help_text());
    ui_command(ID_HELP, BN_CLICKED);  // disabled main window: no second text window
    ui_show_text("zweites", "x");
    EXPECT_EQ(app().text_window, text);

    // Escape closes it whichever window the key is addressed to.
    MSG esc{ui_control(ID_TREE), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    ui_process_message(esc);
    EXPECT_EQ(app().text_window, nullptr);
    EXPECT_FALSE(IsWindow(text));
    EXPECT_TRUE(IsWindowEnabled(app().main));
}

TEST_F(GuiFixture, CopyAllTakesSeveralMegabytes) {
    std::string big;
    while (big.size() < 3000000) big += "Zeile mit Umlauten äöü und Tab\t\r\n";
    ui_show_text("Kor-Vane · Datensatzdetails", big);
    ASSERT_NE(app().text_window, nullptr);
    SendMessageW(app().text_window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    EXPECT_EQ(test::clipboard_text(), ui_wide(big));
    SendMessageW(app().text_window, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
    EXPECT_EQ(app().text_window, nullptr);
}

TEST(GuiStart, CacheFolderThatCannotBeMade) {
    test::TempDir dir;
    const std::string file = dir.file("no-folder");
    test::write_file(file, "x");
    test::EnvOverride local("LOCALAPPDATA", file);
    test::MessageLog log;
    EXPECT_EQ(ui_start(L"korvane-dump-browser.exe"), 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0],
              "Der Cache-Ordner kann nicht angelegt werden. Schreibrechte in LOCALAPPDATA prüfen.");
    EXPECT_EQ(log.flags[0] & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(app().main, nullptr);
}

// The real program: started with the demo dump, found by its window class and process, closed
// with WM_CLOSE, ending with exit code 0.
TEST(GuiStart, ProgramStartsAndEndsCleanly) {
    test::TempDir dir;
    test::EnvOverride local("LOCALAPPDATA", dir.str());
    const std::string exe = test::program_folder() + "/korvane-dump-browser.exe";
    const std::string demo = test::program_folder() + "/samples/korvane-demo.sql";
    ASSERT_TRUE(test::file_exists(exe));
    ASSERT_TRUE(test::file_exists(demo));
    test::Program program(exe, {demo});
    ASSERT_TRUE(program.started());
    const HWND window = test::wait_for_window(program.id(), MAIN_CLASS, 20000);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(test::window_text(window).find("Kor-Vane Dump Browser"), std::string::npos);
    // Closing while its open or first page job still runs asks first (a real message box in
    // that process): answered Yes, the job is cancelled and the window closes, also when the
    // job ended while the question was open (found here: the window then stayed open).
    PostMessageW(window, WM_CLOSE, 0, 0);
    int code = -1;
    for (int i = 0; i < 100 && code < 0; ++i) {
        code = program.wait(200);
        if (HWND box = test::wait_for_window(program.id(), L"#32770", 0)) {
            PostMessageW(box, WM_COMMAND, IDYES, 0);
        }
    }
    EXPECT_EQ(code, 0);
}

// Pictures for the README (tools/screenshot.sh sets KV_SCREENSHOT_DIR; skipped otherwise):
// states that need a second top-level window, drawn with PrintWindow.
TEST_F(GuiFixture, ScreenshotsOfTextWindows) {
    const std::string dir = env_get("KV_SCREENSHOT_DIR");
    if (dir.empty()) GTEST_SKIP() << "KV_SCREENSHOT_DIR not set";
    test::set_client_size(1344, 821);
    ui_command(ID_HELP, BN_CLICKED);
    test::pump(300);
    EXPECT_TRUE(test::save_screen_bmp(dir + "/02-help.bmp"));
}

}  // namespace
}  // namespace kv
