// korvane-dump end to end: the built program runs every command of tests/data/cli/commands.txt;
// its transcript (exit code, output, errors and the files shown) must equal transcript.out
// there (KV_UPDATE_GOLDEN=1 rewrites it; times in SQL scripts read $TIME). An interrupt must cancel a long import cleanly.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "cli/cli_args.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"

using namespace kv::test;

static void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

TEST(Cli, TranscriptOfEveryCommand) {
    TempDir dir;
    std::filesystem::copy(fs_path(data_file("cli")), dir.path());
#if defined(_WIN32)
    std::filesystem::create_directory(fs_path(dir.file("fifo.sql")));
#else
    Fifo fifo(dir.file("fifo.sql"));
#endif
    std::istringstream commands(read_file(data_file("cli/commands.txt")));
    std::string transcript, line;
    while (std::getline(commands, line)) {
        const bool comment = line.empty() || line[0] == '#';
        transcript += (comment ? "" : "$ ") + line + "\n";
        if (comment) continue;
        if (line.find("$CACHE") != std::string::npos) {  // by then the one cache folder there
            auto folder = std::filesystem::directory_iterator(fs_path(dir.file("cache")))->path().filename();
            replace_all(line, "$CACHE", "$DIR/cache/" + folder.generic_string());
        }
        replace_all(line, "$DIR", dir.str());
       std::vector<std::string> args; std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) args.push_back(field);
        if (line.back() == '\t') args.push_back("");
        if (args[0] == "@cat")
            transcript += file_exists(args[1]) ? read_file(args[1]) + "\n" : "(keine Datei)\n";
        else if (args[0] == "@copy") write_file(args[2], read_file(data_file("cli/" + args[1])));
        else {
            if (args[0] == "(none)") args.clear();
            else if (line.find("--cache-root") == std::string::npos)
                args.insert(args.end(), {"--cache-root", dir.file("cache")});
            ProgramResult r = run_program(KV_CLI_PATH, args);
            transcript += "[" + std::to_string(r.exit_code) + "]\n" + r.out + "--- stderr\n" + r.err;
        }
    }
    replace_all(transcript, dir.str(), "$DIR");
    // The times in an SQL script's header (the copy's modification time, the time of writing).
    transcript = std::regex_replace(transcript, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC)"),
                                    "$$TIME");
    const std::string golden = data_file("cli/transcript.out");
    if (!kv::env_get("KV_UPDATE_GOLDEN").empty()) write_file(golden, transcript);
    EXPECT_EQ(transcript, read_file(golden));
}

// search: TEXT, --op contains|equals and --limit; its refusals, and --limit elsewhere.
TEST(Cli, SearchArguments) {
    const struct {
        std::vector<std::string> args;
        const char* parsed;  // "op|text|limit" or the error
    } cases[] = {
        {{"search", "d.sql", "Köln"}, "0|Köln|18446744073709551615"},
        {{"--limit", "0", "search", "d.sql", "--op", "equals", "-x"}, "1|-x|0"},
        {{"search", "d.sql", "x", "--op", "is-null"}, "Die Suche nimmt nur --op contains|equals und --limit."},
        {{"search", "d.sql", "x", "--column", "ort"}, "Die Suche nimmt nur --op contains|equals und --limit."},
        {{"search", "d.sql", "x", "--limit", "viele"}, "--limit erwartet eine Zahl: viele"},
        {{"search", "d.sql"}, "Falsche Anzahl Argumente für 'search'."},
        {{"filter", "d.sql", "t", "--limit", "1"}, "--limit gilt nur für 'search'."},
    };
    for (const auto& c : cases) {
        kv::CliOptions o;
        std::string error;
        const bool ok = kv::cli_parse(c.args, o, error);
        EXPECT_EQ(ok ? std::to_string(static_cast<int>(o.filter.op)) + "|" + o.filter.text + "|" +
                           std::to_string(o.limit)
                     : error,
                  c.parsed);
    }
}

// --charset takes every character set of the one list by its name and by its MySQL name, and
// the usage text lists them all, in the list's order; other names are refused.
TEST(Cli, EveryCharsetNameParses) {
    std::string usage = kv::cli_usage(), error;
    std::size_t at = usage.find("--charset (");
    ASSERT_NE(at, std::string::npos);
    for (const kv::CharsetInfo& c : kv::CHARSETS) {
        for (const char* name : {c.name, c.mysql_name}) {
            kv::CliOptions options;
            options.charset = static_cast<kv::Charset>(99);
            EXPECT_TRUE(kv::cli_parse({"open", "d.sql", "--charset", name}, options, error)) << name;
            EXPECT_EQ(options.charset, c.charset) << name;
        }
        // Its line: the name, blanks, the MySQL name.
        const std::size_t next = usage.find("\n  " + std::string(c.name) + " ", at);
        ASSERT_NE(next, std::string::npos) << c.name << " missing or out of order";
        std::istringstream line(usage.substr(next + 1, usage.find('\n', next + 1) - next - 1));
        std::string name, mysql_name, rest;
        line >> name >> mysql_name >> rest;
        EXPECT_EQ(name + "|" + mysql_name + "|" + rest, std::string(c.name) + "|" + c.mysql_name + "|");
        at = next + 1;
    }
    for (const char* name : {"", "ebcdic", "Windows-1251", "cp1251 ", "iso-8859-5", "koi8-u"}) {
        kv::CliOptions options;
        EXPECT_FALSE(kv::cli_parse({"open", "d.sql", "--charset", name}, options, error)) << name;
        EXPECT_EQ(error, "Unbekannter Zeichensatz: " + std::string(name));
    }
}

#if !defined(_WIN32)
TEST(Cli, InterruptCancelsTheImportAndLeavesNoManifest) {
    // A dump of 8 GiB that costs no disk space: a header, then a hole of zero bytes.
    TempDir dir;
    const std::string big = dir.file("big.sql");
    write_file(big, "CREATE TABLE `t` (`a` int);\n-- ");
    ASSERT_EQ(::truncate(big.c_str(), 8LL << 30), 0);
    auto program = start_program(KV_CLI_PATH, {"open", big, "--cache-root", dir.file("cache")});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(program.pid, SIGINT);
    ProgramResult r = wait_program(program);
    EXPECT_EQ(std::to_string(r.exit_code) + " " + r.err, "130 Vorgang abgebrochen.\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.file("cache")))
        EXPECT_NE(entry.path().filename(), "manifest.kvd");
}

// Ctrl+C during an extract (a tuple of 1 GiB, most of it a hole that costs no disk space) ends
// with 130 and leaves neither the destination nor a temporary file.
TEST(Cli, InterruptCancelsTheExtractAndLeavesNoDestination) {
    TempDir dir;
    const std::string big = dir.file("big.sql");
    write_file(big, "CREATE TABLE `t` (`a` text);\nINSERT INTO `t` VALUES ('");
    ASSERT_EQ(::truncate(big.c_str(), 1LL << 30), 0);
    {
        std::ofstream tail(big, std::ios::binary | std::ios::app);
        tail << "');\n";
    }
    const std::vector<std::string> cache = {"--cache-root", dir.file("cache")};
    ASSERT_EQ(run_program(KV_CLI_PATH, {"open", big, cache[0], cache[1]}).exit_code, 0);
    auto program =
        start_program(KV_CLI_PATH, {"extract", big, "t", dir.file("t.sql"), cache[0], cache[1]});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(program.pid, SIGINT);
    ProgramResult r = wait_program(program);
    EXPECT_EQ(std::to_string(r.exit_code) + " " + r.err, "130 Vorgang abgebrochen.\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("t.sql"), std::string::npos);
}

// Ctrl+C during a search (40 tuples of 60 MiB, holes that cost no disk space, each decoded
// whole) ends with 130 and leaves no hit file in the cache folder.
TEST(Cli, InterruptCancelsTheSearchAndLeavesNoHitFile) {
    TempDir dir;
    const std::string big = dir.file("big.sql");
    write_file(big, "CREATE TABLE `t` (`a` longtext);\nINSERT INTO `t` VALUES ");
    for (int i = 0; i < 40; ++i) {
        std::ofstream(big, std::ios::binary | std::ios::app) << (i ? ",('" : "('");
        std::filesystem::resize_file(fs_path(big), std::filesystem::file_size(fs_path(big)) + (60 << 20));
        std::ofstream(big, std::ios::binary | std::ios::app) << "')";
    }
    std::ofstream(big, std::ios::binary | std::ios::app) << ";\n";
    const std::vector<std::string> cache = {"--cache-root", dir.file("cache")};
    ASSERT_EQ(run_program(KV_CLI_PATH, {"open", big, cache[0], cache[1]}).exit_code, 0);
    auto program = start_program(KV_CLI_PATH, {"search", big, "x", cache[0], cache[1]});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(program.pid, SIGINT);
    ProgramResult r = wait_program(program);
    EXPECT_EQ(std::to_string(r.exit_code) + " " + r.err, "130 Vorgang abgebrochen.\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.file("cache")))
        EXPECT_NE(entry.path().extension(), ".kvs") << entry.path();
}
#endif
