// Crashes: korvane-dump is killed with SIGKILL at several points of an import and of a CSV
// export. Afterwards the next open either loads a complete cache or imports anew, and an
// export destination is either untouched or complete, never partial. Also the memory bound:
// imports of adversarial dumps stay under 64 MiB of resident memory. POSIX only (fork, kill,
// getrusage).
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

constexpr std::uint64_t BIG_ROWS = 1200000;

// About 100 MB: one table in extended INSERTs of about 1 MiB, text with escapes and NULLs.
std::string big_dump(const kv::test::TempDir& dir) {
    const std::string path = dir.file("big.sql");
    std::ofstream out(path, std::ios::binary);
    out << "CREATE TABLE `big` (`id` int, `name` varchar(64), `note` text);\n";
    std::string statement;
    for (std::uint64_t i = 0; i < BIG_ROWS; ++i) {
        statement += (statement.empty() ? "INSERT INTO `big` VALUES (" : ",(") + std::to_string(i) +
                     ",'Zeile \\'" + std::to_string(i % 1000) + "\\' Grüße'," +
                     (i % 7 == 0 ? "NULL" : "'Lorem ipsum dolor sit amet, x'") + ")";
        if (statement.size() > 1000000 || i + 1 == BIG_ROWS) {
            out << statement << ";\n";
            statement.clear();
        }
    }
    return path;
}

// Runs korvane-dump with the cache root; kills it after kill_ms when that is not negative.
kv::test::ProgramResult cli(std::vector<std::string> args, const std::string& root,
                            int kill_ms = -1) {
    args.insert(args.end(), {"--cache-root", root});
    if (kill_ms < 0) return kv::test::run_program(KV_CLI_PATH, args);
    auto program = kv::test::start_program(KV_CLI_PATH, args);
    std::this_thread::sleep_for(std::chrono::milliseconds(kill_ms));
    ::kill(program.pid, SIGKILL);
    return kv::test::wait_program(program);
}

}  // namespace

TEST(Crash, KilledImportAndExportLeaveWholeResults) {
    kv::test::TempDir dir;
    const std::string dump = big_dump(dir), root = dir.file("cache");
    for (int delay : {5, 40, 120, 300, 700}) {
        cli({"--reindex", "open", dump}, root, delay);
        kv::test::ProgramResult next = cli({"objects", dump}, root);
        ASSERT_EQ(next.exit_code, 0) << delay << ": " << next.err;
        EXPECT_EQ(next.out, "0\ttable\tdump\tbig\t" + std::to_string(BIG_ROWS) + "\t3\n") << delay;
    }
    // A killed export leaves its destination whole or untouched.
    const std::string reference = dir.file("reference.csv"), destination = dir.file("export.csv");
    ASSERT_EQ(cli({"export", dump, "big", reference}, root).exit_code, 0);
    const std::string expected = kv::test::read_file(reference);
    for (int delay : {30, 150, 400, 900}) {
        kv::test::write_file(destination, "OLD");
        cli({"export", dump, "big", destination}, root, delay);
        const std::string now = kv::test::read_file(destination);
        EXPECT_TRUE(now == "OLD" || now == expected) << delay << ": " << now.size() << " bytes";
    }
}

// The adversarial dumps are small but for the 100 MiB one, which is written in pieces: the
// test process must stay small, since a forked child starts with the parent's resident pages
// counted in its peak.
TEST(MemoryBound, AdversarialImportsStayUnder64MiB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "resident memory under AddressSanitizer includes its shadow memory";
#endif
    kv::test::TempDir dir;
    const std::string path = dir.file("adversarial.sql");
    std::string columns = "`c0` int", values = "'" + std::string(40, 'v') + "'", objects;
    for (int c = 1; c < 4096; ++c) {
        columns += ",`c" + std::to_string(c) + "` int";
        values += ",'" + std::string(40, 'v') + "'";
    }
    for (int i = 0; i < 65536; ++i) {
        objects += "CREATE TABLE `t" + std::to_string(i) + "` (`a` int);\n";
    }
    const std::string t(8191, 't');
    std::string rows;  // 1 MiB of the shortest joined tuples: helper threads fill their slots
    while (rows.size() < (1u << 20)) rows += ",(1)";
    // name, then head, a 1 MiB piece of 'x' repeated (of rows, for the rows), and tail; the
    // import runs with the most helper threads
    const std::vector<std::tuple<const char*, std::string, int, std::string>> dumps = {
        {"4,096 columns",
         "CREATE TABLE `w` (" + columns + ");\nINSERT INTO `w` VALUES (" + values + ");\n", 0, ""},
        {"4,096 nesting levels", "CREATE TABLE `d` (`a` text);\nINSERT INTO `d` VALUES (" +
         std::string(4095, '(') + "1" + std::string(4095, ')') + ");\n", 0, ""},
        {"100 MiB string in a 100 MiB tuple",
         "CREATE TABLE `h` (`a` longtext);\nINSERT INTO `h` VALUES ('", 100, "'),(1);\n"},
        {"8,191-byte tokens", "CREATE TABLE `" + t + "` (`" + std::string(8191, 'c') +
         "` int);\nINSERT INTO `" + t +
         "` VALUES (1);\n", 0, ""},
        {"65,536 objects", objects, 0, ""},
        {"64 MiB of 4-byte tuples", "CREATE TABLE `r` (`a` int);\nINSERT INTO `r` VALUES (0)", 64,
         ";\n"},
    };
    for (const auto& [name, head, pieces, tail] : dumps) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << head;
            const std::string piece = head.find("`r`") != std::string::npos ? rows
                                                                           : std::string(1u << 20, 'x');
            for (int i = 0; i < pieces; ++i) out << piece;
            out << tail;
        }
        auto program = kv::test::start_program(
            KV_CLI_PATH,
            {"--reindex", "--threads", "8", "open", path, "--cache-root", dir.file("cache")});
        int status = 0;
        struct rusage usage {};
        ::wait4(program.pid, &status, 0, &usage);
        program.pid = -1;
        kv::test::wait_program(program);  // collects and removes the output files
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << name;
        EXPECT_LT(usage.ru_maxrss, 64 * 1024) << name;
        std::printf("peak resident memory, %s: %.1f MiB\n", name, usage.ru_maxrss / 1024.0);
    }
}
#endif
