// Window-free interface logic: tree contents and selection, labels, status lines, notes text.
#include <gtest/gtest.h>

#include <string>

#include "ui/logic/page_number.h"
#include "ui/logic/tree_model.h"
#include "ui/logic/view_text.h"

using namespace kv;

namespace {

SchemaObject make_object(ObjectKind kind, const std::string& db, const std::string& name,
                         std::uint64_t entries = 0) {
    SchemaObject o;
    o.kind = kind;
    o.database_name = db;
    o.object_name = name;
    o.entry_count = entries;
    return o;
}

std::string render(const TreeModel& tree) {
    std::string out;
    for (std::int32_t index : tree_display_order(tree)) {
        const auto& item = tree.items[static_cast<std::size_t>(index)];
        out += std::string(static_cast<std::size_t>(item.level) * 2, ' ') + item.text + "\n";
    }
    return out;
}

struct TreeFixture : ::testing::Test {
    DumpState state;
    void SetUp() override {
        state.dump_path = "C:\\dumps\\shop.sql";
        state.objects.push_back(make_object(OBJECT_DATABASE, "shop", ""));
        state.objects.push_back(make_object(OBJECT_TABLE, "shop", "orders", 1234567));
        state.objects.push_back(make_object(OBJECT_VIEW, "shop", "v_orders"));
        state.objects.push_back(make_object(OBJECT_DATABASE, "empty", ""));
        state.objects.push_back(make_object(OBJECT_ROUTINE, "shop", "Ärger"));
        state.objects.push_back(make_object(OBJECT_TABLE, "Shop", "kunden", 3));
    }
};

}  // namespace

TEST_F(TreeFixture, FullTreeInDumpOrder) {
    TreeModel tree = tree_build(&state, CHARSET_UTF8, "", -1);
    EXPECT_EQ(render(tree),
              "shop.sql\n"
              "  shop\n"
              "    Tabellen\n"
              "      orders  (1.234.567)\n"
              "    Views\n"
              "      v_orders\n"
              "    Routinen / Trigger\n"
              "      Ärger\n"
              "  empty\n"
              "  Shop\n"
              "    Tabellen\n"
              "      kunden  (3)\n");
    // The first table is selected; object items carry object number + 1.
    ASSERT_GE(tree.selected_item, 0);
    EXPECT_EQ(tree.items[static_cast<std::size_t>(tree.selected_item)].value, 2);
    EXPECT_EQ(tree.items[0].value, TREE_VALUE_ROOT);
    EXPECT_EQ(tree.items[1].value, TREE_VALUE_GROUP);
}

TEST_F(TreeFixture, FilterFoldsOnlyAsciiLetters) {
    EXPECT_EQ(render(tree_build(&state, CHARSET_UTF8, "ORDERS", -1)),
              "shop.sql\n  shop\n    Tabellen\n      orders  (1.234.567)\n    Views\n"
              "      v_orders\n");
    // "ärger" (lower-case umlaut) does not find "Ärger".
    EXPECT_EQ(render(tree_build(&state, CHARSET_UTF8, "ärger", -1)), "shop.sql\n");
    EXPECT_EQ(render(tree_build(&state, CHARSET_UTF8, "Ärg", -1)),
              "shop.sql\n  shop\n    Routinen / Trigger\n      Ärger\n");
    // Matching the database name keeps every object of both "shop" and "Shop".
    TreeModel by_db = tree_build(&state, CHARSET_UTF8, "sHoP", -1);
    EXPECT_EQ(by_db.items.size(), tree_build(&state, CHARSET_UTF8, "", -1).items.size() - 1);
}

TEST_F(TreeFixture, SelectionAfterRebuild) {
    // The selected object keeps its item.
    TreeModel kept = tree_build(&state, CHARSET_UTF8, "", 4);
    EXPECT_EQ(kept.items[static_cast<std::size_t>(kept.selected_item)].value, 5);
    // Hidden by the filter: nothing is selected.
    TreeModel hidden = tree_build(&state, CHARSET_UTF8, "kunden", 1);
    EXPECT_EQ(hidden.selected_item, -1);
    EXPECT_EQ(hidden.select_object, -1);
    // No tables: the first view or routine is selected directly, even when filtered out.
    DumpState views;
    views.objects.push_back(make_object(OBJECT_DATABASE, "d", ""));
    views.objects.push_back(make_object(OBJECT_ROUTINE, "d", "p"));
    views.objects.push_back(make_object(OBJECT_VIEW, "d", "v"));
    TreeModel no_tables = tree_build(&views, CHARSET_UTF8, "zzz", -1);
    EXPECT_EQ(no_tables.selected_item, -1);
    EXPECT_EQ(no_tables.select_object, 1);
    // Only database entries: root and databases, nothing selected.
    DumpState dbs;
    dbs.dump_path = "/x/only.sql";
    dbs.objects.push_back(make_object(OBJECT_DATABASE, "a", ""));
    TreeModel only = tree_build(&dbs, CHARSET_UTF8, "", -1);
    EXPECT_EQ(render(only), "only.sql\n  a\n");
    EXPECT_EQ(only.selected_item, -1);
    EXPECT_EQ(only.select_object, -1);
    EXPECT_TRUE(tree_build(nullptr, CHARSET_UTF8, "", -1).items.empty());
}

// Many databases whose objects come back to them out of order: each database keeps the item
// of its first appearance, its groups appear in the order their first object came, and the
// filter keeps exactly the databases whose names contain the text.
TEST(TreeManyDatabases, OrderGroupingAndFilter) {
    constexpr int N = 1000;  // 7 is coprime to N, so d * 7 % N visits every database once
    auto db = [](int d) { return "db" + std::to_string(d); };
    DumpState state;
    state.dump_path = "/x/many.sql";
    auto& objects = state.objects;
    for (int d = 0; d < N; ++d) objects.push_back(make_object(OBJECT_DATABASE, db(d * 7 % N), ""));
    for (int d = 0; d < N; ++d) objects.push_back(make_object(OBJECT_ROUTINE, db(d), "r"));
    for (int d = N - 1; d >= 0; --d) objects.push_back(make_object(OBJECT_TABLE, db(d), "t", 2));
    for (int d = 0; d < N; d += 2) objects.push_back(make_object(OBJECT_VIEW, db(d), "v"));
    objects.push_back(make_object(OBJECT_TABLE, "DB5", "upper", 1));  // another database

    auto expected = [&](const std::string& text) {
        std::string out = "many.sql\n";
        for (int k = 0; k < N; ++k) {
            const int d = k * 7 % N;
            if (db(d).find(text) == std::string::npos) continue;
            out += "  " + db(d) +
                   "\n    Routinen / Trigger\n      r\n    Tabellen\n      t  (2)\n";
            if (d % 2 == 0) out += "    Views\n      v\n";
        }
        return out;
    };
    TreeModel full = tree_build(&state, CHARSET_UTF8, "", -1);
    EXPECT_EQ(render(full), expected("") + "  DB5\n    Tabellen\n      upper  (1)\n");
    // The first table is the one of the last database, added first in its round.
    EXPECT_EQ(full.items[static_cast<std::size_t>(full.selected_item)].value, 2 * N + 1);
    EXPECT_EQ(render(tree_build(&state, CHARSET_UTF8, "DB12", -1)), expected("db12"));
    EXPECT_EQ(render(tree_build(&state, CHARSET_UTF8, "b99", -1)), expected("b99"));
}

TEST(Labels, PageAndInfo) {
    EXPECT_EQ(page_label_text(0, 0), "0–0 von 0");
    EXPECT_EQ(page_label_text(1200, 1234), "1.201–1.234 von 1.234");
    EXPECT_EQ(page_label_text(0, 5), "1–5 von 5");
    EXPECT_EQ(info_label_text(0, false), "0 Einträge · Originalreihenfolge · 100 pro Seite");
    EXPECT_EQ(info_label_text(5, true), "5 Treffer · Filter aktiv · Groß-/Kleinschreibung beachten");
    SchemaObject view = make_object(OBJECT_VIEW, "shop", "v\xE4");
    EXPECT_EQ(breadcrumb_text(view, CHARSET_LATIN1), "shop  ›  Views  ›  vä");
}

TEST(PageNumbers, CountAndTypedText) {
    EXPECT_EQ(page_count(0), 1u);
    EXPECT_EQ(page_count(250), 3u);
    EXPECT_EQ(page_count(200), 2u);
    EXPECT_EQ(page_count(UINT64_MAX), 184467440737095517u);
    struct Case {
        const char* text;
        std::uint64_t total;
        bool valid;
        std::uint64_t first;
    };
    const Case cases[] = {
        {"1", 0, true, 0},  // an empty view has its one page
        {"2", 0, false, 0},
        {"0", 250, false, 0},
        {"", 250, false, 0},
        {"3", 250, true, 200},
        {"4", 250, false, 0},  // one above the count
        {"13", 1234, true, 1200},
        {"013", 1234, true, 1200},
        {" 1", 250, false, 0},
        {"1x", 250, false, 0},
        {"184467440737095517", UINT64_MAX, true, 18446744073709551600u},
        {"184467440737095518", UINT64_MAX, false, 0},  // (n - 1) * 100 would overflow
        {"18446744073709551615", UINT64_MAX, false, 0},  // 2^64 - 1
        {"18446744073709551616", UINT64_MAX, false, 0},  // 2^64 does not fit
    };
    for (const Case& c : cases) {
        std::uint64_t first = 7;
        EXPECT_EQ(page_first_entry(c.text, c.total, first), c.valid) << c.text << " / " << c.total;
        if (c.valid) {
            EXPECT_EQ(first, c.first) << c.text;
        }
    }
}

TEST(StatusLines, OpenPageAndProgress) {
    DumpState state;
    state.dump_path = "/data/2024/shop.sql";
    state.total_entries = 1234567;
    state.note_count = 3;
    state.dump_size = 1536;
    EXPECT_EQ(status_open_text(state),
              "Index erstellt · 1.234.567 Einträge · 18,8 MiB Positionsindex · 3 Hinweise");
    state.loaded_from_cache = 1;
    EXPECT_EQ(status_open_text(state).substr(0, 13), "Cache geladen");
    EXPECT_EQ(status_page_text(state),
              "shop.sql  ·  1,5 KiB  ·  1.234.567 Einträge im Dump  ·  3 Hinweise  ·  "
              "Schreibgeschützt");
    EXPECT_EQ(status_progress_text("Dump indexieren", 505, 1000, 12345, false),
              "Dump indexieren …  50 %  ·  12.345 Einträge");
    EXPECT_EQ(status_progress_text(nullptr, 0, 0, 0, false),
              "Datei vorbereiten …  0 %  ·  0 Einträge");
    // Totals of many gigabytes do not overflow the per-mille computation.
    EXPECT_EQ(status_progress_text("CSV exportieren", 1ULL << 62, 1ULL << 63, 0, false),
              "CSV exportieren …  49 %  ·  0 Einträge");
    EXPECT_EQ(status_progress_text("x", 1, 2, 0, true),
              "Abbruch angefordert – laufende Dateioperation wird beendet …");
}

TEST(NotesText, HeaderNotesAndClosing) {
    DumpState state;
    std::string none = import_notes_text(state);
    EXPECT_EQ(none.rfind("KOR-VANE DUMP BROWSER – IMPORT-HINWEISE\r\n\r\n"
                         "Keine besonderen Import-Hinweise.\r\n\r\nDer Browser führt kein SQL aus.",
                         0),
              0u);
    EXPECT_EQ(std::string("KOR-VANE DUMP BROWSER – IMPORT-HINWEISE\r\n\r\n").size(), 45u);
    EXPECT_EQ(none.size(), 45u + 35u + 574u);
    EXPECT_EQ(none.substr(none.size() - 39), "Anwendung: 1.0.1 / native Windows x64\r\n");

    import_note_append(state, "Erster Hinweis");
    std::string one = import_notes_text(state);
    EXPECT_NE(one.find("\r\n\r\nErster Hinweis\r\n\r\nDer Browser"), std::string::npos);

    state.import_notes.assign(65534, 'n');  // the largest notes text stays whole
    std::string full = import_notes_text(state);
    EXPECT_EQ(full.size(), 45u + 65534u + 574u);
}

TEST(StructureView, RowsEscapeAndNumber) {
    SchemaObject table = make_object(OBJECT_TABLE, "d", "t");
    table.columns.push_back({"id", "int NOT NULL"});
    table.columns.push_back({"a\tb", "(Definition nicht im Dump)"});
    auto rows = structure_rows(table, CHARSET_UTF8);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(rows[0].definition, "int NOT NULL");
    EXPECT_EQ(rows[1].name.find('\t'), std::string::npos);  // control characters escaped
    EXPECT_EQ(create_text_view(table, CHARSET_UTF8), "");
}
