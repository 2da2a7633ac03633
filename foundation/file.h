// File access by UTF-8 path, the only place where a path meets the file system.
//
// Every path in the system is UTF-8 with "/" separators. The Win32 layer turns it into an
// extended-length UTF-16 path ("\\?\" / "\\?\UNC\") so cache folders and dumps below deep
// folders work; the POSIX layer passes it through. Files are gigabyte dumps, read in 1 MiB
// windows with 64-bit positions; one read or write call moves at most 2,147,483,647 bytes.
//
// All functions are stateless and reentrant. A handle is used by one thread at a time: the
// thread that owns the record holding it. No function here writes a message: callers pick the
// German sentence the user sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// The operating system's handle (Win32 HANDLE or POSIX descriptor) as an integer.
// INVALID_FILE (all bits set) means "no file" everywhere; closing it is a no-op.
using FileHandle = std::intptr_t;
inline constexpr FileHandle INVALID_FILE = -1;

// Open modes. Every mode shares the file with readers only (Windows); nobody else can write,
// move or delete it while it is held.
enum FileMode : int {
    FILE_MODE_READ = 0,    // existing regular file, read only; never blocks on a pipe or device
    FILE_MODE_CREATE = 1,  // read/write, created or truncated; POSIX: refuses a symbolic link
    FILE_MODE_APPEND = 2,  // read/write, created if missing, position at the end
};

inline constexpr std::size_t FILE_IO_MAX = 2147483647u;

// FILE_MODE_READ opens regular files only: a folder, pipe, device or socket is refused at
// once, before it could block the open (a FIFO waits for a writer) or act on a device.
FileHandle file_open(const std::string& path, int mode);
void file_close(FileHandle handle);
// True when path names something that exists but is no regular file (a folder, pipe, device or
// socket), which FILE_MODE_READ refuses; for choosing the message after a refused open.
bool path_is_non_regular(const std::string& path);
// Size of the regular file at path, from one query without opening it; false when there is
// none (missing, or a folder, pipe, device or socket). A fault point of kind FAULT_OPEN.
bool path_regular_file_size(const std::string& path, std::uint64_t& size);
// One read call of at most min(count, FILE_IO_MAX) bytes; 0 on error or at the end.
// Callers compare the result with what they need; a short result is their failure.
std::size_t file_read_some(FileHandle handle, void* buffer, std::size_t count);
// One positional read of at most min(count, FILE_IO_MAX) bytes at offset, for threads that
// share an open file: it leaves alone the position that file_read_some reads from (POSIX
// pread; on Windows the handle must be the thread's own, from file_reopen_read). 0 on error or
// at the end. No fault point: only the import's helper threads read this way, and a failed
// read costs them their head start, never a result.
std::size_t file_read_at(FileHandle handle, std::uint64_t offset, void* buffer, std::size_t count);
// A second handle on an open file, for file_read_at on another thread (POSIX dup, Windows
// ReOpenFile); INVALID_FILE when refused.
FileHandle file_reopen_read(FileHandle handle);
// Reads until count bytes arrived or a read returns nothing (end, error); the bytes read.
// For callers that need an exact count and treat anything shorter as their failure.
inline std::size_t file_read_full(FileHandle handle, void* buffer, std::size_t count) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        std::size_t n = file_read_some(handle, p + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}
// Writes everything or returns false; bytes already written stay in the file. count 0: true.
bool file_write_all(FileHandle handle, const void* buffer, std::size_t count);
bool file_seek_to(FileHandle handle, std::uint64_t position);
// Cuts (or extends with zeros) the file to size bytes and moves its position there, so that
// the next write continues at the new end. A fault point of kind FAULT_WRITE.
bool file_truncate(FileHandle handle, std::uint64_t size);
// 0 when the query fails (indistinguishable from a true 0; callers treat 0 as a value).
std::uint64_t file_get_size(FileHandle handle);
// Last-write time in FILETIME units (100 ns since 1601-01-01) on both platforms; 0 on failure.
std::uint64_t file_get_mtime(FileHandle handle);
bool file_flush(FileHandle handle);
// Asks the system to start writing the file's written data to disk now, without waiting for
// it, so that a later file_flush has little left to do (Linux: sync_file_range; elsewhere
// nothing). A hint only: no result, no effect on what the file holds.
void file_start_writeback(FileHandle handle);
// Creates one folder level (parents are not created). True when created or already a folder.
bool dir_ensure(const std::string& path);
bool file_remove(const std::string& path);
// Moves source onto target, replacing it, and makes the move durable (write-through).
// The commit step of every write-to-temporary-then-move protocol.
bool file_replace(const std::string& source, const std::string& target);

// Opens (creating if needed) a lock file exclusively: share mode 0 on Windows, flock
// LOCK_EX|LOCK_NB on POSIX. Never writes or truncates it. The lock lives exactly as long as
// the handle (or the process); INVALID_FILE when another holder has it or it cannot be opened.
FileHandle file_open_lock(const std::string& path);

// Identity of an open file or a path: same device and inode (POSIX) or same volume serial
// number and file index (Windows). valid is false when it could not be queried.
struct FileIdentity {
    bool valid = false;
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
};
FileIdentity file_identity(FileHandle handle);
FileIdentity path_identity(const std::string& path);
inline bool same_file(const FileIdentity& a, const FileIdentity& b) {
    return a.valid && b.valid && a.volume == b.volume && a.index == b.index;
}

// Millisecond tick for throttling progress reports, and the process id for temporary names.
std::uint64_t clock_ms();
std::uint32_t current_pid();

// Seconds and nanoseconds since 1970 to FILETIME units: (s + 11,644,473,600) * 10^7 + ns / 100.
constexpr std::uint64_t filetime_from_unix(std::int64_t seconds, std::int64_t nanoseconds) {
    return static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL +
           static_cast<std::uint64_t>(nanoseconds / 100);
}

// Environment and temporary folder as UTF-8 ("" when unset / unknown).
std::string env_get(const char* name);
std::string temp_folder();

// Owns a handle and closes it when it leaves scope; release() hands it on.
class FileGuard {
public:
    FileGuard() = default;
    explicit FileGuard(FileHandle handle) : handle_(handle) {}
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;
    FileGuard(FileGuard&& other) noexcept : handle_(other.release()) {}
    FileGuard& operator=(FileGuard&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~FileGuard() { file_close(handle_); }
    FileHandle get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_FILE; }
    FileHandle release() {
        FileHandle h = handle_;
        handle_ = INVALID_FILE;
        return h;
    }
    void reset(FileHandle handle = INVALID_FILE) {
        file_close(handle_);
        handle_ = handle;
    }

private:
    FileHandle handle_ = INVALID_FILE;
};

}  // namespace kv
