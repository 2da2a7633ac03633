// Window-free geometry and texts of the desktop window: layout for client sizes and DPI (the
// details column and the narrow "Demo laden" thresholds, too-small windows), start-up size,
// minimum size, text window, paint list, button looks, the help text and the copied row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/job.h"
#include "ui/logic/control_states.h"
#include "ui/logic/help_text.h"
#include "ui/logic/paint_plan.h"
#include "ui/logic/view_text.h"
#include "ui/logic/window_layout.h"

namespace kv {
namespace {

TEST(WindowLayout, Scaling) {
    struct Case {
        int v, dpi, want;
    };
    for (const Case& c : std::vector<Case>{{142, 144, 213}, {33, 144, 50}, {17, 120, 21},
                                           {17, 96, 17}, {7, 192, 14}, {1, 144, 2}, {0, 144, 0}}) {
        EXPECT_EQ(ui_scale(c.v, c.dpi), c.want) << c.v << " at " << c.dpi;
    }
    EXPECT_EQ(ui_unscale(1770, 144), 1180);
    EXPECT_EQ(ui_unscale(1769, 144), 1179);
}

TEST(WindowLayout, DetailsColumnAndDemoButtonThresholds) {
    const MainLayout narrow = ui_main_layout(1179, 800, 96);
    const MainLayout wide = ui_main_layout(1180, 800, 96);
    EXPECT_FALSE(narrow.details_visible);
    EXPECT_TRUE(wide.details_visible);
    // The grid gets the details column's 250 units when the column is hidden.
    EXPECT_EQ(narrow.of(ID_GRID), (UiRect{260, 292, 1179 - 248 - 40, 389}));
    EXPECT_EQ(wide.of(ID_GRID), (UiRect{260, 292, 1180 - 498 - 40, 389}));
    EXPECT_EQ(wide.of(ID_DETAILS), (UiRect{946, 203, 202, 522}));
    EXPECT_EQ(wide.of(ID_DETAILS_CAPTION), (UiRect{946, 155, 202, 38}));

    const MainLayout small = ui_main_layout(999, 700, 96);
    const MainLayout large = ui_main_layout(1000, 700, 96);
    EXPECT_EQ(small.of(ID_DEMO).width, 76);
    EXPECT_EQ(large.of(ID_DEMO).width, 96);
    for (int id : {ID_EXPORT, ID_TUPLE, ID_REINDEX, ID_CHARSET, ID_CACHE, ID_HELP}) {
        EXPECT_EQ(large.of(id).x - small.of(id).x, 20) << id;
    }
    EXPECT_EQ(large.of(ID_HELP), (UiRect{16 + 142 + 96 + 132 + 126 + 120 + 136 + 76 + 7 * 8, 99,
                                         64, 33}));
    EXPECT_EQ(large.of(ID_CHARSET).height, 240);
}

TEST(WindowLayout, HighDpiAndTooSmallWindows) {
    const MainLayout hi = ui_main_layout(2040, 1290, 144);  // 1,360 × 860 logical
    EXPECT_EQ(hi.of(ID_OPEN), (UiRect{24, 149, 213, 50}));
    EXPECT_EQ(hi.of(ID_TREE), (UiRect{38, 336, 297, 849}));
    EXPECT_EQ(hi.of(ID_CANCEL), (UiRect{ui_scale(1267, 144), ui_scale(828, 144), 116, 38}));
    EXPECT_TRUE(hi.details_visible);

    // Below the room the grid, tree, text view and details need, they stay 1 unit high; the
    // content width never goes below what the labels need.
    const MainLayout tiny = ui_main_layout(300, 200, 96);
    for (int id : {ID_GRID, ID_TREE, ID_TEXT_VIEW}) EXPECT_EQ(tiny.of(id).height, 1) << id;
    EXPECT_EQ(tiny.of(ID_INFO).width, 12);
    EXPECT_EQ(tiny.of(ID_TABS).width, 16);
    EXPECT_EQ(tiny.of(ID_PAGE_LABEL).width, 1);
    EXPECT_EQ(tiny.of(ID_FILTER_VALUE).width, 80);  // F is at least 525
    EXPECT_EQ(ui_main_layout(300, 200, 144).of(ID_GRID).height, 2);
    EXPECT_EQ(tiny.of(12345), UiRect{});
}

TEST(WindowLayout, StartMinimumAndTextWindow) {
    struct Case {
        int sw, sh;
        UiRect want;
    };
    for (const Case& c : std::vector<Case>{{1366, 768, {20, 35, 1326, 698}},
                                           {1920, 1080, {280, 110, 1360, 860}},
                                           {1399, 929, {20, 35, 1359, 859}},
                                           {1400, 930, {20, 35, 1360, 860}}}) {
        EXPECT_EQ(ui_start_window_rect(c.sw, c.sh), c.want) << c.sw << "x" << c.sh;
    }
    EXPECT_EQ(ui_min_window_size(96, 1920, 1080), (UiSize{960, 580}));
    EXPECT_EQ(ui_min_window_size(144, 1920, 1080), (UiSize{1440, 870}));
    EXPECT_EQ(ui_min_window_size(144, 1366, 768), (UiSize{1350, 713}));
    EXPECT_EQ(ui_text_window_rect(100, 40, 144), (UiRect{235, 115, 1350, 960}));
    const TextWindowLayout t = ui_text_window_layout(884, 601, 96);
    EXPECT_EQ(t.edit, (UiRect{14, 14, 856, 531}));
    EXPECT_EQ(t.copy, (UiRect{14, 557, 135, 30}));
    EXPECT_EQ(t.close, (UiRect{760, 557, 110, 30}));
}

const PaintOp* find_text(const std::vector<PaintOp>& ops, const std::string& text) {
    for (const PaintOp& op : ops) {
        if (op.kind == PAINT_TEXT && op.text == text) return &op;
    }
    return nullptr;
}

int count_fills(const std::vector<PaintOp>& ops) {
    int n = 0;
    for (const PaintOp& op : ops) n += op.kind == PAINT_FILL;
    return n;
}

TEST(PaintPlan, PanelsEmptyStateAndStatusLine) {
    const std::vector<PaintOp> wide = ui_main_paint(1180, 800, 96, false, false, "Bereit");
    const std::vector<PaintOp> narrow = ui_main_paint(1179, 800, 96, false, false, "Bereit");
    EXPECT_EQ(count_fills(wide) - count_fills(narrow), 2);  // details panel and its line
    EXPECT_EQ(wide.back().rect, (UiRect{18, 771, 1144, 24}));
    // The content panel reaches to W - 16 without the details column.
    const PaintOp* heading = find_text(narrow, EMPTY_STATE_HEADING);
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->rect, (UiRect{268, 374, 1179 - 36 - 268, 40}));
    EXPECT_EQ(heading->align, ALIGN_CENTER);

    const std::vector<PaintOp> busy = ui_main_paint(1180, 800, 96, true, true, "Vorgang läuft …");
    EXPECT_EQ(find_text(busy, EMPTY_STATE_HEADING), nullptr);
    EXPECT_EQ(busy.back().rect, (UiRect{18, 771, 1180 - 332 - 18, 24}));
    EXPECT_TRUE(busy.back().ellipsis);
    EXPECT_EQ(busy.back().text, "Vorgang läuft …");

    const std::vector<PaintOp> hi = ui_main_paint(2040, 1290, 144, true, false, "");
    const PaintOp* badge = find_text(hi, "READ ONLY  ·  NATIVE x64");
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(badge->rect, (UiRect{1650, 50, 360, 39}));
    EXPECT_EQ(badge->align, ALIGN_RIGHT);
}

TEST(PaintPlan, ButtonLooks) {
    struct Case {
        int id;
        bool enabled, pressed;
        ButtonLook want;
    };
    const UiColor accent{49, 148, 203};
    const UiColor border{212, 226, 236};
    for (const Case& c : std::vector<Case>{
             {ID_OPEN, true, false, {accent, accent, UI_COLOR_WHITE}},
             {ID_FILTER, true, true, {{29, 123, 180}, accent, UI_COLOR_WHITE}},
             {ID_OPEN, false, true, {{241, 244, 247}, border, {159, 173, 184}}},
             {ID_RESET, true, true, {UI_COLOR_WHITE, border, {46, 78, 104}}},
         }) {
        const ButtonLook got = ui_button_look(c.id, c.enabled, c.pressed);
        EXPECT_EQ(got.fill, c.want.fill) << c.id;
        EXPECT_EQ(got.border, c.want.border) << c.id;
        EXPECT_EQ(got.text, c.want.text) << c.id;
    }
}

TEST(HelpText, ExactBytes) {
    const std::string& text = ui_help_text();
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a of the whole text
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
    EXPECT_EQ(text.size(), 3871u);
    EXPECT_EQ(h, 0x8306dbcea6b6196aull);
    EXPECT_EQ(text.substr(0, 29), "KOR-VANE DUMP BROWSER 1.0.1\r\n");
}

TEST(HelpText, RowAsTabSeparatedText) {
    struct Case {
        std::vector<std::u16string> cells;
        std::u16string want;
    };
    for (const Case& c : std::vector<Case>{{{u"1", u"a", u"", u"c…"}, u"a\t\tc…"},
                                           {{u"7", u"x"}, u"x"},
                                           {{u"7"}, u""},
                                           {{}, u""}}) {
        EXPECT_EQ(ui_row_tsv(c.cells), c.want);
    }
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Enabled and visible states by the interface state, as rows of (conditions, control, state).
TEST(ControlStates, PagingTabsAndBusy) {
    UiConditions data;  // a table of 250 entries on its "Daten" tab, idle
    data.dump_open = true;
    data.selected_kind = OBJECT_TABLE;
    data.entry_total = 250;
    UiConditions last = data;
    last.page_offset = 200;
    UiConditions whole = data;  // 200 entries: the second page is the last
    whole.entry_total = 200;
    whole.page_offset = 100;
    UiConditions empty = data;
    empty.entry_total = 0;
    UiConditions busy = data;
    busy.busy = busy.job_running = true;
    UiConditions cancelled = busy;
    cancelled.cancel_requested = true;
    UiConditions structure = data;
    structure.tab = TAB_STRUCTURE;
    UiConditions view = data;
    view.selected_kind = OBJECT_VIEW;
    UiConditions view_sql = view;
    view_sql.tab = TAB_SQL;
    UiConditions none;
    struct Row {
        const char* what;
        const UiConditions& c;
        int id;
        ControlState want;  // visible, enabled
    };
    const std::vector<Row> rows = {
        {"first page", data, ID_PREV_PAGE, {true, false}},
        {"first page", data, ID_NEXT_PAGE, {true, true}},
        {"first page", data, ID_LAST_PAGE, {true, true}},
        {"last page", last, ID_NEXT_PAGE, {true, false}},
        {"last page", last, ID_FIRST_PAGE, {true, true}},
        {"last page", last, ID_GO, {true, true}},
        {"last of whole pages", whole, ID_NEXT_PAGE, {true, false}},
        {"last of whole pages", whole, ID_LAST_PAGE, {true, false}},
        {"empty table", empty, ID_GO, {true, false}},
        {"empty table", empty, ID_PAGE_NUMBER, {true, true}},
        {"no row", data, ID_TUPLE, {true, false}},
        {"busy", busy, ID_OPEN, {true, false}},
        {"busy", busy, ID_TREE, {true, false}},
        {"busy", busy, ID_NEXT_PAGE, {true, false}},
        {"busy", busy, ID_CANCEL, {true, true}},
        {"busy", busy, ID_PROGRESS, {true, true}},
        {"idle", data, ID_CANCEL, {false, false}},
        {"idle", data, ID_PROGRESS, {false, true}},
        {"cancel asked", cancelled, ID_CANCEL, {true, false}},
        {"structure", structure, ID_GRID, {true, true}},
        {"structure", structure, ID_INFO, {true, true}},
        {"structure", structure, ID_FILTER_VALUE, {false, true}},
        {"structure", structure, ID_FIRST_PAGE, {false, false}},
        {"view on Daten", view, ID_GRID, {false, true}},
        {"view on Daten", view, ID_TEXT_VIEW, {false, true}},
        {"view on Daten", view, ID_EXPORT, {true, false}},
        {"view SQL", view_sql, ID_TEXT_VIEW, {true, true}},
        {"no dump", none, ID_TABS, {false, true}},
        {"no dump", none, ID_BREADCRUMB, {false, true}},
        {"no dump", none, ID_REINDEX, {true, false}},
        {"no dump", none, ID_DEMO, {true, true}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ui_control_states(r.c, true).of(r.id), r.want) << r.what << ", control " << r.id;
    }
    EXPECT_FALSE(ui_control_states(data, false).of(ID_DETAILS).visible);
    EXPECT_TRUE(ui_control_states(data, true).of(ID_DETAILS_CAPTION).visible);
}

TEST(ViewTexts, ProgressAndPages) {
    struct Case {
        std::uint64_t done, total, want;
    };
    for (const Case& c : std::vector<Case>{{500000, 1000000, 499}, {0, 0, 0}, {5, 0, 0},
                                           {505, 1000, 504}, {1000, 1000, 999},
                                           {7000, 1000, 1000}, {~0ull, ~0ull, 999}}) {
        EXPECT_EQ(progress_thousandths(c.done, c.total), c.want) << c.done << "/" << c.total;
    }
    EXPECT_EQ(status_progress_text("Filtern", 500000, 1000000, 7, false),
              "Filtern …  49 %  ·  7 Einträge");
    EXPECT_EQ(page_label_text(1200, 1234), "1.201–1.234 von 1.234");
    EXPECT_EQ(page_label_text(0, 0), "0–0 von 0");
    EXPECT_EQ(info_label_text(5, true), "5 Treffer · Filter aktiv · Groß-/Kleinschreibung beachten");
    EXPECT_EQ(info_label_text(0, false), "0 Einträge · Originalreihenfolge · 100 pro Seite");
}

TEST(DetailsPaneText, ObjectRowAndLimit) {
    DumpState state;
    state.objects.resize(3);
    SchemaObject& table = state.objects[0];
    table.kind = OBJECT_TABLE;
    table.database_name = "shop";
    table.object_name = "k\xE4se";  // Windows-1252
    table.entry_count = 1234;
    table.tuple_bytes = 1536;
    table.columns = {{"id", "int NOT NULL"}, {"name", std::string(200, 'x')}};
    state.objects[1].kind = OBJECT_VIEW;
    state.objects[1].database_name = "shop";
    state.objects[1].object_name = "v";

    const DetailsPane none = details_pane(nullptr, -1, nullptr, DETAILS_NO_ROW, CHARSET_UTF8);
    EXPECT_EQ(none.caption, "DEINE DATEN.\nIN DEINER HAND.");
    EXPECT_TRUE(none.text.starts_with("Lokal und schreibgeschützt.\r\n\r\n"));

    const DetailsPane view = details_pane(&state, 1, nullptr, DETAILS_NO_ROW, CHARSET_UTF8);
    EXPECT_EQ(view.text, "Datenbank\r\nshop\r\n\r\n0 Einträge\r\n0 Spalten\r\n0 B SQL-Tupel\r\n\r\n"
                         "SPALTEN\r\n\r\n");

    const DetailsPane overview = details_pane(&state, 0, nullptr, DETAILS_NO_ROW,
                                              CHARSET_WINDOWS_1252);
    EXPECT_EQ(overview.caption, "käse");
    EXPECT_NE(overview.text.find("1.234 Einträge\r\n2 Spalten\r\n1,5 KiB SQL-Tupel"),
              std::string::npos);
    EXPECT_NE(overview.text.find("name\r\n" + std::string(180, 'x') + " …\r\n\r\n"),
              std::string::npos);

    PageData page;
    page.row_count = 3;
    page.cell_count = 3;
    page.cells = {{u"1", u"1", u"a"}, {u"2", u"2", u"b"}, {u"3", u"3", u"c …"}};
    page.entries[2] = {4096, 17, 0};
    const DetailsPane row = details_pane(&state, 0, &page, 2, CHARSET_WINDOWS_1252);
    EXPECT_NE(row.text.find("AUSGEWÄHLTER EINTRAG\r\nByte 4096\r\n17 Bytes im Dump\r\n\r\n"
                            "id\r\n3\r\n\r\nname\r\nc …\r\n\r\n"),
              std::string::npos);
    EXPECT_TRUE(row.text.ends_with("Doppelklick: erweiterte Details.\r\nSQL-Tupel: "
                                   "Originalbytes speichern."));
    // A row beyond the page shows the column overview.
    EXPECT_EQ(details_pane(&state, 0, &page, 3, CHARSET_UTF8).text.find("AUSGEWÄHLTER"),
              std::string::npos);

    SchemaObject& wide = state.objects[2];
    wide.kind = OBJECT_TABLE;
    for (int i = 0; i < 4096; ++i) wide.columns.push_back({"spalte_" + std::to_string(i), "text"});
    EXPECT_EQ(details_pane(&state, 2, nullptr, DETAILS_NO_ROW, CHARSET_UTF8).text.size(),
              DETAILS_PANE_LIMIT);
}

}  // namespace
}  // namespace kv
