// Opening a dump: refusals, the cache key and folder, the session lock, the cache root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cache/dump_open.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#endif

using namespace kv;
using kv::test::TempDir;
using kv::test::write_file;

namespace {
// Reference key, computed the long way: the first and the last 64 KiB (overlapping), then the
// path, the size and the time as 8 little-endian bytes each.
std::string reference_folder(const std::string& path, const std::string& content,
                             std::uint64_t time, std::uint64_t& fingerprint) {
    const std::size_t sample = std::min<std::size_t>(content.size(), 65536);
    std::uint64_t h = fnv1a64_seeded(content.data(), sample, 0);
    if (content.size() > 65536) h = fnv1a64_seeded(content.data() + content.size() - 65536, 65536, h);
    fingerprint = h;
    h = fnv1a64_seeded(path.data(), path.size(), h);
    for (std::uint64_t v : {std::uint64_t{content.size()}, time}) {
        for (int i = 0; i < 8; ++i) h = fnv1a64_seeded(reinterpret_cast<char*>(&v) + i, 1, h);
    }
    char name[24];
    std::snprintf(name, sizeof name, "/%016llx", static_cast<unsigned long long>(h));
    return name;
}
const char* const LOCK_MESSAGE =
    "Dieser Dump-Cache ist bereits in einer anderen Instanz geöffnet, oder der Cache-Ordner ist "
    "nicht beschreibbar.";
}  // namespace

TEST(DumpOpen, RefusesCompressedUtf16MissingAndUncreatableWithExactMessages) {
    EXPECT_EQ(fnv1a64_seeded("foobar", 6, 0), 0x85944171f73967e8ULL);  // published test value
    EXPECT_EQ(fnv1a64_seeded("bar", 3, fnv1a64_seeded("foo", 3, 0)), 0x85944171f73967e8ULL);
    TempDir dir;
    const std::string compressed =
        "Komprimierter Dump: Bitte .gz / .zip zunächst entpacken und die .sql-Datei öffnen.";
    const std::string utf16 =
        "UTF-16/UTF-32 wird nicht unterstützt. Bitte den Dump zunächst als UTF-8 speichern.";
    const std::pair<std::string, std::string> cases[] = {  // "" = accepted
        {std::string("\x1F\x8B\x08\x00", 4), compressed}, {"PK\x03\x04", compressed},
        {"\xFE\xFF\x00I", utf16}, {"\xFF\xFE" "I\x00", utf16},
        {std::string("\xFF\xFE\x00\x00", 4), utf16},  // UTF-32 LE starts alike
        {std::string("\x00\x00\xFE\xFF", 4), ""}, {"\xEF\xBB\xBF-- UTF-8 with BOM\n", ""},
        {"\x1F", ""}, {"", ""}};  // one byte: no signature check
    for (const auto& [bytes, message] : cases) {
        write_file(dir.file("dump.sql"), bytes);
        DumpState state;
        EXPECT_EQ(dump_open(state, dir.file("dump.sql"), dir.file("cache")), message.empty());
        EXPECT_EQ(state.message, message);
    }
    DumpState missing, blocked;
    EXPECT_FALSE(dump_open(missing, dir.file("missing.sql"), dir.file("cache")));
    EXPECT_STREQ(missing.message, "Die Dump-Datei kann nicht schreibgeschützt geöffnet werden.");
    EXPECT_FALSE(dump_open(blocked, dir.file("dump.sql"), dir.file("dump.sql")));
    EXPECT_STREQ(blocked.message,
                 "Der lokale Cache-Ordner kann nicht angelegt werden. Schreibrechte und freien "
                 "Platz prüfen.");
}

// Sizes around the 64 KiB sample, two spellings of one path.
TEST(DumpOpen, KeyCoversSamplesPathSizeAndTime) {
    TempDir dir;
    const std::string root = dir.file("cache");
    for (std::size_t size : {0, 1, 65536, 65537, 200000}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 23);
        write_file(dir.file("dump.sql"), content);
        for (const std::string& path : {dir.file("dump.sql"), dir.str() + "/./dump.sql"}) {
            DumpState state;
            ASSERT_TRUE(dump_open(state, path, root)) << state.message;
            std::uint64_t fingerprint = 0;
            EXPECT_EQ(state.cache_folder, root + reference_folder(path, content, state.dump_time, fingerprint));
            EXPECT_EQ(state.fingerprint, fingerprint);
            EXPECT_EQ(state.dump_size, size);
            EXPECT_EQ(state.dump_path, path);
            EXPECT_TRUE(test::file_exists(state.cache_folder));
        }
    }
}

// Runs only in a child process: a second instance opening the same dump.
TEST(CacheLockChild, SecondInstanceIsRefused) {
    const std::string request = env_get("KV_TEST_CACHE_LOCK_DUMP");
    if (request.empty()) GTEST_SKIP() << "child helper";
    DumpState state;
    ASSERT_TRUE(dump_open(state, request.substr(0, request.find('|')),
                          request.substr(request.find('|') + 1)));
    EXPECT_EQ(cache_lock(state), INVALID_FILE);
    EXPECT_STREQ(state.message, LOCK_MESSAGE);
}

TEST(CacheLock, SecondInstanceRefusedFirstKeepsWorking) {
    TempDir dir;
    const std::string root = dir.file("cache"), dump = dir.file("dump.sql");
    write_file(dump, "SELECT 1;");
    DumpState first, second;
    ASSERT_TRUE(dump_open(first, dump, root) && dump_open(second, dump, root));
    FileGuard lock(cache_lock(first));
    ASSERT_TRUE(lock.valid()) << first.message;
    EXPECT_EQ(cache_lock(second), INVALID_FILE);
    EXPECT_STREQ(second.message, LOCK_MESSAGE);
    EXPECT_EQ(test::run_test_in_child("CacheLockChild.SecondInstanceIsRefused",
                                      "KV_TEST_CACHE_LOCK_DUMP", dump + "|" + root), 0);
    lock.reset();  // the lock file stays; releasing the handle frees the cache
    EXPECT_TRUE(test::file_exists(first.cache_folder + "/session.lock"));
    FileGuard again(cache_lock(second));
    EXPECT_TRUE(again.valid());
#if defined(_WIN32)
    EXPECT_EQ(file_open(dump, FILE_MODE_CREATE), INVALID_FILE);  // the open dump is held
    dump_state_destroy(first);
    dump_state_destroy(second);
    FileGuard writer(file_open(dump, FILE_MODE_APPEND));
    EXPECT_TRUE(writer.valid());
#endif
}

#if !defined(_WIN32)
TEST(CacheRoot, PosixPrecedenceAndEveryLevelCreated) {
    const char* names[] = {"LOCALAPPDATA", "XDG_CACHE_HOME", "HOME", "TMPDIR"};
    std::string saved[4];
    for (int i = 0; i < 4; ++i) saved[i] = env_get(names[i]);
    ::setenv("LOCALAPPDATA", "/data/local", 1);
    ::setenv("XDG_CACHE_HOME", "/xdg/", 1);
    ::setenv("HOME", "/home/u", 1);
    ::setenv("TMPDIR", "/scratch", 1);
    std::string roots;
    for (int i = 0; i < 4; ++i) {
        roots += cache_root_path() + ";";
        ::unsetenv(names[i]);
    }
    for (int i = 0; i < 4; ++i) {
        if (!saved[i].empty()) ::setenv(names[i], saved[i].c_str(), 1);
    }
    EXPECT_EQ(roots, "/data/local/Kor-Vane/DumpBrowser/Cache;/xdg/Kor-Vane/DumpBrowser/Cache;"
                     "/home/u/.cache/Kor-Vane/DumpBrowser/Cache;/scratch/Kor-Vane/DumpBrowser/Cache;");
    TempDir dir;
    const std::string root = dir.file(".cache/Kor-Vane/DumpBrowser/Cache");
    EXPECT_TRUE(cache_root_ensure(root) && cache_root_ensure(root));
    EXPECT_TRUE(test::file_exists(root));
    write_file(dir.file("blocked"), "x");
    EXPECT_FALSE(cache_root_ensure(dir.file("blocked/Kor-Vane/DumpBrowser/Cache")));
}
#endif
