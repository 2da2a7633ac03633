// Window-free logic of the desktop window, written out as one text and compared as a whole
// with tests/data/ui/logic.out: scaling, layout and paint list at several sizes and DPI,
// button looks, control states for every combination of interface state, page numbers,
// labels, status lines, notes, help text, details pane, structure rows, tree contents and
// selection.
// KV_UPDATE_GOLDEN=1 rewrites the file from the current output (review its diff).
#include <gtest/gtest.h>

#include <sstream>

#include "cache/file_names.h"
#include "foundation/text.h"
#include "jobs/job.h"
#include "records/value.h"
#include "tests/support/test_support.h"
#include "ui/logic/control_states.h"
#include "ui/logic/format_text.h"
#include "ui/logic/grid_view.h"
#include "ui/logic/help_text.h"
#include "ui/logic/page_number.h"
#include "ui/logic/paint_plan.h"
#include "ui/logic/recent_dumps.h"
#include "ui/logic/report_text.h"
#include "ui/logic/search_view.h"
#include "ui/logic/tree_model.h"
#include "ui/logic/view_text.h"

namespace kv {
namespace {

std::string esc(const std::string& s) {  // CR and TAB made visible, lines kept
    std::string out;
    for (char c : s) out += c == '\r' ? "<CR>" : c == '\t' ? "<TAB>" : std::string(1, c);
    return out;
}
std::ostream& operator<<(std::ostream& out, const UiRect& r) {
    return out << r.x << "," << r.y << " " << r.width << "x" << r.height;
}
std::ostream& operator<<(std::ostream& out, const UiColor& c) {
    return out << +c.r << "." << +c.g << "." << +c.b;
}
SchemaObject object(ObjectKind kind, std::string db, std::string name, std::uint64_t entries = 0,
                    std::uint64_t bytes = 0) {
    return {std::move(db), std::move(name), "", {}, {}, entries, bytes, kind, ""};
}

void geometry(std::ostream& out) {
    for (int dpi : {96, 120, 144, 192}) {
        out << "scale " << dpi << ":";
        for (int v : {0, 1, 7, 17, 33, 142, 1179, 1769, 1770})
            out << " " << v << "->" << ui_scale(v, dpi) << "/" << ui_unscale(v, dpi);
        out << "\n";
    }
    for (const auto& [w, h, dpi] : {std::tuple{1180, 800, 96}, {1179, 800, 96}, {1000, 700, 96},
                                    {999, 700, 96}, {2040, 1290, 144}, {300, 200, 96}, {300, 200, 144}}) {
        const MainLayout l = ui_main_layout(w, h, dpi);
        out << "layout " << w << "x" << h << " at " << dpi << ", details " << l.details_visible
            << ", unknown id " << l.of(12345) << "\n";
        for (int id : CONTROL_ORDER) out << "  " << id << " " << l.of(id) << "\n";
    }
    // Captions measured wider than the layout's buttons (the command row then crowds the
    // character set box), a taller field, the cue widening the tree; splitter widths beyond
    // what the window allows.
    LayoutMeasures m;
    for (const auto& [id, width] : {std::pair{ID_DEMO, 90}, {ID_CANCEL, 95}, {ID_FILTER, 82}, {ID_RESET, 100},
                                    {ID_GO, 50}, {ID_TREE_FILTER, 210}})
        m.captions[std::size_t(ui_control_index(id))] = width;
    m.field_height = 27;
    for (const auto& [w, h, dpi, tree, details] : {std::tuple{960, 580, 96, 198, 202}, {1440, 870, 144, 198, 202},
                                                   {1400, 900, 96, 320, 280}, {1400, 900, 96, 900, 900},
                                                   {1180, 800, 96, 100, 100}}) {
        m.tree_width = tree, m.details_width = details;
        const MainLayout l = ui_main_layout(w, h, dpi, m);
        const PanelColumns p = ui_panel_columns(ui_unscale(w, dpi), m);
        out << "measured " << w << "x" << h << " at " << dpi << " tree " << tree << " details " << details
            << ": columns " << p.tree_width << " " << p.details_width << " " << p.tree_right << " "
            << p.content_left << " " << p.content_right << " " << p.details_left << ", status ends "
            << ui_status_text_right(w, dpi, true, m) << "\n";
        for (int id : CONTROL_ORDER) out << "  " << id << " " << l.of(id) << "\n";
    }
    // Splitters: what lies under points across the panels' gaps, drags beyond the minimums and
    // the content's minimum, keyboard steps.
    m = {};
    out << "splitters at 1400x900/144:";
    for (int x : {300, 347, 348, 371, 372, 1700, 1701, 1724, 1725, 1900}) {
        out << " " << x << "->" << int(ui_splitter_at(x, 400, 2100, 1350, 144, m));
    }
    out << " above " << int(ui_splitter_at(360, 200, 2100, 1350, 144, m)) << "\n";
    for (const auto& [s, x] : {std::pair{Splitter::tree, 400}, {Splitter::tree, 10}, {Splitter::tree, 5000},
                               {Splitter::details, 1000}, {Splitter::details, 1390}, {Splitter::details, 10}}) {
        const LayoutMeasures d = ui_splitter_drag(s, x, 1400, 96, m);
        out << "drag " << int(s) << " to " << x << ": " << d.tree_width << " " << d.details_width << "\n";
    }
    for (const auto& [s, dir] : {std::pair{Splitter::tree, 1}, {Splitter::tree, -1}, {Splitter::details, 1},
                                 {Splitter::details, -1}}) {
        const LayoutMeasures d = ui_splitter_step(s, dir, 1400, 96, m);
        const LayoutMeasures narrow = ui_splitter_step(s, dir, 1000, 96, m);  // no details column
        out << "step " << int(s) << " " << dir << ": " << d.tree_width << " " << d.details_width << " | "
            << narrow.tree_width << " " << narrow.details_width << "\n";
    }
    for (const auto& [w, h, dpi] : {std::tuple{1366, 768, 96}, {1920, 1080, 144}, {1399, 929, 96},
                                    {1400, 930, 120}, {1366, 768, 144}}) {
        const UiSize min = ui_min_window_size(dpi, w, h);
        out << "screen " << w << "x" << h << " at " << dpi << ": start " << ui_start_window_rect(dpi, {0, 0, w, h})
            << ", minimum " << min.width << "x" << min.height << ", text window "
            << ui_text_window_rect(100, 40, dpi) << "\n";
    }
    const TextWindowLayout t = ui_text_window_layout(884, 601, 96);
    out << "text window " << t.edit << " | " << t.copy << " | " << t.wrap << " | " << t.close << "\n";
    LayoutMeasures wide;
    wide.tree_width = 300, wide.details_width = 260, wide.captions[std::size_t(ui_control_index(ID_CANCEL))] = 99;
    for (const auto& [w, h, dpi, open, busy, status, measures] :
         {std::tuple{1180, 800, 96, false, false, "Bereit", LayoutMeasures{}},
          {1179, 800, 96, false, false, "Bereit", LayoutMeasures{}},
          {1180, 800, 96, true, true, "Vorgang läuft …", LayoutMeasures{}},
          {2040, 1290, 144, true, false, "", LayoutMeasures{}}, {1600, 900, 96, false, true, "x", wide}}) {
        out << "paint " << w << "x" << h << " at " << dpi << " open " << open << " busy " << busy << "\n";
        for (const PaintOp& op : ui_main_paint(w, h, dpi, measures, open, busy, status))
            out << "  " << op.kind << " " << op.rect << " " << op.color << " font " << op.font << " align "
                << op.align << " wrap " << op.wrap << " ellipsis " << op.ellipsis << " '" << op.text << "'\n";
    }
    for (int id : CONTROL_ORDER) {
        out << "button " << id << " backdrop " << ui_button_backdrop(id);
        for (int look = 0; look < 4; ++look) {  // enabled, pressed as bits 0 and 1
            const ButtonLook b = ui_button_look(id, look & 1, look & 2);
            out << " | " << b.fill << " " << b.border << " " << b.text;
        }
        out << "\n";
    }
}

// Every combination of the interface state's flags, selected kind, tab and paging, one line
// each (the details column shown on every other line): each control in CONTROL_ORDER as E
// (shown, enabled), d (shown, disabled), h (hidden, enabled) or - (hidden, disabled).
void control_states(std::ostream& out) {
    for (int bits = 0, line = 0; bits < 32; ++bits)
        for (int kind = -1; kind <= OBJECT_ROUTINE; ++kind)
            for (int tab : {TAB_DATA, TAB_STRUCTURE, TAB_SQL, TAB_NOTES})
                for (const auto& [offset, total] : {std::pair{0ull, 0ull}, {0ull, 250ull}, {100ull, 200ull},
                                                    {200ull, 250ull}}) {
                    const UiConditions c{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0,
                                         kind, tab, (bits & 16) != 0, offset, total};
                    const ControlStates s = ui_control_states(c, ++line % 2 == 0);
                    out << "states " << bits << " " << kind << " " << tab << " " << offset << "/" << total << " ";
                    for (int id : CONTROL_ORDER) out << "-hdE"[s.of(id).visible * 2 + s.of(id).enabled];
                    out << "\n";
                }
    // A view or routine without columns: its text view explains on "Daten" and "Struktur".
    for (int kind : {int(OBJECT_VIEW), int(OBJECT_ROUTINE)})
        for (int tab : {TAB_DATA, TAB_STRUCTURE, TAB_SQL}) {
            UiConditions c;
            c.dump_open = true, c.selected_kind = kind, c.tab = tab, c.selected_has_columns = false;
            const ControlStates s = ui_control_states(c, true);
            out << "states without columns " << kind << " " << tab << " ";
            for (int id : CONTROL_ORDER) out << "-hdE"[s.of(id).visible * 2 + s.of(id).enabled];
            const SchemaObject o = object(ObjectKind(kind), "db", "v");
            out << " '" << no_rows_text(o, tab) << "' '" << structure_info_text(o) << "'\n";
        }
    // The tree's root: the search view, idle or busy, with a hit selected, on each tab.
    for (int tab : {TAB_DATA, TAB_STRUCTURE, TAB_SQL, TAB_NOTES})
        for (int bits : {0, 1, 16})
            for (const auto& [offset, total] : {std::pair{0ull, 0ull}, {100ull, 250ull}}) {
                UiConditions c;
                c.dump_open = c.search_view = true, c.busy = bits == 1, c.row_selected = bits == 16;
                c.tab = tab, c.page_offset = offset, c.entry_total = total;
                const ControlStates s = ui_control_states(c, true);
                out << "states search " << bits << " " << tab << " " << offset << "/" << total << " ";
                for (int id : CONTROL_ORDER) out << "-hdE"[s.of(id).visible * 2 + s.of(id).enabled];
                out << "\n";
            }
}

// The search view's texts: counts, info line, breadcrumb, and the details of a hit.
void search(std::ostream& out) {
    for (const auto& [hits, tables] : {std::pair{0ull, 0u}, {1ull, 1u}, {1234567ull, 2u}, {~0ull, 65536u}})
        out << "search " << search_count_text(hits, tables) << " | " << search_info_text(true, hits, tables) << "\n";
    out << search_info_text(false, 0, 0) << "|" << search_skipped_text(0) << "|" << search_skipped_text(1234) << "\n";
    DumpState state;
    state.dump_path = "C:\\dumps\\shop.sql";
    state.objects = {object(OBJECT_TABLE, "shop", "orders", 1234567), object(OBJECT_VIEW, "shop", "v")};
    state.total_entries = 1234567;
    out << search_breadcrumb_text(state) << "\n";
    for (const auto& column : grid_search_columns()) out << column.title << " " << column.width << "; ";
    PageData page;
    page.row_count = 1;
    page.cells = {{u"101", u"shop.orders", u"1.234.567", u"note", u"'Müller'"}};
    for (std::uint32_t row : {0u, 1u, DETAILS_NO_ROW}) {
        const DetailsPane pane = search_details_pane(state, &page, row);
        out << "\n" << pane.caption << "\n" << pane.text << "\n";
    }
    out << search_no_object_text() << "\n";
}

void texts(std::ostream& out) {
    for (std::uint64_t total : {0ull, 5ull, 200ull, 250ull, 1234ull, ~0ull}) {
        out << "pages of " << total << ": " << page_count(total) << ";";
        for (const char* t : {"1", "2", "0", "", "3", "4", "13", "013", " 1", "1x", "184467440737095517",
                              "184467440737095518", "18446744073709551615", "18446744073709551616",
                              "18446744073709551617"})  // 2^64 + 1 must not wrap to 1
            if (std::uint64_t first = 7; page_first_entry(t, total, first))
                out << " '" << t << "'->" << first;
        out << "\n";
    }
    for (const auto& [done, total, count] : {std::tuple{500000ull, 1000000ull, 7ull}, {0ull, 0ull, 0ull},
                                             {5ull, 0ull, 1ull}, {505ull, 1000ull, 12345ull},
                                             {1000ull, 1000ull, 0ull}, {7000ull, 1000ull, 0ull},
                                             {~0ull, ~0ull, 0ull}, {1ull << 62, 1ull << 63, 0ull}}) {
        out << progress_thousandths(done, total) << " "
            << status_progress_text("Filtern", done, total, count, false) << "\n";
    }
    out << status_progress_text(nullptr, 0, 0, 0, false) << "\n" << status_progress_text("x", 1, 2, 0, true) << "\n";
    for (std::uint64_t n : {0ull, 5ull, 1234ull}) {
        out << page_label_text(0, n) << "\n" << page_label_text(1200, n) << "\n" << info_label_text(n, false)
            << "\n" << info_label_text(n, true) << "\n";
    }
    for (ObjectKind kind : {OBJECT_TABLE, OBJECT_VIEW, OBJECT_ROUTINE})
        out << breadcrumb_text(object(kind, "shop", "v\xE4"), CHARSET_LATIN1) << "\n";
    DumpState state;
    state.total_entries = 1234567, state.note_count = 3, state.dump_size = 1536;
    for (const char* path : {"/data/2024/shop.sql", "C:\\dumps\\kunden.sql"}) {
        state.dump_path = path, state.loaded_from_cache = !state.loaded_from_cache;
        out << status_open_text(state) << "\n" << status_page_text(state) << "\n";
    }
    DumpState notes;
    out << esc(import_notes_text(notes)) << "\n";
    import_note_append(notes, "Erster Hinweis"), import_note_append(notes, "Zweiter Hinweis");
    out << esc(import_notes_text(notes)) << "\n";
    notes.import_notes.assign(65534, 'n');  // the largest notes text stays whole
    out << "notes of 65534 bytes: " << import_notes_text(notes).size() << "\n" << esc(ui_help_text()) << "\n";
    for (const auto& cells : {std::vector<std::u16string>{u"1", u"a", u"", u"c…"}, {u"7", u"x"}, {u"7"}, {}})
        out << "tsv '" << esc(utf16_to_utf8(ui_row_tsv(cells))) << "'\n";
}

// The report at the top of the import notes: writers known and unknown, whole, cut off and
// ending inside a statement, each declared charset with the display charset that fits it, and
// the largest of twelve tables with a name cut short.
void report(std::ostream& out) {
    struct Case {
        DumpTool tool;
        const char* version;
        const char* server;
        bool final_line;
        bool open;
    };
    const Case cases[] = {
        {DumpTool::mysqldump, "10.13 Distrib 8.0.36", "8.0.36", true, false},
        {DumpTool::mariadb_dump, "10.19-11.3.2-MariaDB", "", false, false},
        {DumpTool::phpmyadmin, "5.2.1", "10.4.32-MariaDB", true, true},
        {DumpTool::navicat, "", "80035", true, false},
        {DumpTool::unknown, "", "", false, false},
        {DumpTool::unknown, "ignored", "8.0.1", false, true},
    };
    DumpState state;
    state.total_entries = 1234567;
    state.report.create_statements = 6000, state.report.insert_statements = 12000;
    state.report.other_statements = 3, state.report.comment_bytes = 1536;
    for (const Case& c : cases) {
        state.report.tool = c.tool, state.report.tool_version = c.version;
        state.report.server_version = c.server, state.report.final_line = c.final_line;
        state.report.ends_in_statement = c.open;
        out << esc(dump_report_text(state)) << "\n";
    }
    for (const char* charset : {"latin1", "cp1250", "latin2", "cp1251", "koi8r", "cp1257", "greek",
                                "cp1256", "latin5", "utf8mb4", "utf8mb3", "utf8", "ascii", "sjis"}) {
        state.report.charset = charset;
        const std::string text = dump_report_text(state);
        const std::size_t third = text.find("\r\n", text.find("\r\n") + 2) + 2;
        out << text.substr(third, text.find("\r\n", third) - third) << "\n";
    }
    state.objects = {object(OBJECT_TABLE, "shop", "leer"), object(OBJECT_VIEW, "shop", "v", 0, 9)};
    for (int i = 0; i < 12; ++i) {
        state.objects.push_back(object(OBJECT_TABLE, "shop", "t" + std::to_string(i), 1, 1000 * (i % 5)));
    }
    state.objects.push_back(object(OBJECT_TABLE, "shop", "\xC3\xA4" + std::string(90, 'n'), 2, 4096));
    out << esc(dump_report_text(state)) << "\n";
    state.objects.resize(5);
    out << esc(dump_report_text(state)) << "\n";
}

void details(std::ostream& out) {
    DumpState state;
    state.objects = {object(OBJECT_TABLE, "shop", "k\xE4se", 1234, 1536),
                     object(OBJECT_VIEW, "shop", "v"), object(OBJECT_TABLE, "d", "breit")};
    SchemaObject& table = state.objects[0];
    table.columns = {{"id", "int NOT NULL"}, {"a\tb", std::string(200, 'x')}};
    for (int i = 0; i < 4096; ++i) state.objects[2].columns.push_back({"spalte_" + std::to_string(i), "text"});
    PageData page;
    page.row_count = page.cell_count = 3;
    page.cells = {{u"1", u"1", u"a"}, {u"2", u"2", u"b"}, {u"3", u"3", u"c …"}};
    page.entries[2] = {4096, 17, 0};
    for (const auto& [s, n, p, row] : {std::tuple{(DumpState*)nullptr, -1, (PageData*)nullptr, DETAILS_NO_ROW},
                                       {&state, 1, nullptr, DETAILS_NO_ROW}, {&state, 0, nullptr, DETAILS_NO_ROW},
                                       {&state, 0, &page, 2u}, {&state, 0, &page, 3u}}) {
        const DetailsPane d = details_pane(s, n, p, row, CHARSET_WINDOWS_1252);
        out << "details " << n << " row " << row << ": " << d.caption << "\n" << esc(d.text) << "\n";
    }
    const std::string wide = details_pane(&state, 2, nullptr, DETAILS_NO_ROW, CHARSET_UTF8).text;
    out << "details of 4096 columns: " << wide.size() << " bytes, ends '"
        << esc(wide.substr(wide.size() - 30)) << "'\n";
    for (const StructureRow& r : structure_rows(table, CHARSET_UTF8))
        out << "structure " << r.number << " '" << r.name << "' " << r.definition << "\n";
    out << "create text '" << create_text_view(table, CHARSET_UTF8) << "'\n";
}

// Each item indented by level with its value and image; "*" marks the item to select.
void tree(std::ostream& out, const DumpState* state, const std::string& filter, int selected) {
    const TreeModel t = tree_build(state, CHARSET_UTF8, filter, selected);
    out << "tree '" << filter << "' selected " << selected << " -> object " << t.select_object << "\n";
    for (std::int32_t i : tree_display_order(t)) {
        const TreeItem& item = t.items[std::size_t(i)];
        out << std::string(std::size_t(item.level) * 2 + 2, ' ') << item.text << " [" << item.value << " "
            << item.image << "]" << (i == t.selected_item ? " *\n" : "\n");
    }
}

TEST(UiLogic, EverythingAsOneText) {
    std::ostringstream out("# What tests/ui/ui_logic_test.cpp writes\n", std::ios::out | std::ios::ate);
    for (auto* part : {&geometry, &control_states, &texts, &report, &details, &search}) part(out);
    DumpState state;
    state.dump_path = "C:\\dumps\\shop.sql";
    state.objects = {object(OBJECT_DATABASE, "shop", ""), object(OBJECT_TABLE, "shop", "orders", 1234567),
                     object(OBJECT_VIEW, "shop", "v_orders"), object(OBJECT_DATABASE, "empty", ""),
                     object(OBJECT_ROUTINE, "shop", "Ärger"), object(OBJECT_TABLE, "Shop", "kunden", 3),
                     object(OBJECT_TABLE, "shop", "ord\xFF", 1),  // not UTF-8: never matched
                     object(OBJECT_ROUTINE, "empty", "proc"), object(OBJECT_VIEW, "empty", "sicht"),
                     object(OBJECT_TABLE, "empty", "zahlen"), object(OBJECT_ROUTINE, "Shop", "r")};
    for (const char* f : {"", "ORDERS", "ärger", "Ärg", "sHoP", "ord", "EMPTY", "e", "ZAHLEN"}) tree(out, &state, f, -1);
    for (const auto& [filter, selected] : {std::pair{"", 4}, {"kunden", 1}, {"zahlen", TREE_SELECT_ROOT}})
        tree(out, &state, filter, selected);
    tree(out, nullptr, "", -1);
    // No tables: the first view or routine is selected directly, even when filtered out.
    state.dump_path = "/x/views.sql";
    state.objects = {object(OBJECT_DATABASE, "d", ""), object(OBJECT_ROUTINE, "d", "p"),
                     object(OBJECT_VIEW, "d", "v"), object(OBJECT_DATABASE, "a", "")};
    for (const char* f : {"zzz", ""}) tree(out, &state, f, -1);

    const std::string golden = test::data_file("ui/logic.out");
    if (!env_get("KV_UPDATE_GOLDEN").empty()) test::write_file(golden, out.str());
    EXPECT_EQ(out.str(), test::read_file(golden));
}

// The paging buttons and the page field on the edges: empty views, whole pages, a page past
// the end, and the last page of the largest view (no step may wrap around 2^64).
TEST(UiLogic, PageArithmetic) {
    constexpr std::uint64_t MAX = ~0ull, LAST = MAX / 100 * 100;
    struct Case { std::uint64_t offset, total, number, end, previous; bool next; std::uint64_t last; };
    for (const Case& c : {Case{0, 0, 1, 0, 0, false, 0}, {0, 100, 1, 100, 0, false, 0},
                          {0, 101, 1, 100, 0, true, 100}, {100, 200, 2, 200, 0, false, 100},
                          {100, 250, 2, 200, 0, true, 200}, {200, 250, 3, 250, 100, false, 200},
                          {1200, 5, 13, 5, 1100, false, 0}, {LAST - 100, MAX, LAST / 100, LAST, LAST - 200, true, LAST},
                          {LAST, MAX, LAST / 100 + 1, MAX, LAST - 100, false, LAST}}) {
        EXPECT_EQ((std::tuple{page_number_at(c.offset), page_end(c.offset, c.total), page_previous(c.offset),
                              page_has_next(c.offset, c.total), page_last(c.total)}),
                  (std::tuple{c.number, c.end, c.previous, c.next, c.last})) << c.offset << " of " << c.total;
        EXPECT_TRUE(!c.next || page_next(c.offset) == c.offset + 100);
        // The last page is the one the page field names by the page count.
        std::uint64_t first = 7;
        EXPECT_TRUE(page_first_entry(std::to_string(page_count(c.total)), c.total, first));
        EXPECT_EQ(first, page_last(c.total));
        EXPECT_EQ(page_number_at(page_last(c.total)), page_count(c.total));
    }
}

// Grid columns of both tabs, a cell's colours from the one palette (plain values in the grid
// text colour the list view itself uses), and the index file a view reads.
TEST(UiLogic, GridColumnsLooksAndIndexFile) {
    SchemaObject table = object(OBJECT_TABLE, "shop", "k");
    table.columns = {{"id", "int"}, {"n\xE4me", "text"}, {"x", "blob"}};
    EXPECT_EQ(grid_data_columns(table, CHARSET_LATIN1),
              (std::vector<GridColumn>{{"#", 76}, {"id", 120}, {"n\xC3\xA4me", 185}, {"x", 185}}));
    EXPECT_EQ(grid_data_columns(object(OBJECT_TABLE, "d", "leer"), CHARSET_UTF8), (std::vector<GridColumn>{{"#", 76}}));
    EXPECT_EQ(grid_structure_columns(),
              (std::vector<GridColumn>{{"#", 60}, {"Spalte", 185}, {"MySQL-Definition (Original)", 560}}));
    const UiColor absent{136, 152, 166}, binary{41, 129, 175}, sql{147, 102, 50};
    for (const auto& [kind, text] : {std::pair{GRID_NO_VALUE, UI_COLOR_GRID_TEXT}, {int(VALUE_NULL), absent},
                                     {int(VALUE_TEXT), UI_COLOR_GRID_TEXT}, {int(VALUE_NUMBER), UI_COLOR_GRID_TEXT},
                                     {int(VALUE_BINARY), binary}, {int(VALUE_SQL), sql},
                                     {int(VALUE_NOT_IN_INSERT), absent}}) {
        EXPECT_EQ(grid_cell_look(0, kind), (GridCellLook{text, UI_COLOR_WHITE})) << kind;
        EXPECT_EQ(grid_cell_look(99, kind), (GridCellLook{text, UiColor{246, 250, 253}})) << kind;
    }
    DumpState state;
    state.cache_folder = "/cache/x";
    EXPECT_EQ(view_index_path(state, 3, ""), cache_index_path(state, 3));
    EXPECT_NE(cache_index_path(state, 3), cache_index_path(state, 4));
    EXPECT_EQ(view_index_path(state, 3, "/cache/x/query.kvi"), "/cache/x/query.kvi");
}

// Catalogue formats take arguments of any length (paths as typed); the window title names the
// open dump's file.
TEST(UiLogic, UnboundedTextsAndWindowTitle) {
    const std::string path(70000, 'p');
    EXPECT_EQ(format_text(msg_text(Msg::export_done), path.c_str()), "Export abgeschlossen: " + path);
    EXPECT_EQ(format_text("%s%%", ""), "%");
    DumpState state;
    state.dump_path = "C:\\dumps\\kunden.sql";
    EXPECT_EQ(main_window_title(nullptr), "Kor-Vane Dump Browser");
    EXPECT_EQ(main_window_title(&state), "kunden.sql — Kor-Vane Dump Browser");
}

// Both status lines count the import notes in German: one "Hinweis", any other number
// "Hinweise".
TEST(UiLogic, NoteCountInStatusLines) {
    DumpState state;
    state.dump_path = "/data/shop.sql";
    for (const auto& [count, text] : {std::pair{0u, "0 Hinweise"}, {1u, "1 Hinweis"}, {2u, "2 Hinweise"},
                                      {11u, "11 Hinweise"}, {21u, "21 Hinweise"}}) {
        state.note_count = count;
        EXPECT_TRUE(status_open_text(state).ends_with(std::string(" · ") + text)) << status_open_text(state);
        EXPECT_NE(status_page_text(state).find(std::string("  ·  ") + text + "  ·  "), std::string::npos)
            << status_page_text(state);
    }
}

// The window at start-up: 1,360 × 860 scaled for the DPI, never below the scaled minimum of
// 960 × 580, fitted into the monitor's work area and centred there (a work area need not start
// at 0,0: a task bar on top, a second monitor).
TEST(UiLogic, StartWindowRect) {
    struct Case { int dpi; UiRect work, want; };
    for (const Case& c : {Case{96, {0, 0, 1920, 1040}, {280, 90, 1360, 860}},
                          {120, {0, 0, 1920, 1040}, {110, 0, 1700, 1040}},
                          {144, {0, 0, 2560, 1400}, {260, 55, 2040, 1290}},
                          {144, {0, 0, 1920, 1040}, {0, 0, 1920, 1040}},  // the minimum 1440 × 870 fits
                          {192, {0, 0, 3840, 2100}, {560, 190, 2720, 1720}},
                          {192, {0, 0, 1920, 1040}, {0, 0, 1920, 1040}},
                          {96, {0, 40, 1366, 728}, {3, 40, 1360, 728}},
                          {144, {1920, 0, 2560, 1400}, {2180, 55, 2040, 1290}},
                          {144, {-1366, 0, 1366, 728}, {-1366, 0, 1366, 728}}}) {
        SCOPED_TRACE(std::to_string(c.dpi) + " DPI in " + std::to_string(c.work.width) + "x" +
                     std::to_string(c.work.height) + " at " + std::to_string(c.work.x));
        const UiRect r = ui_start_window_rect(c.dpi, c.work);
        EXPECT_EQ(r, c.want);
        const UiSize min = ui_min_window_size(c.dpi, 32767, 32767);
        EXPECT_TRUE((r.width >= min.width || r.width == c.work.width) &&
                    (r.height >= min.height || r.height == c.work.height));
    }
}

// The recent dumps: the file read leniently (CR LF, empty and overlong lines, duplicates,
// more than eight), a push moving an entry to the front, the round trip through the cache
// root, and the menu lines.
TEST(UiLogic, RecentDumps) {
    const std::string overlong(RECENT_PATH_MAX + 1, 'x');
    const std::string text = "C:\\a.sql\r\n\n/b.sql\nC:\\a.sql\n" + overlong + "\nc\nd\ne\nf\ng\nh\ni\nj\n";
    const std::vector<std::string> list = recent_parse(text);
    EXPECT_EQ(list, (std::vector<std::string>{"C:\\a.sql", "/b.sql", "c", "d", "e", "f", "g", "h"}));
    EXPECT_EQ(recent_parse(recent_format(list)), list);
    EXPECT_EQ(recent_push(list, "f"), (std::vector<std::string>{"f", "C:\\a.sql", "/b.sql", "c", "d", "e", "g", "h"}));
    EXPECT_EQ(recent_push(list, "neu").back(), "g");
    EXPECT_EQ(recent_push({}, "x"), std::vector<std::string>{"x"});
    test::TempDir root;
    EXPECT_TRUE(recent_read(root.str()).empty());
    ASSERT_TRUE(recent_write(root.str(), list));
    EXPECT_EQ(recent_read(root.str()), list);
    EXPECT_FALSE(test::file_exists(root.file(RECENT_DUMPS_PART_NAME)));
    EXPECT_FALSE(recent_write(root.file("fehlt/ordner"), list));
    EXPECT_EQ(recent_menu_text(0, "C:\\Dumps\\alt\\shop.sql"), "&1  shop.sql\tC:\\Dumps\\alt");
    EXPECT_EQ(recent_menu_text(7, "/home/u/x.sql"), "&8  x.sql\t/home/u");
    EXPECT_EQ(recent_menu_text(2, "nur.sql"), "&3  nur.sql\t");
}

}  // namespace
}  // namespace kv
