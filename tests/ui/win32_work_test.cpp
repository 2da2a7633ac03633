// Working in the desktop window in-process under Wine: the real main window with the real
// background jobs on the demo dump and on dumps written by the tests. Dialogs and message
// boxes go through the seams (answered by the test); results are compared with what the
// command-line browser writes for the same dump.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ui/win32/app.h"

#include <shlobj.h>

#include "cache/dump_open.h"
#include "foundation/text.h"
#include "importer/open_sequence.h"
#include "jobs/job_wait.h"
#include "jobs/page_job.h"
#include "tests/support/test_support.h"
#include "tests/ui/gui_test_support.h"
#include "ui/logic/help_text.h"
#include "ui/logic/view_text.h"
#include "ui/win32/app.h"

namespace kv {
namespace {

using test::GuiFixture;

// A dump of a table of 250 rows, a view, and text with a NULL for the colours.
std::string paging_dump() {
    std::string d = "CREATE TABLE `zahlen` (`n` int, `wort` text);\nINSERT INTO `zahlen` VALUES ";
    for (int i = 1; i <= 250; ++i) {
        d += (i > 1 ? "," : "") + std::string("(") + std::to_string(i) + "," +
             (i % 7 == 0 ? std::string("NULL") : "'w" + std::to_string(i) + "'") + ")";
    }
    d += ";\nCREATE VIEW `sicht` AS SELECT 1;\n";
    return d;
}

// The file-dialog seam answered with one path (or cancelled with "").
struct DialogAnswer {
    explicit DialogAnswer(std::string path) : saved_(ui_seams.file_dialog) {
        answer() = std::move(path);
        titles().clear();
        names().clear();
        ui_seams.file_dialog = [](HWND, bool, const wchar_t* title, const wchar_t*,
                                  const std::wstring& name, std::wstring& chosen) {
            titles().push_back(ui_narrow(title));
            names().push_back(ui_narrow(name));
            chosen = ui_wide(answer());
            return !answer().empty();
        };
    }
    ~DialogAnswer() { ui_seams.file_dialog = saved_; }
    static std::string& answer() {
        static std::string a;
        return a;
    }
    static std::vector<std::string>& titles() {
        static std::vector<std::string> t;
        return t;
    }
    static std::vector<std::string>& names() {
        static std::vector<std::string> n;
        return n;
    }

private:
    decltype(UiSeams::file_dialog) saved_;
};

class WorkTest : public GuiFixture {
protected:
    // Handles messages until no job runs (and none was started by the takeover).
    void wait_idle(DWORD ms = 60000) {
        const ULONGLONG end = GetTickCount64() + ms;
        int quiet = 0;
        while (quiet < 3 && GetTickCount64() < end) {
            test::pump(20);
            quiet = app().busy ? 0 : quiet + 1;
        }
        ASSERT_FALSE(app().busy) << "job did not end";
    }
    // Posts the open-path message, as the start-up does for a path on the command line, and
    // handles messages for ms milliseconds.
    void post_open(const std::string& path, DWORD ms) {
        char* copy = new char[path.size() + 1];
        std::memcpy(copy, path.c_str(), path.size() + 1);
        PostMessageW(app().main, WM_OPEN_PATH, 0, reinterpret_cast<LPARAM>(copy));
        test::pump(ms);
    }
    void open(const std::string& path) {
        post_open(path, 20);
        wait_idle();
    }
    // A dump of 8 GiB whose import takes a while: a sparse file in memory, mostly one comment.
    std::string long_import_dump() {
        const std::string path = shm_.file("gross.sql");
        std::ofstream out(test::fs_path(path), std::ios::binary);
        out << "CREATE TABLE t (x int);\n-- ";
        out.seekp((8LL << 30) - 1);
        out << "\n";
        return path;
    }
    std::string demo() const { return test::program_folder() + "/samples/korvane-demo.sql"; }
    std::string write_dump(const std::string& name, const std::string& bytes) {
        const std::string path = files_.file(name);
        test::write_file(path, bytes);
        return path;
    }
    void click(int id) {
        ui_command(id, BN_CLICKED);
        wait_idle();
    }
    void notify(int id, UINT code) {
        NMHDR header{ui_control(id), static_cast<UINT_PTR>(id), code};
        SendMessageW(app().main, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
        wait_idle();
    }
    void select_tab(int tab) {
        TabCtrl_SetCurSel(ui_control(ID_TABS), tab);
        notify(ID_TABS, TCN_SELCHANGE);
    }
    std::string cell(int row, int column) {
        wchar_t text[4096] = {};
        ListView_GetItemText(ui_control(ID_GRID), row, column, text, 4096);
        return ui_narrow(text);
    }
    int rows() { return ListView_GetItemCount(ui_control(ID_GRID)); }
    bool visible(int id) { return (GetWindowLongW(ui_control(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool enabled(int id) { return IsWindowEnabled(ui_control(id)) != FALSE; }
    std::string text(int id) { return test::window_text(ui_control(id)); }
    int object_named(const std::string& name) {
        for (std::size_t i = 0; i < app().dump->objects.size(); ++i) {
            if (app().dump->objects[i].object_name == name) return static_cast<int>(i);
        }
        return -1;
    }
    void choose(const std::string& name) {
        ui_select_object(object_named(name));
        wait_idle();
    }
    // korvane-dump on the same dump with a cache of its own: exit code, files written.
    int cli(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"--cache-root", files_.file("cli-cache")};
        all.insert(all.end(), args.begin(), args.end());
        test::Program program(test::program_folder() + "/korvane-dump.exe", all);
        return program.wait(60000);
    }
    test::TempDir files_;
    test::TempDir shm_{test::sparse_file_base()};
};

TEST_F(WorkTest, OpenSelectsTheFirstTableAndShowsItsFirstPage) {
    open(demo());
    ASSERT_TRUE(app().dump);
    ASSERT_GE(app().selected_object, 0);
    const SchemaObject& first = app().dump->objects[static_cast<std::size_t>(app().selected_object)];
    EXPECT_EQ(first.object_name, "kunden");
    EXPECT_EQ(app().status, status_page_text(*app().dump));
    EXPECT_EQ(test::window_text(app().main), "korvane-demo.sql — Kor-Vane Dump Browser");
    EXPECT_EQ(rows(), static_cast<int>(first.entry_count));
    EXPECT_EQ(text(ID_PAGE_LABEL), page_label_text(0, first.entry_count));
    EXPECT_EQ(text(ID_BREADCRUMB), "kaffeehaus  ›  Tabellen  ›  kunden");
    EXPECT_TRUE(visible(ID_GRID));
    EXPECT_FALSE(visible(ID_TEXT_VIEW));
    EXPECT_EQ(TreeView_GetCount(ui_control(ID_TREE)) > 5, true);

    // The grid shows what the page job gives for the same page, opened independently.
    DumpState state;
    FileHandle lock = INVALID_FILE;
    ASSERT_TRUE(dump_open_cached(state, demo(), files_.file("other-cache"), false, nullptr, lock));
    FileGuard guard(lock);
    BackgroundJob job;
    job.type = JOB_PAGE;
    job.dump_state = &state;
    job.object = app().selected_object;
    job.rows = first.entry_count;
    job.index_path = index_file_path(state, static_cast<std::uint32_t>(app().selected_object));
    ASSERT_TRUE(page_load(job)) << job.message;
    for (std::uint32_t r = 0; r < job.page->row_count; ++r) {
        for (std::uint32_t c = 0; c < job.page->cell_count; ++c) {
            EXPECT_EQ(cell(static_cast<int>(r), static_cast<int>(c)),
                      utf16_to_utf8(job.page->cells[r][c])) << r << "," << c;
        }
    }
    // The details pane shows the selected first row.
    EXPECT_NE(text(ID_DETAILS).find("AUSGEWÄHLTER EINTRAG"), std::string::npos);
    EXPECT_EQ(text(ID_DETAILS_CAPTION), "kunden");
}

TEST_F(WorkTest, TabsShowStructureSqlAndNotes) {
    open(demo());
    select_tab(TAB_STRUCTURE);
    const SchemaObject& o = app().dump->objects[static_cast<std::size_t>(app().selected_object)];
    EXPECT_EQ(rows(), static_cast<int>(o.columns.size()));
    EXPECT_EQ(cell(0, 0), "1");
    EXPECT_EQ(cell(0, 1), o.columns[0].name);
    EXPECT_EQ(cell(0, 2), o.columns[0].type_text);
    EXPECT_FALSE(visible(ID_FILTER_VALUE));
    EXPECT_EQ(text(ID_INFO), "Spalten, Datentypen und Constraints aus dem CREATE TABLE – ohne "
                             "Typkonvertierung.");
    select_tab(TAB_SQL);
    EXPECT_TRUE(visible(ID_TEXT_VIEW));
    EXPECT_FALSE(visible(ID_GRID));
    EXPECT_EQ(text(ID_TEXT_VIEW), o.create_text);
    select_tab(TAB_NOTES);
    EXPECT_EQ(text(ID_TEXT_VIEW), import_notes_text(*app().dump));
    // Back on "Daten" the page is still there: no new job.
    select_tab(TAB_DATA);
    EXPECT_EQ(rows(), static_cast<int>(o.entry_count));

    // A view opens on "Original-SQL"; its "Daten" tab shows neither grid nor text.
    choose("nachbestellen");
    EXPECT_EQ(app().current_tab, TAB_SQL);
    EXPECT_NE(text(ID_TEXT_VIEW).find("VIEW `nachbestellen`"), std::string::npos);
    select_tab(TAB_DATA);
    EXPECT_FALSE(visible(ID_GRID));
    EXPECT_FALSE(visible(ID_TEXT_VIEW));
    // A character set switch on its "Struktur" tab returns to "Original-SQL".
    select_tab(TAB_STRUCTURE);
    SendMessageW(ui_control(ID_CHARSET), CB_SETCURSEL, 1, 0);
    ui_command(ID_CHARSET, CBN_SELCHANGE);
    wait_idle();
    EXPECT_EQ(app().charset, CHARSET_WINDOWS_1252);
    EXPECT_EQ(app().current_tab, TAB_SQL);
    EXPECT_EQ(TabCtrl_GetCurSel(ui_control(ID_TABS)), TAB_SQL);
}

TEST_F(WorkTest, PagingButtonsAndPageNumbers) {
    open(write_dump("zahlen.sql", paging_dump()));
    EXPECT_EQ(app().entry_total, 250u);
    EXPECT_FALSE(enabled(ID_PREV_PAGE));
    click(ID_LAST_PAGE);
    EXPECT_EQ(app().page_offset, 200u);
    EXPECT_EQ(rows(), 50);
    EXPECT_EQ(text(ID_PAGE_LABEL), "201–250 von 250");
    EXPECT_EQ(text(ID_PAGE_NUMBER), "3");
    EXPECT_FALSE(enabled(ID_NEXT_PAGE));
    EXPECT_FALSE(enabled(ID_LAST_PAGE));
    EXPECT_TRUE(enabled(ID_FIRST_PAGE));
    click(ID_PREV_PAGE);
    EXPECT_EQ(app().page_offset, 100u);
    click(ID_NEXT_PAGE);
    EXPECT_EQ(app().page_offset, 200u);
    for (const char* bad : {"0", "", "4"}) {
        SetWindowTextW(ui_control(ID_PAGE_NUMBER), ui_wide(bad).c_str());
        click(ID_GO);
        ASSERT_FALSE(messages_.texts.empty()) << bad;
        EXPECT_EQ(messages_.texts.back(), "Diese Seitennummer existiert nicht.") << bad;
        EXPECT_EQ(messages_.flags.back() & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    }
    EXPECT_EQ(messages_.texts.size(), 3u);
    SetWindowTextW(ui_control(ID_PAGE_NUMBER), L"1");
    click(ID_GO);
    EXPECT_EQ(app().page_offset, 0u);
    // Cells are coloured by their value kind; NULL is grey.
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr = {ui_control(ID_GRID), ID_GRID, static_cast<UINT>(NM_CUSTOMDRAW)};
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    draw.nmcd.dwItemSpec = 6;  // row 7: its word is NULL
    draw.iSubItem = 2;
    SendMessageW(app().main, WM_NOTIFY, ID_GRID, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(draw.clrText, RGB(136, 152, 166));
    EXPECT_EQ(draw.clrTextBk, RGB(255, 255, 255));
    draw.nmcd.dwItemSpec = 5;
    SendMessageW(app().main, WM_NOTIFY, ID_GRID, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(draw.clrText, RGB(41, 65, 86));
    EXPECT_EQ(draw.clrTextBk, RGB(246, 250, 253));
}

TEST_F(WorkTest, FilterExportTupleAndDetails) {
    const std::string dump = write_dump("zahlen.sql", paging_dump());
    open(dump);
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"w11");
    click(ID_FILTER);
    EXPECT_FALSE(app().filter_path.empty());
    EXPECT_EQ(app().entry_total, 9u);  // w11, w110 ... w119 but for the NULLs of 112 and 119
    EXPECT_EQ(text(ID_INFO), "9 Treffer · Filter aktiv · Groß-/Kleinschreibung beachten");
    EXPECT_EQ(cell(0, 2), "w11");

    // The hits as CSV, as korvane-dump writes them.
    const std::string csv = files_.file("treffer.csv");
    {
        DialogAnswer answer(csv);
        click(ID_EXPORT);
        ASSERT_EQ(DialogAnswer::titles().size(), 1u);
        EXPECT_EQ(DialogAnswer::titles()[0], "Alle Filtertreffer als CSV exportieren");
        EXPECT_EQ(DialogAnswer::names()[0], "korvane-export.csv");
    }
    EXPECT_EQ(app().status, "Export abgeschlossen: " + csv);
    const std::string cli_csv = files_.file("cli.csv");
    ASSERT_EQ(cli({"export", dump, "zahlen", cli_csv, "--text", "w11"}), 0);
    EXPECT_EQ(test::read_file(csv), test::read_file(cli_csv));

    // The selected row's raw tuple, as korvane-dump saves it.
    const std::string tuple = files_.file("tupel.sql");
    {
        DialogAnswer answer(tuple);
        click(ID_TUPLE);
        EXPECT_EQ(DialogAnswer::titles()[0], "Originales SQL-Rohtupel speichern (ohne INSERT-Header)");
        EXPECT_EQ(DialogAnswer::names()[0],
                  "tuple-byte-" + std::to_string(app().page->entries[0].offset) + ".sql");
    }
    EXPECT_EQ(test::read_file(tuple), "(11,'w11')");

    // Record details of the selected row open in the text window.
    notify(ID_GRID, NM_DBLCLK);
    ASSERT_NE(app().text_window, nullptr);
    EXPECT_EQ(test::window_text(app().text_window), DETAILS_TITLE);
    DestroyWindow(app().text_window);

    // No hits: an empty grid; Reset shows the table again.
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"nirgends");
    click(ID_FILTER);
    EXPECT_EQ(app().entry_total, 0u);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(text(ID_INFO), "0 Treffer · Filter aktiv · Groß-/Kleinschreibung beachten");
    const std::string query = app().filter_path;
    click(ID_RESET);
    EXPECT_TRUE(app().filter_path.empty());
    EXPECT_FALSE(test::file_exists(query));
    EXPECT_EQ(app().entry_total, 250u);
    EXPECT_EQ(text(ID_FILTER_VALUE), "");
}

TEST_F(WorkTest, ReindexAskedAndCopyRow) {
    open(demo());
    messages_.answer = IDNO;
    click(ID_REINDEX);
    ASSERT_EQ(messages_.texts.size(), 1u);
    EXPECT_EQ(messages_.texts[0],
              "Den Positionsindex dieses Dumps neu aufbauen?\nDie Originaldatei bleibt unverändert.");
    EXPECT_TRUE(app().dump);
    EXPECT_EQ(app().dump->loaded_from_cache, 0);  // the first open imported
    messages_.answer = IDYES;
    click(ID_REINDEX);
    ASSERT_TRUE(app().dump);
    EXPECT_EQ(app().dump->loaded_from_cache, 0);

    // Ctrl+C's row: the visible previews after "#", tab-separated.
    ui_copy_selected_row();
    const std::vector<std::u16string>& cells = app().page->cells[0];
    const std::u16string tsv = ui_row_tsv(cells);
    EXPECT_EQ(test::clipboard_text(), std::wstring(tsv.begin(), tsv.end()));
    EXPECT_EQ(app().status, "Sichtbare Zeilenvorschau als TSV kopiert. Für vollständige Werte "
                            "Details oder Export verwenden.");
    // On the "Struktur" tab the clipboard stays as it is.
    ui_copy_to_clipboard(L"unverändert");
    select_tab(TAB_STRUCTURE);
    ui_copy_selected_row();
    EXPECT_EQ(test::clipboard_text(), L"unverändert");
}

TEST_F(WorkTest, DropOpensTheFirstFileOnly) {
    const std::string first = write_dump("eins.sql", paging_dump());
    const std::string second = write_dump("zwei.sql", "CREATE TABLE b (x int);\n");
    std::wstring list = ui_wide(first) + L'\0' + ui_wide(second) + L'\0' + ui_wide(second) + L'\0';
    auto drop = [&list]() {
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (list.size() + 1) * sizeof(wchar_t));
        auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), list.c_str(),
                    (list.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        return reinterpret_cast<WPARAM>(memory);
    };
    SendMessageW(app().main, WM_DROPFILES, drop(), 0);
    wait_idle();
    ASSERT_TRUE(app().dump);
    EXPECT_EQ(app().dump->dump_path, first);
    // While busy a drop opens nothing.
    app().busy = true;
    SendMessageW(app().main, WM_DROPFILES, drop(), 0);
    app().busy = false;
    EXPECT_EQ(app().dump->dump_path, first);
}

TEST_F(WorkTest, SecondInstanceIsToldOnceAndKeepsAnEmptyTree) {
    // Another holder of the dump's cache: this test opens it with the same cache root.
    DumpState other;
    FileHandle lock = INVALID_FILE;
    ASSERT_TRUE(dump_open_cached(other, demo(), app().cache_root, false, nullptr, lock));
    FileGuard guard(lock);
    open(demo());
    EXPECT_FALSE(app().dump);
    EXPECT_EQ(TreeView_GetCount(ui_control(ID_TREE)), 0u);
    ASSERT_EQ(messages_.texts.size(), 1u);
    EXPECT_EQ(app().status, "Vorgang fehlgeschlagen. Details beachten.");
}

// The keyboard rules of the message loop, with the modifier keys set in the thread's key state.
TEST_F(WorkTest, KeyboardShortcuts) {
    open(write_dump("zahlen.sql", paging_dump()));
    auto key = [this](UINT message, WPARAM vk, HWND target, BYTE modifier) {
        BYTE state[256] = {};
        if (modifier != 0) state[modifier] = 0x80;
        SetKeyboardState(state);
        MSG msg{target, message, vk, 0, 0, {}};
        ui_process_message(msg);
        BYTE none[256] = {};
        SetKeyboardState(none);
        wait_idle();
    };
    key(WM_SYSKEYDOWN, VK_RIGHT, app().main, VK_MENU);
    EXPECT_EQ(app().page_offset, 100u);
    key(WM_SYSKEYDOWN, VK_LEFT, app().main, VK_MENU);
    EXPECT_EQ(app().page_offset, 0u);
    SetFocus(ui_control(ID_PAGE_NUMBER));
    SetWindowTextW(ui_control(ID_PAGE_NUMBER), L"3");
    key(WM_KEYDOWN, VK_RETURN, ui_control(ID_PAGE_NUMBER), 0);
    EXPECT_EQ(app().page_offset, 200u);
    key(WM_SYSKEYDOWN, VK_RIGHT, app().main, VK_MENU);  // on the last page: nothing
    EXPECT_EQ(app().page_offset, 200u);

    SetFocus(ui_control(ID_GRID));
    key(WM_KEYDOWN, 'C', ui_control(ID_GRID), VK_CONTROL);
    const std::u16string tsv = ui_row_tsv(app().page->cells[0]);
    EXPECT_EQ(test::clipboard_text(), std::wstring(tsv.begin(), tsv.end()));

    select_tab(TAB_STRUCTURE);
    key(WM_KEYDOWN, 'F', app().main, VK_CONTROL);
    EXPECT_EQ(app().current_tab, TAB_DATA);
    EXPECT_EQ(GetFocus(), ui_control(ID_FILTER_VALUE));
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"w25");
    key(WM_KEYDOWN, VK_RETURN, ui_control(ID_FILTER_VALUE), 0);
    EXPECT_EQ(app().entry_total, 2u);  // w25 and w250
}

// A job that ends while the close question is open (its message loop takes the job's end):
// answered Yes, the window closes at once instead of waiting for a job that is gone.
TEST_F(WorkTest, CloseQuestionOutlivesTheJob) {
    open(write_dump("zahlen.sql", paging_dump()));
    ui_command(ID_LAST_PAGE, BN_CLICKED);
    ASSERT_TRUE(app().busy);
    messages_.while_shown = [] {
        while (app().busy) test::pump(10);
    };
    SendMessageW(app().main, WM_CLOSE, 0, 0);
    EXPECT_EQ(messages_.texts.size(), 1u);
    EXPECT_TRUE(test::pump(5000)) << "the window stayed open";
    EXPECT_EQ(app().main, nullptr);
}

// A long import: a sparse dump of 8 GiB in memory. Escape and "Abbrechen" cancel it without a
// message box; closing while a job runs asks, cancels and closes when the job ends.
TEST_F(WorkTest, CancelAndCloseWhileBusy) {
    const std::string big = long_import_dump();
    for (int how = 0; how < 2; ++how) {
        post_open(big, 300);
        ASSERT_TRUE(app().busy);
        if (how == 0) {
            MSG esc{ui_control(ID_TREE), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
            ui_process_message(esc);
        } else {
            ui_command(ID_CANCEL, BN_CLICKED);
        }
        EXPECT_FALSE(enabled(ID_CANCEL));
        wait_idle();
        EXPECT_EQ(app().status, "Vorgang abgebrochen. Originaldatei unverändert.");
        EXPECT_TRUE(messages_.texts.empty());
    }
    post_open(big, 300);
    ASSERT_TRUE(app().busy);
    SendMessageW(app().main, WM_CLOSE, 0, 0);
    ASSERT_EQ(messages_.texts.size(), 1u);
    EXPECT_EQ(messages_.texts[0], "Laufenden Vorgang abbrechen und das Programm schließen?");
    EXPECT_TRUE(test::pump(30000)) << "the window did not close after the job";
    EXPECT_EQ(app().main, nullptr);
}

// Pictures for the README (tools/screenshot.sh sets KV_SCREENSHOT_DIR; skipped otherwise): an
// active filter on the demo, and the record details over it.
TEST_F(WorkTest, ScreenshotsOfFilterAndDetails) {
    const std::string dir = env_get("KV_SCREENSHOT_DIR");
    if (dir.empty()) GTEST_SKIP() << "KV_SCREENSHOT_DIR not set";
    test::set_client_size(1344, 821);
    open(demo());
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"München");
    click(ID_FILTER);
    test::pump(300);
    EXPECT_TRUE(test::save_screen_bmp(dir + "/04-filter.bmp"));
    notify(ID_GRID, NM_DBLCLK);
    test::pump(300);
    EXPECT_TRUE(test::save_screen_bmp(dir + "/05-details.bmp"));
    DestroyWindow(app().text_window);

    // Busy: a long import (a sparse dump of 8 GiB) with its progress and "Abbrechen".
    post_open(long_import_dump(), 600);
    EXPECT_TRUE(test::save_screen_bmp(dir + "/06-busy.bmp"));
    ui_command(ID_CANCEL, BN_CLICKED);
    wait_idle();
}

// Closing while a filter runs: asked, the filter cancelled without a message box, the window
// closed when it ends, and the result file of the earlier filter deleted on destruction. The
// table holds 24 tuples of 64 MB (a sparse file in memory), so that a filter takes a while.
TEST_F(WorkTest, CloseWhileAFilterRuns) {
    const std::string big = shm_.file("breit.sql");
    {
        std::ofstream out(test::fs_path(big), std::ios::binary);
        out << "CREATE TABLE t (x longtext);\nINSERT INTO t VALUES ";
        std::streamoff at = out.tellp();
        for (int i = 0; i < 24; ++i) {
            out.seekp(at);
            out << (i > 0 ? ",('" : "('");
            at = out.tellp() + std::streamoff(64000000);
            out.seekp(at);
            out << "')";
            at = out.tellp();
        }
        out << ";\n";
    }
    open(big);
    ASSERT_EQ(app().entry_total, 24u);
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"x");
    click(ID_FILTER);
    const std::string earlier = app().filter_path;
    ASSERT_FALSE(earlier.empty());
    ASSERT_TRUE(test::file_exists(earlier));
    ui_command(ID_FILTER, BN_CLICKED);
    ASSERT_TRUE(app().busy);
    SendMessageW(app().main, WM_CLOSE, 0, 0);
    ASSERT_EQ(messages_.texts.size(), 1u);
    EXPECT_EQ(messages_.texts[0], "Laufenden Vorgang abbrechen und das Programm schließen?");
    EXPECT_TRUE(test::pump(60000)) << "the window did not close after the filter";
    EXPECT_EQ(app().main, nullptr);
    EXPECT_EQ(messages_.texts.size(), 1u);
    EXPECT_FALSE(test::file_exists(earlier));
}

}  // namespace
}  // namespace kv
