// An INSERT skipped because its values do not fit leaves the index as if it were not there:
// each dump below holds such a statement, and its twin holds, in the statement's place, a
// block comment of exactly its length (so every other tuple keeps its byte). Both imports
// must leave the same tables, counts, layouts, index files byte for byte and manifest entry
// counts, through the window scans, the byte path and with 2 and 4 threads in small chunks
// (helpers' runs cover the skipped statement and are taken back with it, and runs of whole
// statements end before it). The statements skipped follow more than one 4,096-entry block of
// their table, or hold more than one block before the tuple that does not fit, so that entries
// already written are cut off the index file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cache/file_names.h"
#include "importer/chunk_scan.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

// count tuples (first, 'r first') ... joined by join.
std::string rows(int first, int count, const char* join = ",") {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        if (i > first) out += join;
        out += "(" + std::to_string(i) + ",'r" + std::to_string(i) + "')";
    }
    return out;
}

// count statements of one row each, as rows() numbers them.
std::string statements(int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) out += "INSERT INTO t VALUES " + rows(i, 1) + ";\n";
    return out;
}

// A dump: before + bad + after, bad being the statement that is skipped (with its ';').
struct SkipCase {
    const char* name;
    std::string before;
    std::string bad;
    std::string after;
};

std::vector<SkipCase> skip_cases() {
    const std::string t = "CREATE TABLE t (a int, b text);\n";
    const std::string u = "CREATE TABLE u (a int, b text);\n";
    const std::string ins = "INSERT INTO t VALUES ";
    return {
        {"a count change after 6,000 tuples, behind 5,000 kept",
         t + ins + rows(0, 5000) + ";\n", ins + rows(5000, 6000) + ",(1);\n",
         ins + rows(20000, 10) + ";\n"},
        {"a count change after 6,000 tuples, the table's first statement", t,
         ins + rows(0, 6000) + ",(1,'x',2);\n", ins + rows(7000, 3) + ";\n"},
        {"the first tuple does not fit the table, after 5,000 kept",
         t + ins + rows(0, 5000) + ";\n", ins + "(1,'a',3),(2,'b',4);\n",
         ins + rows(9000, 5000) + ";\n"},
        {"the column list does not fit its first tuple, after 4,097 kept",
         t + "INSERT INTO t (b, a) VALUES " + rows(0, 4097) + ";\n",
         "INSERT INTO t (b, a) VALUES (1),(2);\n", "INSERT INTO t (a, b) VALUES (3,'c');\n"},
        {"another table's rows around it, joined a tuple a line",
         t + u + ins + rows(0, 4500) + ";\nINSERT INTO u VALUES (1,'u');\n",
         "INSERT INTO t VALUES\n" + rows(4500, 5000, ",\n") + ",\n(9);\n",
         "INSERT INTO u VALUES (2,'u');\n" + ins + rows(9500, 4) + ";\n"},
        {"a count change among statements of one row each", t + statements(0, 5000),
         ins + rows(5000, 2) + ",(1);\n", statements(5002, 5000)},
        {"a REPLACE at the end of the dump", t + ins + rows(0, 4200) + ";\n",
         "REPLACE INTO t VALUES " + rows(4200, 4300) + ",(1,2,3);", ""},
    };
}

// Everything of an import that must not show the skipped statement: per object its name,
// counts, layouts and index file (size and hash; the bytes go to index_bytes, a missing file
// reads as an empty one), and the entry counts the manifest gives back.
std::string index_view(DumpState& state, const std::string& path, const std::string& root,
                       std::string& index_bytes) {
    std::string out;
    for (std::uint32_t n = 0; n < state.objects.size(); ++n) {
        const SchemaObject& o = state.objects[n];
        out += o.object_name + " " + std::to_string(o.entry_count) + " " +
               std::to_string(o.tuple_bytes) + " layouts";
        for (const ColumnLayout& l : o.layouts) {
            for (std::uint32_t c : l.columns) out += " " + std::to_string(c);
            out += " /";
        }
        std::string bytes = test::file_bytes(cache_index_path(state, n));
        if (bytes == "<keine Datei>") bytes.clear();
        index_bytes += bytes;
        out += " index " + std::to_string(bytes.size()) + " bytes " +
               std::to_string(std::hash<std::string>{}(bytes)) + "\n";
    }
    DumpState loaded;
    FileHandle lock = INVALID_FILE;
    const Status status = dump_open_cached(loaded, path, root, false, nullptr, lock);
    file_close(lock);
    out += status.ok() && loaded.loaded_from_cache == 1 ? "manifest:" : "no manifest";
    for (const SchemaObject& o : loaded.objects) out += " " + std::to_string(o.entry_count);
    return out + " total " + std::to_string(loaded.total_entries) + "\n";
}

// The index view of dump imported one way: 0 the window scans, 1 the byte path, else with
// that many threads in chunks of 8 KiB; the index files' bytes into index_bytes.
std::string import_way(const std::string& dump, int way, test::TempDir& dir,
                       const std::string& name, std::string& index_bytes) {
    const std::string path = dir.file(name + ".sql");
    const std::string root = dir.file(name + "-cache-" + std::to_string(way));
    test::write_file(path, dump);
    DumpState state;
    std::string text;
    if (way > 1) import_chunk_size = 8192;
    const bool ok = test::import_described(state, text, path, root, dump, way == 1, 0,
                                           way > 1 ? static_cast<std::uint32_t>(way) : 1);
    import_chunk_size = IMPORT_CHUNK_SIZE;
    EXPECT_TRUE(ok) << name << ": " << text.substr(0, 300);
    const bool skipped = text.find("die Anweisung wurde übersprungen") != std::string::npos;
    EXPECT_EQ(skipped, name == "bad") << text.substr(0, 300);
    return index_view(state, path, root, index_bytes);
}

TEST(SkippedStatement, IndexFilesAsIfItWereACommentOfItsLength) {
    test::TempDir dir(test::sparse_file_base());
    import_helper_counts.taken = 0;
    import_helper_counts.statements = 0;
    for (const SkipCase& c : skip_cases()) {
        ASSERT_GE(c.bad.size(), 4u);
        const std::string comment = "/*" + std::string(c.bad.size() - 4, ' ') + "*/";
        const std::string bad = c.before + c.bad + c.after;
        const std::string twin = c.before + comment + c.after;
        ASSERT_EQ(bad.size(), twin.size());
        for (const int way : {0, 1, 2, 4}) {
            std::string with_bytes, without_bytes;
            const std::string with = import_way(bad, way, dir, "bad", with_bytes);
            const std::string without = import_way(twin, way, dir, "twin", without_bytes);
            EXPECT_EQ(with, without) << c.name << ", way " << way;
            EXPECT_TRUE(with_bytes == without_bytes) << c.name << ", way " << way;
            EXPECT_NE(with.find("manifest:"), std::string::npos) << c.name;
        }
    }
    EXPECT_GT(import_helper_counts.taken.load(), 10000u);  // helpers' runs were taken back
    EXPECT_GT(import_helper_counts.statements.load(), 5000u);  // so were runs of statements
}

}  // namespace
}  // namespace kv
