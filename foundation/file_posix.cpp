// POSIX file layer. Paths are passed through unchanged (UTF-8 on Linux).
//
// POSIX has no share modes: the dump cannot be protected against writers, so the jobs detect
// a changed dump by size and time instead. Every descriptor is O_CLOEXEC; create mode refuses
// to follow a planted symbolic link (O_NOFOLLOW). file_replace is rename(2) followed by fsync
// of the target's folder, so the move survives a power loss.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "foundation/file.h"
#include "foundation/fault.h"

namespace kv {

namespace {

int fd_of(FileHandle handle) { return static_cast<int>(handle); }

// The folder that holds path, for the fsync after a rename ("." for a bare name).
std::string parent_folder(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

FileIdentity identity_of(const struct stat& st) {
    FileIdentity id;
    id.valid = true;
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    return id;
}

// Clears O_NONBLOCK of a descriptor opened for reading with no other status flag that F_SETFL
// can change (O_APPEND, O_ASYNC, O_DIRECT, O_NOATIME), so one call sets them all to off.
bool clear_nonblock(int fd) { return ::fcntl(fd, F_SETFL, 0) == 0; }

}  // namespace

FileHandle file_open(const std::string& path, int mode) {
    if (fault_hit(FAULT_OPEN)) return INVALID_FILE;
    int flags = O_CLOEXEC;
    switch (mode) {
        case FILE_MODE_READ: flags |= O_RDONLY; break;
        case FILE_MODE_CREATE: flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
        case FILE_MODE_APPEND: flags |= O_RDWR | O_CREAT | O_NOFOLLOW; break;
        default: return INVALID_FILE;
    }
    struct stat st;
    if (mode == FILE_MODE_READ) {
        // Only regular files are opened for reading, and without waiting: a path swapped for a
        // FIFO after this check opens at once under O_NONBLOCK and is refused by fstat below.
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return INVALID_FILE;
        flags |= O_NONBLOCK;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_FILE;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
        (mode == FILE_MODE_READ && (!S_ISREG(st.st_mode) || !clear_nonblock(fd)))) {
        ::close(fd);
        return INVALID_FILE;
    }
    if (mode == FILE_MODE_APPEND && ::lseek(fd, 0, SEEK_END) < 0) {
        ::close(fd);
        return INVALID_FILE;
    }
    return fd;
}

void file_close(FileHandle handle) {
    if (handle != INVALID_FILE) ::close(fd_of(handle));
}

bool path_is_non_regular(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

bool path_regular_file_size(const std::string& path, std::uint64_t& size) {
    if (fault_hit(FAULT_OPEN)) return false;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

std::size_t file_read_some(FileHandle handle, void* buffer, std::size_t count) {
    if (fault_hit(FAULT_READ)) return 0;
    if (count > FILE_IO_MAX) count = FILE_IO_MAX;
    ssize_t n;
    do {
        n = ::read(fd_of(handle), buffer, count);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

bool file_write_all(FileHandle handle, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        if (fault_hit(FAULT_WRITE)) return false;
        std::size_t chunk = count > FILE_IO_MAX ? FILE_IO_MAX : count;
        ssize_t n = ::write(fd_of(handle), p, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool file_seek_to(FileHandle handle, std::uint64_t position) {
    if (position > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return ::lseek(fd_of(handle), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool file_truncate(FileHandle handle, std::uint64_t size) {
    if (fault_hit(FAULT_WRITE) || size > static_cast<std::uint64_t>(INT64_MAX)) return false;
    int result;
    do {
        result = ::ftruncate(fd_of(handle), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0 && file_seek_to(handle, size);
}

std::uint64_t file_get_size(FileHandle handle) {
    struct stat st;
    if (::fstat(fd_of(handle), &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t file_get_mtime(FileHandle handle) {
    struct stat st;
    if (::fstat(fd_of(handle), &st) != 0) return 0;
    return filetime_from_unix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

bool file_flush(FileHandle handle) {
    if (fault_hit(FAULT_FLUSH)) return false;
    return ::fsync(fd_of(handle)) == 0;
}

std::size_t file_read_at(FileHandle handle, std::uint64_t offset, void* buffer, std::size_t count) {
    if (count > FILE_IO_MAX) count = FILE_IO_MAX;
    for (;;) {
        ssize_t n = ::pread(fd_of(handle), buffer, count, static_cast<off_t>(offset));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return 0;
    }
}

FileHandle file_reopen_read(FileHandle handle) {
    if (handle == INVALID_FILE) return INVALID_FILE;
    int fd = ::fcntl(fd_of(handle), F_DUPFD_CLOEXEC, 0);
    return fd < 0 ? INVALID_FILE : static_cast<FileHandle>(fd);
}

void file_start_writeback(FileHandle handle) {
#if defined(__linux__)
    ::sync_file_range(fd_of(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)handle;
#endif
}

bool dir_ensure(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool file_remove(const std::string& path) {
    if (fault_hit(FAULT_REMOVE)) return false;
    return ::unlink(path.c_str()) == 0;
}

bool file_replace(const std::string& source, const std::string& target) {
    if (fault_hit(FAULT_RENAME)) return false;
    if (::rename(source.c_str(), target.c_str()) != 0) return false;
    int dir = ::open(parent_folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    bool ok = ::fsync(dir) == 0;
    ::close(dir);
    return ok;
}

FileHandle file_open_lock(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return INVALID_FILE;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return INVALID_FILE;
    }
    return fd;
}

FileIdentity file_identity(FileHandle handle) {
    struct stat st;
    if (handle == INVALID_FILE || ::fstat(fd_of(handle), &st) != 0) return {};
    return identity_of(st);
}

FileIdentity path_identity(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    return identity_of(st);
}

std::uint64_t clock_ms() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

std::uint32_t current_pid() { return static_cast<std::uint32_t>(::getpid()); }

std::string env_get(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string temp_folder() {
    std::string tmp = env_get("TMPDIR");
    if (tmp.empty()) tmp = "/tmp";
    while (tmp.size() > 1 && tmp.back() == '/') tmp.pop_back();
    return tmp;
}

}  // namespace kv
