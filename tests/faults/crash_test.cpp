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
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

using kv::test::ProgramResult;
using kv::test::read_file;
using kv::test::TempDir;
using kv::test::write_file;

namespace {

constexpr std::uint64_t BIG_ROWS = 1200000;

// About 100 MB: one table in extended INSERTs of about 1 MiB, text with escapes and NULLs.
void write_big_dump(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "CREATE TABLE `big` (`id` int, `name` varchar(64), `note` text);\n";
    std::string statement;
    for (std::uint64_t i = 0; i < BIG_ROWS; ++i) {
        if (statement.empty()) statement = "INSERT INTO `big` VALUES ";
        else statement += ',';
        statement += "(" + std::to_string(i) + ",'Zeile \\'" + std::to_string(i % 1000) +
                     "\\' Grüße'," + (i % 7 == 0 ? "NULL" : "'Lorem ipsum dolor sit amet, x'") +
                     ")";
        if (statement.size() > 1000000 || i + 1 == BIG_ROWS) {
            out << statement << ";\n";
            statement.clear();
        }
    }
}

std::vector<std::string> cli_args(std::initializer_list<std::string> args, const std::string& root) {
    std::vector<std::string> out(args);
    out.push_back("--cache-root");
    out.push_back(root);
    return out;
}

// Starts the program, kills it after delay_ms (if still running), and reaps it.
void run_and_kill(const std::vector<std::string>& args, int delay_ms) {
    auto program = kv::test::start_program(KV_CLI_PATH, args);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    ::kill(program.pid, SIGKILL);
    kv::test::wait_program(program);
}

}  // namespace

TEST(Crash, KilledImportLeavesACacheThatLoadsWholeOrIsRebuilt) {
    TempDir dir;
    std::string dump = dir.file("big.sql");
    write_big_dump(dump);
    std::string root = dir.file("cache");
    const std::string complete = "Einträge";
    for (int delay : {5, 40, 120, 300, 700}) {
        run_and_kill(cli_args({"--reindex", "open", dump}, root), delay);
        ProgramResult next = kv::test::run_program(KV_CLI_PATH, cli_args({"objects", dump}, root));
        ASSERT_EQ(next.exit_code, 0) << delay << ": " << next.err;
        EXPECT_EQ(next.out, "0\ttable\tdump\tbig\t" + std::to_string(BIG_ROWS) + "\t3\n") << delay;
    }
}

TEST(Crash, KilledExportLeavesTheDestinationWholeOrUntouched) {
    TempDir dir;
    std::string dump = dir.file("big.sql");
    write_big_dump(dump);
    std::string root = dir.file("cache");
    std::string reference = dir.file("reference.csv");
    ProgramResult first =
        kv::test::run_program(KV_CLI_PATH, cli_args({"export", dump, "big", reference}, root));
    ASSERT_EQ(first.exit_code, 0) << first.err;
    const std::string expected = read_file(reference);
    std::string destination = dir.file("export.csv");
    for (int delay : {30, 150, 400, 900}) {
        write_file(destination, "OLD");
        run_and_kill(cli_args({"export", dump, "big", destination}, root), delay);
        std::string now = read_file(destination);
        EXPECT_TRUE(now == "OLD" || now == expected) << delay << ": " << now.size() << " bytes";
    }
}

// Peak resident memory (KiB) of one korvane-dump run, with its exit code.
long peak_rss_kib(const std::vector<std::string>& args, int& exit_code) {
    auto program = kv::test::start_program(KV_CLI_PATH, args);
    int status = 0;
    struct rusage usage {};
    ::wait4(program.pid, &status, 0, &usage);
    program.pid = -1;
    kv::test::wait_program(program);  // collects and removes the output files
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return usage.ru_maxrss;
}

// Writes each adversarial dump straight to its file: the test process must stay small, since a
// forked child starts with the parent's resident pages counted in its peak.
void write_adversarial(const std::string& path, int which) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    switch (which) {
        case 0:  // 4,096 columns, each value 40 bytes
            out << "CREATE TABLE `w` (";
            for (int c = 0; c < 4096; ++c) out << (c ? ",`c" : "`c") << c << "` int";
            out << ");\nINSERT INTO `w` VALUES (";
            for (int c = 0; c < 4096; ++c) out << (c ? ",'" : "'") << std::string(40, 'v') << "'";
            out << ");\n";
            break;
        case 1:  // 4,096 nesting levels: the tuple and 4,095 inside it
            out << "CREATE TABLE `d` (`a` text);\nINSERT INTO `d` VALUES (" << std::string(4095, '(')
                << "1" << std::string(4095, ')') << ");\n";
            break;
        case 2: {  // a 100 MiB string in a 100 MiB tuple, written in 1 MiB pieces
            out << "CREATE TABLE `h` (`a` longtext);\nINSERT INTO `h` VALUES ('";
            std::string piece(1u << 20, 'x');
            for (int i = 0; i < 100; ++i) out << piece;
            out << "'),(1);\n";
            break;
        }
        case 3:  // tokens of 8,191 bytes
            out << "CREATE TABLE `" << std::string(8191, 't') << "` (`" << std::string(8191, 'c')
                << "` int);\nINSERT INTO `" << std::string(8191, 't') << "` VALUES (1);\n";
            break;
        default:  // 65,536 schema objects, the most a dump may hold
            for (int i = 0; i < 65536; ++i) out << "CREATE TABLE `t" << i << "` (`a` int);\n";
            break;
    }
}

TEST(MemoryBound, AdversarialImportsStayUnder64MiB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "resident memory under AddressSanitizer includes its shadow memory";
#endif
    TempDir dir;
    const char* const names[] = {"4,096 columns", "4,096 nesting levels",
                                 "100 MiB string in a 100 MiB tuple", "8,191-byte tokens",
                                 "65,536 objects"};
    for (int which = 0; which < 5; ++which) {
        std::string path = dir.file("adversarial.sql");
        write_adversarial(path, which);
        int exit_code = -1;
        long kib = peak_rss_kib(cli_args({"--reindex", "open", path}, dir.file("cache")), exit_code);
        EXPECT_EQ(exit_code, 0) << names[which];
        EXPECT_LT(kib, 64 * 1024) << names[which];
        std::printf("peak resident memory, %s: %.1f MiB\n", names[which], kib / 1024.0);
    }
}
#endif
