// The file layer on the running platform: modes, replace, folders, times, locks, share modes
// and (Windows) extended-length paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

#if defined(_WIN32)
#include <windows.h>

#include "foundation/file_win32.h"
#include "foundation/text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kv;
using kv::test::read_file;
using kv::test::TempDir;
using kv::test::write_file;

namespace {

std::string read_all(FileHandle h) {
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = file_read_some(h, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    return out;
}

}  // namespace

TEST(FileModes, CreateTruncatesAppendContinuesReadReadsBack) {
    TempDir dir;
    std::string path = dir.file("t000001.kvi");
    write_file(path, "old content that must go");

    FileGuard created(file_open(path, FILE_MODE_CREATE));
    ASSERT_TRUE(created.valid());
    ASSERT_TRUE(file_write_all(created.get(), "abc", 3));
    created.reset();
    EXPECT_EQ(read_file(path), "abc");

    FileGuard appended(file_open(path, FILE_MODE_APPEND));
    ASSERT_TRUE(appended.valid());
    ASSERT_TRUE(file_write_all(appended.get(), "def", 3));
    EXPECT_TRUE(file_write_all(appended.get(), "", 0));
    appended.reset();

    FileGuard read(file_open(path, FILE_MODE_READ));
    ASSERT_TRUE(read.valid());
    EXPECT_EQ(file_get_size(read.get()), 6u);
    ASSERT_TRUE(file_seek_to(read.get(), 2));
    EXPECT_EQ(read_all(read.get()), "cdef");
    // A read-mode handle cannot write.
    EXPECT_FALSE(file_write_all(read.get(), "x", 1));
}

TEST(FileModes, AppendCreatesMissingFileAndReadRefusesMissingFile) {
    TempDir dir;
    EXPECT_EQ(file_open(dir.file("missing"), FILE_MODE_READ), INVALID_FILE);
    FileGuard appended(file_open(dir.file("new"), FILE_MODE_APPEND));
    EXPECT_TRUE(appended.valid());
    EXPECT_EQ(file_open(dir.file("x"), 7), INVALID_FILE);
    file_close(INVALID_FILE);  // no-op
}

TEST(FileModes, OpeningAFolderFails) {
    TempDir dir;
    EXPECT_EQ(file_open(dir.str(), FILE_MODE_READ), INVALID_FILE);
    EXPECT_EQ(file_open(dir.str(), FILE_MODE_CREATE), INVALID_FILE);
}

// Reading opens regular files only; everything else is refused at once (a FIFO without a
// writer would otherwise block the open), and path_is_non_regular tells it apart from a
// missing file. path_regular_file_size answers for regular files alone.
TEST(FileModes, ReadRefusesAnythingButARegularFileAtOnce) {
    TempDir dir;
    write_file(dir.file("plain.sql"), "x");
#if !defined(_WIN32)
    kv::test::Fifo fifo(dir.file("fifo.sql"));
    ASSERT_TRUE(fifo.made());
#endif
    struct Case {
        std::string path;
        bool opens;
        bool irregular;
    } cases[] = {
        {dir.file("plain.sql"), true, false},
        {dir.file("missing.sql"), false, false},
        {dir.str(), false, true},
#if !defined(_WIN32)
        {fifo.path(), false, true},
        {"/dev/null", false, true},
#endif
    };
    for (const Case& c : cases) {
        FileGuard h(file_open(c.path, FILE_MODE_READ));
        EXPECT_EQ(h.valid(), c.opens) << c.path;
        EXPECT_EQ(path_is_non_regular(c.path), c.irregular) << c.path;
        std::uint64_t size = 7;
        EXPECT_EQ(path_regular_file_size(c.path, size), c.opens) << c.path;
        EXPECT_EQ(size, c.opens ? 1u : 7u) << c.path;
#if !defined(_WIN32)
        if (h.valid()) {
            EXPECT_EQ(::fcntl(static_cast<int>(h.get()), F_GETFL) & O_NONBLOCK, 0);
        }
#endif
    }
}

TEST(FileFolders, EnsureOneLevel) {
    TempDir dir;
    EXPECT_TRUE(dir_ensure(dir.file("a")));
    EXPECT_TRUE(dir_ensure(dir.file("a")));          // existing folder
    EXPECT_FALSE(dir_ensure(dir.file("b/c")));       // parent missing
    write_file(dir.file("plain"), "x");
    EXPECT_FALSE(dir_ensure(dir.file("plain")));     // exists but is no folder
}

TEST(FileReplace, ReplacesExistingTargetAndRemoves) {
    TempDir dir;
    write_file(dir.file("manifest.part"), "new");
    write_file(dir.file("manifest.kvd"), "old and longer");
    ASSERT_TRUE(file_replace(dir.file("manifest.part"), dir.file("manifest.kvd")));
    EXPECT_EQ(read_file(dir.file("manifest.kvd")), "new");
    EXPECT_FALSE(test::file_exists(dir.file("manifest.part")));
    EXPECT_FALSE(file_replace(dir.file("manifest.part"), dir.file("manifest.kvd")));
    EXPECT_TRUE(file_remove(dir.file("manifest.kvd")));
    EXPECT_FALSE(file_remove(dir.file("manifest.kvd")));
}

TEST(FileTime, FiletimeConversion) {
    EXPECT_EQ(filetime_from_unix(0, 0), 116444736000000000ULL);
    EXPECT_EQ(filetime_from_unix(1, 999), 116444736010000009ULL);
    EXPECT_EQ(filetime_from_unix(1700000000, 123456789), 133444736001234567ULL);
}

#if !defined(_WIN32)
TEST(FileTime, PosixModificationTimeInFiletimeUnits) {
    TempDir dir;
    std::string path = dir.file("dump.sql");
    write_file(path, "x");
    struct timespec times[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    FileGuard h(file_open(path, FILE_MODE_READ));
    EXPECT_EQ(file_get_mtime(h.get()), (1000000000ULL + 11644473600ULL) * 10000000ULL + 1234567);
}

TEST(FileModes, CreateRefusesPlantedSymbolicLink) {
    TempDir dir;
    write_file(dir.file("victim"), "precious");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("query-new.kvi").c_str()), 0);
    EXPECT_EQ(file_open(dir.file("query-new.kvi"), FILE_MODE_CREATE), INVALID_FILE);
    EXPECT_EQ(file_open(dir.file("query-new.kvi"), FILE_MODE_APPEND), INVALID_FILE);
    EXPECT_EQ(read_file(dir.file("victim")), "precious");
}
#endif

TEST(FileIdentity, SameFileThroughAnotherSpelling) {
    TempDir dir;
    write_file(dir.file("dump.sql"), "x");
    write_file(dir.file("other.sql"), "x");
    FileGuard h(file_open(dir.file("dump.sql"), FILE_MODE_READ));
    FileIdentity held = file_identity(h.get());
    EXPECT_TRUE(same_file(held, path_identity(dir.str() + "/./dump.sql")));
    EXPECT_FALSE(same_file(held, path_identity(dir.file("other.sql"))));
    EXPECT_FALSE(path_identity(dir.file("missing")).valid);
}

// --- Locks: refused to a second holder, free again once the holder is gone ---------------

namespace {
constexpr const char* LOCK_VARIABLE = "KV_TEST_LOCK_PATH";
constexpr const char* EXPECT_VARIABLE_REFUSED = "KV_TEST_LOCK_PATH_REFUSED";
}  // namespace

// Runs only inside a child process started by the tests below.
TEST(LockChild, TryLock) {
    std::string path = env_get(LOCK_VARIABLE);
    std::string refused_path = env_get(EXPECT_VARIABLE_REFUSED);
    if (path.empty() && refused_path.empty()) GTEST_SKIP() << "child helper";
    if (!refused_path.empty()) {
        EXPECT_EQ(file_open_lock(refused_path), INVALID_FILE);
    } else {
        // Takes the lock and ends without releasing it: the system must free it.
        EXPECT_NE(file_open_lock(path), INVALID_FILE);
    }
}

TEST(Lock, SecondOpenInSameProcessIsRefused) {
    TempDir dir;
    std::string path = dir.file("session.lock");
    FileGuard first(file_open_lock(path));
    ASSERT_TRUE(first.valid());
    EXPECT_EQ(file_open_lock(path), INVALID_FILE);
    first.reset();
    FileGuard again(file_open_lock(path));
    EXPECT_TRUE(again.valid());
}

TEST(Lock, OtherProcessIsRefusedWhileHeldAndSucceedsAfterHolderExits) {
    TempDir dir;
    std::string path = dir.file("session.lock");
    {
        FileGuard held(file_open_lock(path));
        ASSERT_TRUE(held.valid());
        EXPECT_EQ(test::run_test_in_child("LockChild.TryLock", EXPECT_VARIABLE_REFUSED, path), 0);
    }
    // A child that takes the lock and exits without closing leaves no stale lock.
    EXPECT_EQ(test::run_test_in_child("LockChild.TryLock", LOCK_VARIABLE, path), 0);
    FileGuard after(file_open_lock(path));
    EXPECT_TRUE(after.valid());
}

#if defined(_WIN32)
// --- Windows: extended-length paths and share modes -----------------------------------------

namespace {
std::string narrow(const std::u16string& s) { return utf16_to_utf8(s); }
}  // namespace

TEST(LongPath, DriveUncAndPrefixedForms) {
    EXPECT_EQ(narrow(make_long_path("C:/dumps/x.sql")), "\\\\?\\C:\\dumps\\x.sql");
    EXPECT_EQ(narrow(make_long_path("C:/dumps/./sub/../x.sql")), "\\\\?\\C:\\dumps\\x.sql");
    EXPECT_EQ(narrow(make_long_path("\\\\srv\\share\\a.sql")), "\\\\?\\UNC\\srv\\share\\a.sql");
    EXPECT_EQ(narrow(make_long_path("//srv/share/a.sql")), "\\\\?\\UNC\\srv\\share\\a.sql");
    EXPECT_EQ(narrow(make_long_path("\\\\?\\C:/keep/slashes")), "\\\\?\\C:/keep/slashes");
    EXPECT_EQ(narrow(make_long_path("C:/Grüße/ä.sql")), "\\\\?\\C:\\Grüße\\ä.sql");
}

TEST(LongPath, RelativePathResolvesAgainstCurrentFolder) {
    wchar_t cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
    ASSERT_GT(n, 0u);
    std::string base = utf16_to_utf8(std::u16string(reinterpret_cast<char16_t*>(cwd), n));
    if (base.back() == '\\') base.pop_back();
    EXPECT_EQ(narrow(make_long_path("sub/x.sql")), "\\\\?\\" + base + "\\sub\\x.sql");
}

TEST(LongPath, PathsBeyond260Characters) {
    TempDir dir;
    std::string path = dir.str();
    for (int i = 0; i < 12; ++i) {
        path += "/level-" + std::to_string(i) + "-abcdefghijklmnopqrstuvwxyz";
        ASSERT_TRUE(dir_ensure(path)) << path.size();
    }
    ASSERT_GT(path.size(), 300u);
    std::string file = path + "/manifest.kvd";
    FileGuard h(file_open(file, FILE_MODE_CREATE));
    ASSERT_TRUE(h.valid());
    ASSERT_TRUE(file_write_all(h.get(), "deep", 4));
    h.reset();
    ASSERT_TRUE(file_replace(file, path + "/moved.kvd"));
    FileGuard r(file_open(path + "/moved.kvd", FILE_MODE_READ));
    ASSERT_TRUE(r.valid());
    EXPECT_EQ(read_all(r.get()), "deep");
    r.reset();
    EXPECT_TRUE(file_remove(path + "/moved.kvd"));
}

TEST(ShareModes, HeldDumpCanBeReadButNotWrittenMovedOrDeleted) {
    TempDir dir;
    std::string path = dir.file("dump.sql");
    write_file(path, "INSERT INTO t VALUES (1);");
    FileGuard held(file_open(path, FILE_MODE_READ));
    ASSERT_TRUE(held.valid());

    FileGuard reader(file_open(path, FILE_MODE_READ));
    EXPECT_TRUE(reader.valid());
    EXPECT_EQ(file_open(path, FILE_MODE_CREATE), INVALID_FILE);
    EXPECT_EQ(file_open(path, FILE_MODE_APPEND), INVALID_FILE);
    EXPECT_FALSE(file_remove(path));
    write_file(dir.file("other"), "x");
    EXPECT_FALSE(file_replace(dir.file("other"), path));
    EXPECT_EQ(read_file(path), "INSERT INTO t VALUES (1);");
}
#endif
