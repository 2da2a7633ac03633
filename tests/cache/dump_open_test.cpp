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

std::string hex16(std::uint64_t v) {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(v));
    return buffer;
}

// Reference key, computed the long way from the bytes of the file.
std::uint64_t reference_key(const std::string& path, const std::string& content,
                            std::uint64_t time) {
    std::uint64_t h = fnv1a64_seeded(content.data(), std::min<std::size_t>(content.size(), 65536), 0);
    if (content.size() > 65536) {
        h = fnv1a64_seeded(content.data() + content.size() - 65536, 65536, h);
    }
    h = fnv1a64_seeded(path.data(), path.size(), h);
    unsigned char le[8];
    std::uint64_t size = content.size();
    for (int i = 0; i < 8; ++i) le[i] = static_cast<unsigned char>(size >> (8 * i));
    h = fnv1a64_seeded(le, 8, h);
    for (int i = 0; i < 8; ++i) le[i] = static_cast<unsigned char>(time >> (8 * i));
    return fnv1a64_seeded(le, 8, h);
}

struct Opened {
    DumpState state;
    bool ok = false;
};

}  // namespace

TEST(Fnv1a64, KnownValues) {
    EXPECT_EQ(fnv1a64_seeded("", 0, 0), 0xcbf29ce484222325ULL);
    EXPECT_EQ(fnv1a64_seeded("a", 1, 0), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(fnv1a64_seeded("foobar", 6, 0), 0x85944171f73967e8ULL);
    // Seeding continues a hash: two segments equal one.
    EXPECT_EQ(fnv1a64_seeded("bar", 3, fnv1a64_seeded("foo", 3, 0)), 0x85944171f73967e8ULL);
    EXPECT_EQ(fnv1a64_seeded("", 0, 12345), 12345u);
}

TEST(DumpOpen, RefusesCompressedAndUtf16WithExactMessages) {
    TempDir dir;
    const std::string compressed =
        "Komprimierter Dump: Bitte .gz / .zip zunächst entpacken und die .sql-Datei öffnen.";
    const std::string utf16 =
        "UTF-16/UTF-32 wird nicht unterstützt. Bitte den Dump zunächst als UTF-8 speichern.";
    struct Case {
        std::string bytes;
        std::string message;  // "" = accepted
    } cases[] = {
        {std::string("\x1F\x8B\x08\x00", 4), compressed},
        {"PK\x03\x04", compressed},
        {"\xFE\xFF\x00I", utf16},
        {"\xFF\xFE" "I\x00", utf16},
        {std::string("\xFF\xFE\x00\x00", 4), utf16},  // UTF-32 LE starts alike
        {std::string("\x00\x00\xFE\xFF", 4), ""},
        {"\xEF\xBB\xBF-- UTF-8 with byte-order mark\n", ""},
        {"\x1F", ""},  // one byte: no signature check
        {"", ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string path = dir.file("dump" + std::to_string(n++) + ".sql");
        write_file(path, c.bytes);
        DumpState state;
        bool ok = dump_open(state, path, dir.file("cache"));
        if (c.message.empty()) {
            EXPECT_TRUE(ok) << state.message;
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(std::string(state.message), c.message);
        }
    }
}

TEST(DumpOpen, MissingDumpAndUncreatableCache) {
    TempDir dir;
    DumpState state;
    EXPECT_FALSE(dump_open(state, dir.file("missing.sql"), dir.file("cache")));
    EXPECT_STREQ(state.message, "Die Dump-Datei kann nicht schreibgeschützt geöffnet werden.");

    write_file(dir.file("dump.sql"), "SELECT 1;");
    write_file(dir.file("not-a-folder"), "x");
    DumpState blocked;
    EXPECT_FALSE(dump_open(blocked, dir.file("dump.sql"), dir.file("not-a-folder")));
    EXPECT_STREQ(blocked.message,
                 "Der lokale Cache-Ordner kann nicht angelegt werden. Schreibrechte und freien "
                 "Platz prüfen.");
}

TEST(DumpOpen, KeyCoversSamplesPathSizeAndTime) {
    TempDir dir;
    std::string root = dir.file("cache");
    // Sizes around the 64 KiB sample: hashed once up to 65,536 bytes, twice (overlapping) above.
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536},
                             std::size_t{65537}, std::size_t{200000}}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 23);
        std::string path = dir.file("d" + std::to_string(size) + ".sql");
        write_file(path, content);
        DumpState state;
        ASSERT_TRUE(dump_open(state, path, root)) << state.message;
        EXPECT_EQ(state.dump_size, size);
        EXPECT_EQ(state.dump_path, path);
        std::uint64_t key = reference_key(path, content, state.dump_time);
        EXPECT_EQ(state.cache_folder, root + "/" + hex16(key)) << size;
        EXPECT_TRUE(test::file_exists(state.cache_folder));
        std::uint64_t head = fnv1a64_seeded(content.data(), std::min<std::size_t>(size, 65536), 0);
        if (size <= 65536) {
            EXPECT_EQ(state.fingerprint, head);
        } else {
            EXPECT_EQ(state.fingerprint,
                      fnv1a64_seeded(content.data() + size - 65536, 65536, head));
        }
    }
}

TEST(DumpOpen, AnotherPathOrAnotherTimeGivesAnotherFolder) {
    TempDir dir;
    std::string root = dir.file("cache");
    write_file(dir.file("dump.sql"), "CREATE TABLE t (a int);");
    DumpState first, second, same;
    ASSERT_TRUE(dump_open(first, dir.file("dump.sql"), root));
    ASSERT_TRUE(dump_open(second, dir.str() + "/./dump.sql", root));
    ASSERT_TRUE(dump_open(same, dir.file("dump.sql"), root));
    EXPECT_NE(first.cache_folder, second.cache_folder);
    EXPECT_EQ(first.cache_folder, same.cache_folder);
    EXPECT_EQ(first.fingerprint, second.fingerprint);
#if !defined(_WIN32)
    // Touching the dump: new time, new key. (Windows holds the dump against writers.)
    struct timespec times[2] = {{2000000000, 0}, {2000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("dump.sql").c_str(), times, 0), 0);
    DumpState touched;
    ASSERT_TRUE(dump_open(touched, dir.file("dump.sql"), root));
    EXPECT_NE(touched.cache_folder, first.cache_folder);
    EXPECT_EQ(touched.dump_time, filetime_from_unix(2000000000, 0));
#endif
}

namespace {
constexpr const char* LOCK_DUMP_VARIABLE = "KV_TEST_CACHE_LOCK_DUMP";
const char* const LOCK_MESSAGE =
    "Dieser Dump-Cache ist bereits in einer anderen Instanz geöffnet, oder der Cache-Ordner ist "
    "nicht beschreibbar.";
}  // namespace

// Runs only in a child process: a second instance opening the same dump.
TEST(CacheLockChild, SecondInstanceIsRefused) {
    std::string request = env_get(LOCK_DUMP_VARIABLE);
    if (request.empty()) GTEST_SKIP() << "child helper";
    auto bar = request.find('|');
    DumpState state;
    ASSERT_TRUE(dump_open(state, request.substr(0, bar), request.substr(bar + 1)));
    EXPECT_EQ(cache_lock(state), INVALID_FILE);
    EXPECT_STREQ(state.message, LOCK_MESSAGE);
}

TEST(CacheLock, SecondInstanceRefusedFirstKeepsWorking) {
    TempDir dir;
    std::string root = dir.file("cache");
    write_file(dir.file("dump.sql"), "SELECT 1;");
    DumpState first;
    ASSERT_TRUE(dump_open(first, dir.file("dump.sql"), root));
    FileGuard lock(cache_lock(first));
    ASSERT_TRUE(lock.valid()) << first.message;

    DumpState second;
    ASSERT_TRUE(dump_open(second, dir.file("dump.sql"), root));
    EXPECT_EQ(cache_lock(second), INVALID_FILE);
    EXPECT_STREQ(second.message, LOCK_MESSAGE);
    EXPECT_EQ(test::run_test_in_child("CacheLockChild.SecondInstanceIsRefused",
                                      LOCK_DUMP_VARIABLE, dir.file("dump.sql") + "|" + root),
              0);

    // The lock file stays; releasing the handle frees the cache.
    lock.reset();
    EXPECT_TRUE(test::file_exists(first.cache_folder + "/session.lock"));
    FileGuard again(cache_lock(second));
    EXPECT_TRUE(again.valid());
}

#if defined(_WIN32)
TEST(DumpOpen, HeldDumpIsProtectedAgainstWriters) {
    TempDir dir;
    write_file(dir.file("dump.sql"), "SELECT 1;");
    DumpState state;
    ASSERT_TRUE(dump_open(state, dir.file("dump.sql"), dir.file("cache")));
    EXPECT_EQ(file_open(dir.file("dump.sql"), FILE_MODE_CREATE), INVALID_FILE);
    FileGuard reader(file_open(dir.file("dump.sql"), FILE_MODE_READ));
    EXPECT_TRUE(reader.valid());
    reader.reset();
    dump_state_destroy(state);
    FileGuard writer(file_open(dir.file("dump.sql"), FILE_MODE_APPEND));
    EXPECT_TRUE(writer.valid());
}
#else
namespace {
// Sets an environment variable for one scope and restores it.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value) ::setenv(name, value, 1); else ::unsetenv(name);
    }
    ~EnvOverride() {
        if (had_) ::setenv(name_, old_.c_str(), 1); else ::unsetenv(name_);
    }
private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};
}  // namespace

TEST(CacheRoot, PosixPrecedence) {
    EnvOverride a("LOCALAPPDATA", "/data/local"), b("XDG_CACHE_HOME", "/xdg/"),
        c("HOME", "/home/u"), d("TMPDIR", "/scratch");
    EXPECT_EQ(cache_root_path(), "/data/local/Kor-Vane/DumpBrowser/Cache");
    {
        EnvOverride off("LOCALAPPDATA", nullptr);
        EXPECT_EQ(cache_root_path(), "/xdg/Kor-Vane/DumpBrowser/Cache");
        EnvOverride off2("XDG_CACHE_HOME", nullptr);
        EXPECT_EQ(cache_root_path(), "/home/u/.cache/Kor-Vane/DumpBrowser/Cache");
        EnvOverride off3("HOME", nullptr);
        EXPECT_EQ(cache_root_path(), "/scratch/Kor-Vane/DumpBrowser/Cache");
    }
}

TEST(CacheRoot, EnsureCreatesEveryLevel) {
    TempDir dir;
    std::string root = dir.file(".cache/Kor-Vane/DumpBrowser/Cache");
    ASSERT_TRUE(cache_root_ensure(root));
    EXPECT_TRUE(test::file_exists(root));
    EXPECT_TRUE(cache_root_ensure(root));
    write_file(dir.file("blocked"), "x");
    EXPECT_FALSE(cache_root_ensure(dir.file("blocked/Kor-Vane/DumpBrowser/Cache")));
}
#endif
