// The file layer on the running platform: modes, replace, folders, times, identities and
// (Windows) extended-length paths. The cache tests cover the lock and the share modes;
// korvane-dump's transcript the refusal of missing files, folders and FIFOs as dumps.
#include <gtest/gtest.h>

#include "foundation/file.h"
#include "tests/support/test_support.h"

#if defined(_WIN32)
#include "foundation/file_win32.h"
#include "foundation/text.h"
#endif

using namespace kv;
using namespace kv::test;

static std::string read_rest(FileHandle h) {
    std::string out(64, '\0');
    return out.substr(0, file_read_full(h, out.data(), out.size()));
}

TEST(File, ModesReplaceRemoveAndFolders) {
    TempDir dir;
    const std::string path = dir.file("t1.kvi");
    write_file(path, "old content that must go");
    for (int mode : {FILE_MODE_CREATE, FILE_MODE_APPEND}) {
        FileGuard h(file_open(path, mode));
        ASSERT_TRUE(file_write_all(h.get(), "abc", 3) && file_write_all(h.get(), "", 0));
    }
    FileGuard read(file_open(path, FILE_MODE_READ));
    EXPECT_EQ(file_get_size(read.get()), 6u);
    ASSERT_TRUE(file_seek_to(read.get(), 2));
    EXPECT_EQ(read_rest(read.get()), "cabc");
    EXPECT_FALSE(file_write_all(read.get(), "x", 1));  // a read handle cannot write
    EXPECT_EQ(file_open(dir.file("x"), 7), INVALID_FILE);
    EXPECT_EQ(file_open(dir.str(), FILE_MODE_CREATE), INVALID_FILE);
    EXPECT_TRUE(FileGuard(file_open(dir.file("new"), FILE_MODE_APPEND)).valid());
    EXPECT_TRUE(dir_ensure(dir.file("d")) && dir_ensure(dir.file("d")));
    EXPECT_FALSE(dir_ensure(dir.file("b/c")) || dir_ensure(path));  // parent missing, no folder
    EXPECT_FALSE(file_replace(dir.file("missing"), path) || file_remove(dir.file("missing")));
    EXPECT_EQ(filetime_from_unix(1700000000, 123456789), 133444736001234567ULL);
}

// korvane-dump's transcript shows file identities at work: no export onto the dump, whatever
// its spelling.
#if !defined(_WIN32)
TEST(File, TimeAndNoWritingThroughLinks) {
    TempDir dir;
    write_file(dir.file("dump.sql"), "x");
    struct timespec times[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("dump.sql").c_str(), times, 0), 0);
    EXPECT_EQ(file_get_mtime(FileGuard(file_open(dir.file("dump.sql"), FILE_MODE_READ)).get()),
              (1000000000ULL + 11644473600ULL) * 10000000ULL + 1234567);
    // A planted symbolic link is never written through.
    write_file(dir.file("victim"), "precious");
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("q.kvi").c_str()), 0);
    for (int mode : {FILE_MODE_CREATE, FILE_MODE_APPEND}) EXPECT_EQ(file_open(dir.file("q.kvi"), mode), INVALID_FILE);
    EXPECT_EQ(read_file(dir.file("victim")), "precious");
}
#endif

#if defined(_WIN32)
TEST(File, LongPathForms) {
    std::string base = utf16_to_utf8(std::filesystem::current_path().u16string());
    if (base.back() == '\\') base.pop_back();
    const std::pair<std::string, std::string> cases[] = {
        {"C:/dumps/./sub/../x.sql", "\\\\?\\C:\\dumps\\x.sql"},
        {"\\\\srv\\share\\a.sql", "\\\\?\\UNC\\srv\\share\\a.sql"},
        {"//srv/share/a.sql", "\\\\?\\UNC\\srv\\share\\a.sql"},
        {"\\\\?\\C:/keep/slashes", "\\\\?\\C:/keep/slashes"},
        {"C:/Grüße/ä.sql", "\\\\?\\C:\\Grüße\\ä.sql"}, {"sub/x.sql", "\\\\?\\" + base + "\\sub\\x.sql"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(utf16_to_utf8(make_long_path(in)), out);

    TempDir dir; std::string path = dir.str();
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(dir_ensure(path += "/level-abcdefghijklmnopqrstuvwxyz"));
    ASSERT_TRUE(file_write_all(FileGuard(file_open(path + "/m.kvd", FILE_MODE_CREATE)).get(), "deep", 4));
    ASSERT_TRUE(file_replace(path + "/m.kvd", path + "/moved.kvd"));
    EXPECT_EQ(read_rest(FileGuard(file_open(path + "/moved.kvd", FILE_MODE_READ)).get()), "deep");
    EXPECT_TRUE(file_remove(path + "/moved.kvd"));
}
#endif
