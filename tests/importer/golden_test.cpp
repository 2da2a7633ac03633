// importer_schema_dump: imports every dump in tests/data and every case of the case files in
// tests/data/importer (*.cases: "-- case NAME" starts a case, "-- case-nbe NAME" one that
// starts under NO_BACKSLASH_ESCAPES; a case is the lines up to the next marker, without the
// last line feed) and compares what each import left (import_outcome.h) with the golden file
// tests/data/importer/<file>.out, and so the generated cases at the limits (generated.out).
// Each case is also imported through the byte path under both
// starting modes, which must leave the same, and a successful import must load again from its
// manifest unchanged. KV_GOLDEN_UPDATE=1 rewrites the golden files. Exit code 0 when all agree.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "importer/insert_scan.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace {

using namespace kv;
namespace fs = std::filesystem;

// The outcome under the starting mode; a difference of the byte path (under both modes) or of
// the reload from the manifest is appended.
std::string run_case(const std::string& dump, std::uint32_t mode) {
    test::TempDir dir(test::sparse_file_base());  // flushes on a memory file system cost nothing
    const std::string path = dir.file("dump.sql");
    test::write_file(path, dump);
    std::string out = test::import_both_ways(path, dump, mode);
    const std::string reload = test::reload_described(path, path + ".cache", dump);
    const bool differs = out.find("UNTERSCHIED") != std::string::npos;
    if (out.rfind("Fehler", 0) != 0 && !differs && reload != out) {
        out += "UNTERSCHIED beim Laden:\n" + reload;
    }
    const std::string other = test::import_both_ways(path, dump, 1 - mode);
    if (other.find("UNTERSCHIED") != std::string::npos) out += "Im anderen Modus:\n" + other;
    return out;
}

// Compares (with KV_GOLDEN_UPDATE: rewrites) one golden file; on a difference the actual text
// goes to <name>.actual in the working folder.
bool check(const std::string& name, const std::string& actual) {
    const std::string golden = std::string(KV_TEST_DATA_DIR) + "/importer/" + name + ".out";
    if (std::getenv("KV_GOLDEN_UPDATE") != nullptr) test::write_file(golden, actual);
    if (test::read_file(golden) == actual) return true;
    std::printf("%s weicht ab: siehe %s.actual\n", golden.c_str(), name.c_str());
    test::write_file(name + ".actual", actual);
    return false;
}

std::string list(const char* first, int from, int to, const char* rest, const char* sep = ",") {
    std::string out;
    for (int i = from; i < to; ++i) {
        out += (i > from ? sep : "") + (first + std::to_string(i)) + rest;
    }
    return out;
}

// Dumps at and just beyond the limits: values and nesting in a tuple, columns, objects, token
// and tuple lengths, notes, and the 4,096-entry batches of the index writer.
std::string generated_cases() {
    const std::string values = "(1" + list(",", 1, 4096, "", "") + ")";
    const std::string wide = "CREATE TABLE wide (" + list("c", 0, 4096, " int") + ");\n";
    const std::string big = "('" + std::string(90, 'a') + "')";  // 94 bytes
    const std::string rest = ",(2),('" + std::string(60, 'x') + "'),(3);\n";
    // name, dump, tuple length limit (0: the real one)
    std::vector<std::tuple<std::string, std::string, std::uint64_t>> cases = {
        {"4,096 values and nesting depth 4,096", "INSERT INTO w VALUES " + values +
         ";\nINSERT INTO d VALUES " + std::string(4096, '(') + std::string(4096, ')') + ";", 0},
        {"4,097 values", "INSERT INTO t VALUES (1,1" + values.substr(2) + ";", 0},
        {"4,100 values in a joined tuple", "INSERT INTO t VALUES (1,'a'),(2,'b'),(3" +
         list(",", 0, 4100, "1", "") + ");\n", 0},
        {"nesting depth 4,097", "INSERT INTO t VALUES " + std::string(4097, '('), 0},
        {"nesting depth 5,000 in a value",
         "INSERT INTO t VALUES (1," + std::string(5000, '(') + ");", 0},
        {"4,096 and 4,097 tuples", "INSERT INTO a VALUES " + list("(", 0, 4096, ")") +
         ";\nINSERT INTO b VALUES " + list("(", 0, 4097, ")") + ";", 0},
        {"4,096 columns in CREATE TABLE", wide, 0},
        {"4,097 columns in CREATE TABLE", wide.substr(0, wide.size() - 3) + ",one_more int);", 0},
        {"4,097 columns in an INSERT list", wide + "INSERT INTO wide (" + list("c", 0, 4096, "") +
         ",c0x) VALUES (1);", 0},
        {"a new column beyond 4,096", wide + "INSERT INTO wide (c1, nope) VALUES (1, 2);", 0},
        {"65,537 objects", list("CREATE TABLE t", 0, 65537, " (a int);\n", ""), 0},
        {"8,191-byte word", "USE " + std::string(8191, 'w') + ";INSERT INTO t VALUES (1);", 0},
        {"8,192-byte word", std::string(8192, 'w') + ";", 0},
        {"8,191-byte name", "USE `" + std::string(8191, 'q') + "`;INSERT INTO t VALUES (1);", 0},
        {"8,192-byte name", "`" + std::string(8192, 'q') + "`;", 0},
        {"8,191-byte string", "USE '" + std::string(8190, 's') + "''';INSERT INTO t VALUES (1);",
         0},
        {"8,192-byte string", "USE '" + std::string(8191, 's') + "''';", 0},
        {"a statement text beyond 2 MiB",
         "CREATE TABLE big (a int) COMMENT '" + std::string(3 << 20, 'c') + "';", 0},
        {"notes beyond the text limit", list("UPDATE t", 0, 1000, " SET a = 1;\n", ""), 0},
        {"a tuple over the length limit, joined", "INSERT INTO t VALUES (1)," + big + rest, 93},
        {"a tuple over the length limit, last", "INSERT INTO t VALUES (1)," + big + ";\n", 93},
        {"a tuple over the length limit, first", "INSERT INTO t VALUES " + big + rest, 93},
        {"a tuple of exactly the length limit", "INSERT INTO t VALUES (1)," + big + rest, 94},
    };
    // A word, a quoted name, a string and the delimiter $$ across the reader's window end.
    const std::string seam =
        "CREATE TABLE `ab``c` (d text DEFAULT 'x''y')$$INSERT INTO `ab``c` VALUES ('x''y')$$";
    for (const std::size_t k : {3, 17, 40, 45, 82}) {  // inside CREATE, ``, '', $$ and the last $$
        cases.emplace_back("window end at byte " + std::to_string(k) + " of " + seam,
                           "DELIMITER $$\n" +
                           std::string(READER_WINDOW_SIZE - 13 - k, ' ') + seam, 0);
    }
    std::string out;
    for (const auto& [name, dump, limit] : cases) {
        insert_tuple_length_limit = limit != 0 ? limit : MAX_TUPLE_LENGTH;
        out += "== " + name + "\n" + run_case(dump, 0);
    }
    insert_tuple_length_limit = MAX_TUPLE_LENGTH;
    return out;
}

}  // namespace

int main() {
    std::vector<fs::path> files;
    for (const char* folder : {"", "/importer"}) {
        for (const auto& e : fs::directory_iterator(std::string(KV_TEST_DATA_DIR) + folder)) {
            const std::string ext = e.path().extension().string();
            if (ext == (*folder ? ".cases" : ".sql")) files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    int failed = check("generated", generated_cases()) ? 0 : 1;
    for (const fs::path& file : files) {
        const std::string text = test::read_file(file.string());
        std::string actual;
        if (file.extension() == ".sql") {
            actual = run_case(text, 0);
        } else {
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t eol = text.find('\n', at);
                const std::size_t next = text.find("\n-- case", eol);
                const std::string head = text.substr(at, eol - at);
                const std::size_t end = next == std::string::npos ? text.size() - 1 : next;
                actual += "== " + head.substr(head.find(' ', 3) + 1) + "\n" +
                          run_case(text.substr(eol + 1, end - eol - 1),
                                   head.rfind("-- case-nbe", 0) == 0 ? 1 : 0);
                at = end + 1;
            }
        }
        if (!check(file.filename().string(), actual)) ++failed;
    }
    std::printf("%zu Dateien, %d weichen ab\n", files.size(), failed);
    return files.size() > 20 && failed == 0 ? 0 : 1;
}
