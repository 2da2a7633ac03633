// Shared helpers of the test programs: a private temporary folder per test and whole-file
// reads and writes. Test data lives in tests/data (KV_TEST_DATA_DIR); large inputs are
// generated inside the tests, never stored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "foundation/file.h"
#include "foundation/status.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace kv::test {

// A fresh folder below the temporary folder, removed with everything in it at scope end.
class TempDir {
public:
    TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
    explicit TempDir(const std::filesystem::path& base) {
        std::random_device rd;
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto candidate = base / ("kvtest-" + std::to_string(current_pid()) + "-" +
                                     std::to_string(rd()));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
                break;
            }
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // UTF-8 path with "/" separators, as the system builds its paths.
    std::string str() const {
        const auto u8 = path_.generic_u8string();
        return std::string(u8.begin(), u8.end());
    }
    std::string file(const std::string& name) const { return str() + "/" + name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The text of a status for assertion messages ("" for success).
inline std::string text_of(const Status& status) { return status_text(status); }

// A folder for sparse files of several GiB: reading their holes from a memory file system
// costs no page-cache allocation, so a test can scan 4 GiB in a fraction of a second. The
// host's /dev/shm (under Wine through drive Z:), else the temporary folder.
inline std::filesystem::path sparse_file_base() {
    std::error_code ec;
#ifdef _WIN32
    const std::filesystem::path shm = "Z:/dev/shm";
#else
    const std::filesystem::path shm = "/dev/shm";
#endif
    if (std::filesystem::is_directory(shm, ec)) return shm;
    return std::filesystem::temp_directory_path();
}

inline std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(fs_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool file_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(fs_path(path), ec);
}

inline std::string data_file(const std::string& name) {
    return std::string(KV_TEST_DATA_DIR) + "/" + name;
}

#if !defined(_WIN32)
// A FIFO at path for tests of code that must refuse it without blocking. Should something still
// wait in an open of it after 5 s, the FIFO is opened for writing and closed again once a
// second, which ends that open: a faulty program then fails its test instead of hanging.
class Fifo {
public:
    explicit Fifo(std::string path) : path_(std::move(path)) {
        made_ = ::mkfifo(path_.c_str(), 0600) == 0;
        watchdog_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            auto next = std::chrono::seconds(5);
            while (!cv_.wait_for(lock, next, [this] { return done_; })) {
                int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) ::close(fd);
                next = std::chrono::seconds(1);
            }
        });
    }
    ~Fifo() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_one();
        watchdog_.join();
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    bool made() const { return made_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool made_ = false;
    bool done_ = false;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::thread watchdog_;
};
#endif

}  // namespace kv::test
