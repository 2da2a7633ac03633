// Commands of the main window by command number (buttons, boxes, keyboard shortcuts), the job
// requests they fill and hand to the worker, opening a dump and the character set switch.
// While a job runs every command but "Abbrechen" is ignored.
#include "ui/win32/app.h"

#include <shellapi.h>

#include "cache/file_names.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/help_text.h"
#include "ui/logic/page_number.h"

namespace kv {

namespace {

// Called on the worker thread: hands the finished job to the interface thread.
void job_done(BackgroundJob* job, void* user) {
    if (!PostMessageW(static_cast<HWND>(user), WM_JOB_FINISHED, 0, reinterpret_cast<LPARAM>(job))) {
        job_free(job);
    }
}

// The save or open dialog through the seam; empty when cancelled.
std::string file_dialog(bool save, const char* title, const wchar_t* filter,
                        const std::string& default_name) {
    std::wstring chosen;
    if (!ui_seams.file_dialog(app().main, save, ui_wide(title).c_str(), filter,
                              ui_wide(default_name), chosen)) {
        return std::string();
    }
    return ui_narrow(chosen);
}

bool object_selected() { return ui_selected_object() != nullptr; }

bool table_selected() {
    const SchemaObject* o = ui_selected_object();
    return o != nullptr && o->kind == OBJECT_TABLE;
}

void open_dialog() {
    const std::string path = file_dialog(false, "MySQL-Dump öffnen",
                                         L"SQL-Dumps (*.sql;*.dump)\0*.sql;*.dump\0"
                                         L"Alle Dateien\0*.*\0",
                                         std::string());
    if (!path.empty()) ui_open_dump(path, false);
}

void export_csv() {
    AppState& a = app();
    if (!object_selected()) return;
    const std::string path = file_dialog(
        true,
        a.filter_path.empty() ? "Gesamte Tabelle als CSV exportieren"
                              : "Alle Filtertreffer als CSV exportieren",
        L"CSV-Dateien\0*.csv\0", "korvane-export.csv");
    if (path.empty()) return;
    auto job = ui_new_job(JobKind::csv);
    job->output_path = path;
    job->rows = a.entry_total;
    job->index_path = view_index_path(*a.dump, a.selected_object, a.filter_path);
    ui_submit(std::move(job));
}

void save_tuple() {
    const AppState& a = app();
    const int row = ui_selected_row();
    if (row < 0) return;
    const IndexEntry entry = a.page->entries[static_cast<std::size_t>(row)];
    const std::string path = file_dialog(
        true, "Originales SQL-Rohtupel speichern (ohne INSERT-Header)",
        L"SQL-Tupel\0*.sql\0Alle Dateien\0*.*\0",
        "tuple-byte-" + std::to_string(entry.offset) + ".sql");
    if (path.empty()) return;
    auto job = ui_new_job(JobKind::tuple);
    job->output_path = path;
    job->entry = entry;
    ui_submit(std::move(job));
}

void reindex() {
    const AppState& a = app();
    if (!a.dump) return;
    if (ui_seams.message_box(a.main,
                             ui_wide("Den Positionsindex dieses Dumps neu aufbauen?\n"
                                     "Die Originaldatei bleibt unverändert.").c_str(),
                             ui_wide("Kor-Vane · Cache neu aufbauen").c_str(),
                             MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        return;
    }
    ui_open_dump(a.dump->dump_path, true);
}

void start_filter() {
    AppState& a = app();
    if (!table_selected()) return;
    auto job = ui_new_job(JobKind::filter);
    job->filter_text = ui_get_text(ID_FILTER_VALUE);
    job->filter.column =
        static_cast<std::int32_t>(SendMessageW(ui_control(ID_FILTER_COLUMN), CB_GETCURSEL, 0, 0)) - 1;
    const LRESULT op = SendMessageW(ui_control(ID_FILTER_OP), CB_GETCURSEL, 0, 0);
    job->filter.op = op < 0 || op >= static_cast<LRESULT>(FILTER_OP_COUNT) ? FilterOp::contains : static_cast<FilterOp>(op);
    job->filter.text = job->filter_text;
    job->filter.charset = a.charset;
    job->output_path = cache_query_new_path(*a.dump);
    ui_submit(std::move(job));
}

void reset_filter() {
    AppState& a = app();
    if (!object_selected()) return;
    ui_drop_filter();
    a.entry_total = a.dump->objects[static_cast<std::size_t>(a.selected_object)].entry_count;
    SetWindowTextW(ui_control(ID_FILTER_VALUE), L"");
    a.page.reset();
    ui_load_page(0);
}

void go_to_page() {
    const AppState& a = app();
    std::uint64_t first = 0;
    if (page_first_entry(ui_get_text(ID_PAGE_NUMBER), a.entry_total, first)) {
        ui_load_page(first);
    } else {
        ui_message(PAGE_NUMBER_MISSING, MB_OK | MB_ICONINFORMATION);
    }
}

}  // namespace

void ui_copy_selected_row() {
    const AppState& a = app();
    const int row = ui_selected_row();
    if (row < 0) return;
    const std::u16string tsv = ui_row_tsv(a.page->cells[static_cast<std::size_t>(row)]);
    ui_copy_to_clipboard(std::wstring(tsv.begin(), tsv.end()));
    ui_set_status("Sichtbare Zeilenvorschau als TSV kopiert. Für vollständige Werte Details oder "
                  "Export verwenden.");
}

namespace {

void switch_charset() {
    AppState& a = app();
    const LRESULT choice = SendMessageW(ui_control(ID_CHARSET), CB_GETCURSEL, 0, 0);
    a.charset = static_cast<Charset>(choice < 0 || choice > 2 ? 0 : choice);
    ui_drop_filter();
    if (object_selected()) {
        const int object = a.selected_object;
        a.entry_total = a.dump->objects[static_cast<std::size_t>(object)].entry_count;
        a.page.reset();
        a.selected_object = -1;
        ui_select_object(object);
        ui_tree_rebuild();
    } else {
        ui_refresh_views();
    }
}

}  // namespace

std::wstring ui_window_text(HWND window) {
    if (window == nullptr) return std::wstring();
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return text;
}

std::string ui_get_text(int id) { return ui_narrow(ui_window_text(ui_control(id))); }

std::unique_ptr<BackgroundJob> ui_new_job(JobKind type) {
    const AppState& a = app();
    auto job = std::make_unique<BackgroundJob>();
    job->kind = type;
    job->dump_state = type == JobKind::open ? nullptr : a.dump.get();
    job->object = a.selected_object;
    job->charset = a.charset;
    return job;
}

void ui_submit(std::unique_ptr<BackgroundJob> job) {
    AppState& a = app();
    if (a.busy || a.main == nullptr) return;
    BackgroundJob* running = job.get();
    a.busy = true;
    a.running_job = running;
    ui_update_controls();
    SendMessageW(ui_control(ID_PROGRESS), PBM_SETPOS, 0, 0);
    ui_set_status("Vorgang läuft …");
    if (!job_submit(job.release(), job_done, a.main)) {  // the job is freed then
        a.busy = false;
        a.running_job = nullptr;
        ui_update_controls();
        ui_message("Der Hintergrund-Thread konnte nicht gestartet werden.", MB_OK | MB_ICONERROR);
    }
}

void ui_submit_details(const IndexEntry& entry) {
    auto job = ui_new_job(JobKind::details);
    job->entry = entry;
    ui_submit(std::move(job));
}

void ui_command(int id, int notification) {
    AppState& a = app();
    if (id == ID_TREE_FILTER) {
        if (notification == EN_CHANGE && !a.busy && !a.tree_filling) ui_tree_rebuild();
        return;
    }
    if (id == ID_CHARSET) {
        if (notification == CBN_SELCHANGE && !a.busy) switch_charset();
        return;
    }
    if (notification != BN_CLICKED) return;
    if (id == ID_CANCEL) {
        if (a.running_job != nullptr) a.running_job->cancel.store(1, std::memory_order_relaxed);
        ui_update_controls();
        return;
    }
    if (a.busy) return;
    switch (id) {
        case ID_OPEN: open_dialog(); break;
        case ID_DEMO: ui_open_dump(a.program_folder + "/samples/korvane-demo.sql", false); break;
        case ID_EXPORT: export_csv(); break;
        case ID_TUPLE: save_tuple(); break;
        case ID_REINDEX: reindex(); break;
        case ID_CACHE:
            ShellExecuteW(a.main, L"open", ui_wide(a.cache_root).c_str(), nullptr, nullptr,
                          SW_SHOWNORMAL);
            break;
        case ID_HELP: ui_show_text(HELP_TITLE, ui_help_text()); break;
        case ID_FILTER: start_filter(); break;
        case ID_RESET: reset_filter(); break;
        case ID_FIRST_PAGE: ui_load_page(0); break;
        case ID_PREV_PAGE: ui_load_page(page_previous(a.page_offset)); break;
        case ID_GO: go_to_page(); break;
        case ID_NEXT_PAGE:
            if (page_has_next(a.page_offset, a.entry_total)) ui_load_page(page_next(a.page_offset));
            break;
        case ID_LAST_PAGE: ui_load_page(page_last(a.entry_total)); break;
        default: break;
    }
}

void ui_open_dump(const std::string& path, bool new_index) {
    AppState& a = app();
    if (a.busy) return;
    auto job = ui_new_job(JobKind::open);
    job->dump_path = path;
    job->cache_root = a.cache_root;
    job->new_index = new_index ? 1 : 0;
    ui_close_dump();
    SetWindowTextW(ui_control(ID_TREE_FILTER), L"");
    a.current_tab = TAB_DATA;
    TabCtrl_SetCurSel(ui_control(ID_TABS), 0);
    ui_tree_rebuild();
    ui_refresh_views();
    ui_submit(std::move(job));
}

}  // namespace kv
