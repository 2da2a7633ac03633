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
#include <functional>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

using kv::test::read_file;

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
kv::test::ProgramResult cli(std::vector<std::string> args, const std::string& root, int kill_ms = -1) {
    args.insert(args.end(), {"--cache-root", root});
    if (kill_ms < 0) return kv::test::run_program(KV_CLI_PATH, args);
    auto program = kv::test::start_program(KV_CLI_PATH, args);
    std::this_thread::sleep_for(std::chrono::milliseconds(kill_ms));
    ::kill(program.pid, SIGKILL);
    return kv::test::wait_program(program);
}

}  // namespace

TEST(Crash, KilledImportLeavesACacheThatLoadsWholeOrIsRebuilt) {
    kv::test::TempDir dir;
    const std::string dump = big_dump(dir), root = dir.file("cache");
    for (int delay : {5, 40, 120, 300, 700}) {
        cli({"--reindex", "open", dump}, root, delay);
        kv::test::ProgramResult next = cli({"objects", dump}, root);
        ASSERT_EQ(next.exit_code, 0) << delay << ": " << next.err;
        EXPECT_EQ(next.out, "0\ttable\tdump\tbig\t" + std::to_string(BIG_ROWS) + "\t3\n") << delay;
    }
}

TEST(Crash, KilledExportLeavesTheDestinationWholeOrUntouched) {
    kv::test::TempDir dir;
    const std::string dump = big_dump(dir), root = dir.file("cache");
    const std::string reference = dir.file("reference.csv"), destination = dir.file("export.csv");
    ASSERT_EQ(cli({"export", dump, "big", reference}, root).exit_code, 0);
    const std::string expected = read_file(reference);
    for (int delay : {30, 150, 400, 900}) {
        kv::test::write_file(destination, "OLD");
        cli({"export", dump, "big", destination}, root, delay);
        const std::string now = read_file(destination);
        EXPECT_TRUE(now == "OLD" || now == expected) << delay << ": " << now.size() << " bytes";
    }
}

// Each adversarial dump is written straight to its file: the test process must stay small,
// since a forked child starts with the parent's resident pages counted in its peak.
TEST(MemoryBound, AdversarialImportsStayUnder64MiB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "resident memory under AddressSanitizer includes its shadow memory";
#endif
    kv::test::TempDir dir;
    const std::string path = dir.file("adversarial.sql");
    const std::string t(8191, 't');
    const std::vector<std::pair<const char*, std::function<void(std::ofstream&)>>> dumps = {
        {"4,096 columns", [](std::ofstream& out) {
             out << "CREATE TABLE `w` (";
             for (int c = 0; c < 4096; ++c) out << (c ? ",`c" : "`c") << c << "` int";
             out << ");\nINSERT INTO `w` VALUES (";
             for (int c = 0; c < 4096; ++c) out << (c ? ",'" : "'") << std::string(40, 'v') << "'";
             out << ");\n";
         }},
        {"4,096 nesting levels", [](std::ofstream& out) {
             out << "CREATE TABLE `d` (`a` text);\nINSERT INTO `d` VALUES (" << std::string(4095, '(')
                 << "1" << std::string(4095, ')') << ");\n";
         }},
        {"100 MiB string in a 100 MiB tuple", [](std::ofstream& out) {
             const std::string piece(1u << 20, 'x');
             out << "CREATE TABLE `h` (`a` longtext);\nINSERT INTO `h` VALUES ('";
             for (int i = 0; i < 100; ++i) out << piece;
             out << "'),(1);\n";
         }},
        {"8,191-byte tokens", [&](std::ofstream& out) {
             out << "CREATE TABLE `" << t << "` (`" << std::string(8191, 'c') << "` int);\nINSERT INTO `"
                 << t << "` VALUES (1);\n";
         }},
        {"65,536 objects", [](std::ofstream& out) {
             for (int i = 0; i < 65536; ++i) out << "CREATE TABLE `t" << i << "` (`a` int);\n";
         }},
    };
    for (const auto& [name, write] : dumps) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            write(out);
        }
        auto program = kv::test::start_program(
            KV_CLI_PATH, {"--reindex", "open", path, "--cache-root", dir.file("cache")});
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
