// Opening a dump: the cache key and folder, the session lock, the cache root.
#include <gtest/gtest.h>

#include "cache/dump_open.h"
#include "tests/support/child_process.h"
#include "tests/support/test_support.h"

using namespace kv;
using namespace kv::test;

// Reference key, computed the long way: the first and the last 64 KiB (overlapping), then the
// path, the size and the time as 8 little-endian bytes each.
static std::string reference_folder(const std::string& path, const std::string& content,
                                    std::uint64_t time, std::uint64_t& fingerprint) {
    const std::size_t sample = std::min<std::size_t>(content.size(), 65536);
    std::uint64_t h = fnv1a64_seeded(content.data(), sample, 0);
    if (content.size() > 65536) h = fnv1a64_seeded(content.data() + content.size() - 65536, 65536, h);
    h = fnv1a64_seeded(path.data(), path.size(), fingerprint = h);
    for (std::uint64_t v : {std::uint64_t{content.size()}, time}) h = fnv1a64_seeded(&v, 8, h);  // little-endian host
    char name[24];
    return std::string(name, std::snprintf(name, sizeof name, "/%016llx", static_cast<unsigned long long>(h)));
}
const char* const LOCK_MESSAGE = "Dieser Dump-Cache ist bereits in einer anderen Instanz geöffnet, oder der "
                                 "Cache-Ordner ist nicht beschreibbar.";

// Sizes around the 64 KiB sample, two spellings of one path. (korvane-dump's transcript shows
// the refusals of dump_open.)
TEST(DumpOpen, KeyCoversSamplesPathSizeAndTime) {
    EXPECT_EQ(fnv1a64_seeded("bar", 3, fnv1a64_seeded("foo", 3, 0)), 0x85944171f73967e8ULL);
    TempDir dir;
    const std::string root = dir.file("cache");
    for (std::size_t size : {0, 1, 65536, 65537, 200000}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 23);
        write_file(dir.file("dump.sql"), content);
        for (const std::string& path : {dir.file("dump.sql"), dir.str() + "/./dump.sql"}) {
            DumpState state;
            const Status opened = dump_open(state, path, root);
            ASSERT_TRUE(opened.ok()) << test::text_of(opened);
            std::uint64_t fingerprint = 0;
            const std::string folder = root + reference_folder(path, content, state.dump_time, fingerprint);
            EXPECT_EQ(state.cache_folder + state.dump_path + std::to_string(state.fingerprint) +
                          "/" + std::to_string(state.dump_size),
                      folder + path + std::to_string(fingerprint) + "/" + std::to_string(size));
            EXPECT_TRUE(test::file_exists(state.cache_folder));
        }
    }
}

// Runs only in a child process, a second instance opening the same dump: "refused|DUMP|ROOT"
// expects the lock refused, "take|DUMP|ROOT" takes it and ends without releasing it.
TEST(CacheLockChild, SecondInstance) {
    const std::string request = env_get("KV_TEST_CACHE_LOCK");
    if (request.empty()) GTEST_SKIP() << "child helper";
    const auto bar = request.find('|'), bar2 = request.rfind('|');
    DumpState state;
    ASSERT_TRUE(dump_open(state, request.substr(bar + 1, bar2 - bar - 1), request.substr(bar2 + 1)).ok());
    FileHandle lock = INVALID_FILE;
    const Status locked = cache_lock(state, lock);
    EXPECT_EQ(lock == INVALID_FILE, request[0] == 'r');
    EXPECT_EQ(test::text_of(locked), request[0] == 'r' ? LOCK_MESSAGE : "");
}

// The lock is refused to a second holder, in this process or another, and free again once the
// holder is gone (also when it exits without releasing it).
TEST(CacheLock, SecondInstanceRefusedFirstKeepsWorking) {
    TempDir dir;
    const std::string root = dir.file("cache"), dump = dir.file("dump.sql");
    write_file(dump, "SELECT 1;");
    DumpState first, second;
    auto child = [&](const std::string& request) {
        return test::run_test_in_child("CacheLockChild.SecondInstance", "KV_TEST_CACHE_LOCK",
                                       request + "|" + dump + "|" + root);
    };
    ASSERT_TRUE(dump_open(first, dump, root).ok() && dump_open(second, dump, root).ok());
    auto take = [](const DumpState& state, std::string* text = nullptr) {
        FileHandle handle = INVALID_FILE;
        const Status locked = cache_lock(state, handle);
        if (text != nullptr) *text = test::text_of(locked);
        return handle;
    };
    FileGuard lock(take(first));
    ASSERT_TRUE(lock.valid());
    std::string refusal;
    EXPECT_EQ(take(second, &refusal), INVALID_FILE);
    EXPECT_EQ(refusal, LOCK_MESSAGE);
    EXPECT_EQ(child("refused"), 0);
    lock.reset();  // the lock file stays; releasing the handle frees the cache
    EXPECT_TRUE(test::file_exists(first.cache_folder + "/session.lock"));
    EXPECT_EQ(child("take"), 0);
    EXPECT_TRUE(FileGuard(take(second)).valid());
#if defined(_WIN32)
    // The open dump can be read, but not written, moved or deleted.
    EXPECT_TRUE(FileGuard(file_open(dump, FILE_MODE_READ)).valid());
    for (int mode : {FILE_MODE_CREATE, FILE_MODE_APPEND}) EXPECT_EQ(file_open(dump, mode), INVALID_FILE);
    write_file(dir.file("other"), "x");
    EXPECT_FALSE(file_remove(dump) || file_replace(dir.file("other"), dump));
    EXPECT_EQ(test::read_file(dump), "SELECT 1;");
    for (DumpState* s : {&first, &second}) dump_state_destroy(*s);
    EXPECT_TRUE(FileGuard(file_open(dump, FILE_MODE_APPEND)).valid());
#endif
}

#if !defined(_WIN32)
// Each variable in turn decides (a trailing "/" dropped), and every level of the root is made.
TEST(CacheRoot, PosixPrecedenceAndEveryLevelCreated) {
    const std::pair<const char*, const char*> vars[] = {
        {"LOCALAPPDATA", "/data/local"}, {"XDG_CACHE_HOME", "/xdg/"}, {"HOME", "/home/u"}, {"TMPDIR", "/scratch"}};
    std::string saved[4], roots;
    for (int i = 0; i < 4; ++i) saved[i] = env_get(vars[i].first);
    for (const auto& [name, value] : vars) ::setenv(name, value, 1);
    for (const auto& [name, value] : vars) roots += cache_root_path() + ";", ::unsetenv(name);
    for (int i = 0; i < 4; ++i) if (!saved[i].empty()) ::setenv(vars[i].first, saved[i].c_str(), 1);
    EXPECT_EQ(roots, "/data/local/Kor-Vane/DumpBrowser/Cache;/xdg/Kor-Vane/DumpBrowser/Cache;"
                     "/home/u/.cache/Kor-Vane/DumpBrowser/Cache;/scratch/Kor-Vane/DumpBrowser/Cache;");
    TempDir dir;
    const std::string root = dir.file(".cache/Kor-Vane/DumpBrowser/Cache");
    EXPECT_TRUE(cache_root_ensure(root) && cache_root_ensure(root) && test::file_exists(root));
    write_file(dir.file("blocked"), "x");
    EXPECT_FALSE(cache_root_ensure(dir.file("blocked/Kor-Vane/DumpBrowser/Cache")));
}
#endif
