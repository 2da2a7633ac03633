// The main window's commands (see main_window.h): buttons, boxes and keyboard shortcuts by
// command number, the job requests they fill and hand to the worker, opening a dump and the
// character set switch. While a job runs every command but "Abbrechen" is ignored.
#include "ui/win32/main_window.h"
// shellapi.h after main_window.h, which includes windows.h first.
#include <shellapi.h>

#include <ctime>
#include <initializer_list>
#include <utility>

#include "cache/file_names.h"
#include "foundation/messages.h"
#include "importer/open_sequence.h"
#include "jobs/page_job.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/help_text.h"
#include "ui/logic/page_number.h"
#include "ui/logic/recent_dumps.h"
#include "ui/logic/view_text.h"
#include "ui/win32/seams.h"
#include "ui/win32/text_io.h"

namespace kv {

namespace {

bool key_down(int key) { return GetKeyState(key) < 0; }

// A file dialog's filter: label and pattern pairs, each ended by a NUL.
std::wstring dialog_filter(std::initializer_list<std::pair<Msg, const wchar_t*>> pairs) {
    std::wstring filter;
    for (const auto& [label, pattern] : pairs) {
        filter += ui_wide(msg_text(label));
        filter += L'\0';
        filter += pattern;
        filter += L'\0';
    }
    return filter;
}

}  // namespace

void MainWindow::command(int id, int notification) {
    if (id == ID_TREE_FILTER) {
        if (notification != EN_CHANGE || tree_filling_) return;
        state_.busy ? void(pending_tree_ = true) : tree_rebuild();  // after a short job
        return;
    }
    if (id == ID_WRAP) {  // no job: also while one runs
        if (notification == BN_CLICKED) {
            set_wrap(IsDlgButtonChecked(window_, ID_WRAP) == BST_CHECKED);
        }
        return;
    }
    if (id == ID_CHARSET) {
        if (notification != CBN_SELCHANGE) return;
        if (!state_.busy) {
            switch_charset();
        } else {  // a short job runs: the box shows the charset in use
            SendMessageW(control(ID_CHARSET), CB_SETCURSEL, static_cast<WPARAM>(state_.charset), 0);
        }
        return;
    }
    if (notification != BN_CLICKED) return;
    if (id == ID_CANCEL) {
        cancel_job();
        return;
    }
    if (state_.busy) return;
    switch (id) {
        case ID_OPEN: open_dialog(); break;
        case ID_RECENT: recent_menu(); break;
        case ID_DEMO: open_dump(setup_.program_folder + "/samples/korvane-demo.sql", false); break;
        case ID_EXPORT: export_csv(); break;
        case ID_TUPLE: save_tuple(); break;
        case ID_REINDEX: reindex(); break;
        case ID_CACHE:
            ShellExecuteW(window_, L"open", ui_wide(setup_.cache_root).c_str(), nullptr, nullptr,
                          SW_SHOWNORMAL);
            break;
        case ID_HELP: show_text(msg_text(Msg::title_help), ui_help_text()); break;
        case ID_FILTER: start_filter(); break;
        case ID_RESET: reset_filter(); break;
        case ID_FIRST_PAGE: load_page(0); break;
        case ID_PREV_PAGE: load_page(page_previous(state_.page_offset)); break;
        case ID_GO: go_to_page(); break;
        case ID_NEXT_PAGE:
            if (page_has_next(state_.page_offset, state_.entry_total)) {
                load_page(page_next(state_.page_offset));
            }
            break;
        case ID_LAST_PAGE: load_page(page_last(state_.entry_total)); break;
        default: break;
    }
}

// The application shortcuts; true when the key was consumed.
bool MainWindow::shortcut(const MSG& msg) {
    const bool ctrl = key_down(VK_CONTROL);
    const bool alt = key_down(VK_MENU);
    const WPARAM key = msg.wParam;
    const HWND focus = GetFocus();
    if (key == VK_ESCAPE && state_.busy) {
        cancel_job();
        return true;
    }
    if (state_.busy) return false;
    if (ctrl && key == 'O') {
        command(ID_OPEN, BN_CLICKED);
        return true;
    }
    if (ctrl && key == 'F') {
        if (!state_.dump || state_.selected_object < 0) return false;
        state_.current_tab = TAB_DATA;
        TabCtrl_SetCurSel(control(ID_TABS), 0);
        refresh_views();
        const HWND value = control(ID_FILTER_VALUE);
        SetFocus(value);
        SendMessageW(value, EM_SETSEL, 0, -1);
        return true;
    }
    if (ctrl && key == 'C' && focus != nullptr && focus == control(ID_GRID)) {
        copy_selected_row();  // consumed in every case
        return true;
    }
    if ((key == VK_RETURN || key == VK_SPACE) && !ctrl && !alt && focus != nullptr &&
        focus == control(ID_GRID)) {
        on_grid_double_click();  // the selected row's details, as the double-click opens them
        return true;
    }
    if (key == VK_RETURN && focus != nullptr) {
        if (focus == control(ID_FILTER_VALUE)) {
            command(ID_FILTER, BN_CLICKED);
            return true;
        }
        if (focus == control(ID_PAGE_NUMBER)) {
            command(ID_GO, BN_CLICKED);
            return true;
        }
    }
    if (alt && key_down(VK_SHIFT) && !ctrl) {  // the splitters
        const bool tree = key == VK_LEFT || key == VK_RIGHT;
        if (!tree && key != VK_UP && key != VK_DOWN) return false;
        splitter_step(tree ? Splitter::tree : Splitter::details,
                      key == VK_RIGHT || key == VK_UP ? 1 : -1);
        return true;
    }
    if (alt && key == VK_LEFT) {
        command(ID_PREV_PAGE, BN_CLICKED);
        return true;
    }
    if (alt && key == VK_RIGHT) {
        command(ID_NEXT_PAGE, BN_CLICKED);
        return true;
    }
    return false;
}

// Starts the open job for path, unless the file is refused at once (missing, not a regular
// file, compressed, UTF-16, its cache held by another instance): then the open dump stays and
// the refusal is shown. Otherwise the open dump is closed first; when it was another file, it
// is remembered and opened again from its cache should the new import fail or be cancelled.
void MainWindow::open_dump(const std::string& path, bool new_index) {
    if (state_.busy) return;
    const std::string held = state_.dump ? state_.dump->cache_folder : std::string();
    if (Status refused = dump_open_check(path, setup_.cache_root, held); !refused.ok()) {
        set_status(msg_text(Msg::status_failed));
        message_box(status_text(refused).c_str(), MB_OK | MB_ICONERROR);
        return;
    }
    auto job = new_job(JobKind::open);
    job->dump_path = path;
    job->cache_root = setup_.cache_root;
    job->new_index = new_index;
    restore_ = {};
    if (state_.dump && state_.dump->dump_path != path) {
        restore_.path = state_.dump->dump_path;
        restore_.object = state_.selected_object;
    }
    close_dump();
    SetWindowTextW(control(ID_TREE_FILTER), L"");
    state_.current_tab = TAB_DATA;
    TabCtrl_SetCurSel(control(ID_TABS), 0);
    tree_rebuild();
    refresh_views();
    submit(std::move(job));
}

void MainWindow::open_dialog() {
    const std::string path = ui_file_dialog(
        window_, false, msg_text(Msg::dialog_open),
        dialog_filter({{Msg::dialog_sql_dumps, L"*.sql;*.dump"}, {Msg::dialog_all_files, L"*.*"}}),
        recent_.empty() ? std::string() : recent_.front());  // in the last dump's folder
    if (!path.empty()) open_dump(path, false);
}

// The menu of the dumps opened last, below its arrow; the chosen one is opened.
void MainWindow::recent_menu() {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < recent_.size(); ++i) lines.push_back(recent_menu_text(i, recent_[i]));
    const int chosen = ui_popup_menu(window_, control(ID_RECENT), lines, msg_text(Msg::recent_none));
    if (chosen >= 0) open_dump(recent_[static_cast<std::size_t>(chosen)], false);
}

// CSV of a table or its filter hits, or (second file type, and the only one for views and
// routines) the SQL script of the same rows or of the CREATE text.
void MainWindow::export_csv() {
    const SchemaObject* object = selected_object();
    if (object == nullptr) return;
    const bool table = object->kind == OBJECT_TABLE;
    const Msg title = !table                        ? Msg::dialog_export_code
                      : state_.filter_path.empty() ? Msg::dialog_export_table
                                                   : Msg::dialog_export_hits;
    int file_type = 0;
    const std::string path = ui_file_dialog(
        window_, true, msg_text(title),
        table ? dialog_filter({{Msg::dialog_csv_files, L"*.csv"},
                               {Msg::dialog_sql_script, L"*.sql"}})
              : dialog_filter({{Msg::dialog_sql_script, L"*.sql"}}),
        table ? "korvane-export.csv" : "korvane-export.sql", &file_type);
    if (path.empty()) return;
    if (!table || file_type == 2) {
        extract_sql(path);
        return;
    }
    auto job = new_job(JobKind::csv);
    job->output_path = path;
    job->rows = state_.entry_total;
    job->index_path = view_index_path(*state_.dump, state_.selected_object, state_.filter_path);
    submit(std::move(job));
}

void MainWindow::extract_sql(const std::string& path) {
    auto job = new_job(JobKind::extract);
    ExtractPart part;
    part.object = static_cast<std::uint32_t>(state_.selected_object);
    part.entry_count = selected_object()->kind == OBJECT_TABLE ? state_.entry_total : 0;
    part.entry_source_path =
        view_index_path(*state_.dump, state_.selected_object, state_.filter_path);
    part.filtered = !state_.filter_path.empty();
    part.filter = state_.filter;
    job->extract_parts.push_back(std::move(part));
    job->extract_options.now = static_cast<std::int64_t>(std::time(nullptr));
    job->output_path = path;
    submit(std::move(job));
}

void MainWindow::save_tuple() {
    const int row = selected_row();
    if (row < 0) return;
    const IndexEntry entry = state_.page->entries[static_cast<std::size_t>(row)];
    const std::string path = ui_file_dialog(
        window_, true, msg_text(Msg::dialog_tuple),
        dialog_filter({{Msg::dialog_tuple_files, L"*.sql"}, {Msg::dialog_all_files, L"*.*"}}),
        "tuple-byte-" + std::to_string(entry.offset) + ".sql");
    if (path.empty()) return;
    auto job = new_job(JobKind::tuple);
    job->output_path = path;
    job->entry = entry;
    submit(std::move(job));
}

void MainWindow::reindex() {
    if (!state_.dump) return;
    if (ui_message_box(window_, msg_text(Msg::reindex_question), MB_YESNO | MB_ICONINFORMATION,
                       msg_text(Msg::reindex_title)) != IDYES) {
        return;
    }
    open_dump(state_.dump->dump_path, true);
}

void MainWindow::start_filter() {
    if (state_.search_view) return start_search();
    const SchemaObject* o = selected_object();
    if (o == nullptr || o->kind != OBJECT_TABLE) return;
    auto job = new_job(JobKind::filter);
    job->filter_text = ui_narrow(ui_window_text(control(ID_FILTER_VALUE)));
    job->filter.column =
        static_cast<std::int32_t>(SendMessageW(control(ID_FILTER_COLUMN), CB_GETCURSEL, 0, 0)) - 1;
    const LRESULT op = SendMessageW(control(ID_FILTER_OP), CB_GETCURSEL, 0, 0);
    job->filter.op = op < 0 || op >= static_cast<LRESULT>(FILTER_OP_COUNT)
                         ? FilterOp::contains
                         : static_cast<FilterOp>(op);
    job->filter.text = job->filter_text;
    job->filter.charset = state_.charset;
    job->output_path = cache_query_new_path(*state_.dump);
    submit(std::move(job));
}

void MainWindow::reset_filter() {
    if (state_.search_view) return reset_search();
    const SchemaObject* o = selected_object();
    if (o == nullptr) return;
    drop_filter();
    state_.entry_total = o->entry_count;
    SetWindowTextW(control(ID_FILTER_VALUE), L"");
    state_.page.reset();
    load_page(0);
}

// Every column of every table, as the table filter tests one table.
void MainWindow::start_search() {
    if (!state_.dump) return;
    auto job = new_job(JobKind::search);
    job->filter_text = ui_narrow(ui_window_text(control(ID_FILTER_VALUE)));
    job->filter.op = SendMessageW(control(ID_FILTER_OP), CB_GETCURSEL, 0, 0) == 1
                         ? FilterOp::equals
                         : FilterOp::contains;
    job->filter.text = job->filter_text;
    job->filter.charset = state_.charset;
    job->output_path = cache_search_new_path(*state_.dump);
    submit(std::move(job));
}

// The hits go (and their file); the search view waits for a new text.
void MainWindow::reset_search() {
    drop_search();
    state_.search = {};
    state_.entry_total = 0;
    state_.page_offset = 0;
    state_.page.reset();
    SetWindowTextW(control(ID_FILTER_VALUE), L"");
    SendMessageW(control(ID_FILTER_OP), CB_SETCURSEL, 0, 0);
    refresh_views();
    if (state_.dump) set_status(status_page_text(*state_.dump));
}

// Enter or a double-click on a hit: its table is selected in the tree and shows the page
// holding the hit's row, with that row selected.
void MainWindow::jump_to_hit() {
    const int row = selected_row();
    if (row < 0 || static_cast<std::size_t>(row) >= state_.page->hits.size()) return;
    const SearchHit hit = state_.page->hits[static_cast<std::size_t>(row)];
    if (hit.object >= state_.dump->objects.size()) return;
    const std::uint64_t total = state_.dump->objects[hit.object].entry_count;
    if (hit.row >= total) return;
    const std::uint64_t first = page_first_row(hit.row, total);
    pending_row_ = static_cast<int>(hit.row - first);
    select_object(static_cast<int>(hit.object), first);
    tree_rebuild();
}

void MainWindow::go_to_page() {
    std::uint64_t first = 0;
    if (page_first_entry(ui_narrow(ui_window_text(control(ID_PAGE_NUMBER))), state_.entry_total,
                         first)) {
        load_page(first);
    } else {
        message_box(page_missing_text(state_.entry_total).c_str(), MB_OK | MB_ICONINFORMATION);
    }
}

// A new character set: the filter goes, and the selected object is shown anew in it.
void MainWindow::switch_charset() {
    const LRESULT choice = SendMessageW(control(ID_CHARSET), CB_GETCURSEL, 0, 0);
    state_.charset = static_cast<Charset>(
        choice < 0 || static_cast<std::size_t>(choice) >= CHARSET_COUNT ? 0 : choice);
    drop_filter();
    drop_search();  // its hits were found under the other character set
    const SchemaObject* o = selected_object();
    if (o == nullptr) {
        if (state_.search_view) reset_search();
        refresh_views();
        return;
    }
    const int object = state_.selected_object;
    state_.entry_total = o->entry_count;
    state_.page.reset();
    state_.selected_object = -1;
    select_object(object);
    tree_rebuild();
}

// Ctrl+C in the grid: the selected row of the "Daten" page as tab-separated text.
void MainWindow::copy_selected_row() {
    const int row = selected_row();
    if (row < 0) return;
    const std::u16string tsv = ui_row_tsv(state_.page->cells[static_cast<std::size_t>(row)]);
    ui_copy_to_clipboard(window_, std::wstring(tsv.begin(), tsv.end()));
    set_status(msg_text(Msg::status_row_copied));
}

// A double click in the grid: the details job for the selected row.
void MainWindow::open_details() {
    if (search_grid()) return jump_to_hit();
    const int row = selected_row();
    if (row < 0) return;
    auto job = new_job(JobKind::details);
    job->entry = state_.page->entries[static_cast<std::size_t>(row)];
    submit(std::move(job));
}

}  // namespace kv
