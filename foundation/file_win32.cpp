// Win32 file layer: UTF-8 paths become extended-length UTF-16 paths ("\\?\C:\..." and
// "\\?\UNC\server\share\..."), so paths beyond 260 characters work. Every open shares the file
// with readers only: while the dump is held, no other program can write, move or delete it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

#include "foundation/fault.h"
#include "foundation/file.h"
#include "foundation/file_win32.h"
#include "foundation/text.h"

namespace kv {

namespace {

HANDLE h_of(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle to_handle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? INVALID_FILE : reinterpret_cast<FileHandle>(h);
}

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A folder or a device (a console, a pipe's name): nothing a dump can be read from. A path
// that does not exist is not one; opening it fails on its own.
bool not_a_file(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

}  // namespace

std::u16string make_long_path(const std::string& path) {
    std::u16string converted = utf8_to_utf16(path);
    if (converted.rfind(u"\\\\?\\", 0) == 0) return converted;
    DWORD needed = GetFullPathNameW(wide(converted), 0, nullptr, nullptr);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(needed) + 8, L'\0');
    DWORD length = needed == 0 ? 0
                               : GetFullPathNameW(wide(converted), needed + 1, buffer.data(),
                                                  nullptr);
    if (length > needed) length = 0;  // the path changed between the calls
    std::u16string resolved(reinterpret_cast<const char16_t*>(buffer.data()), length);
    if (resolved.rfind(u"\\\\", 0) == 0) return u"\\\\?\\UNC\\" + resolved.substr(2);
    return u"\\\\?\\" + resolved;
}

FileHandle file_open(const std::string& path, int mode) {
    if (fault_hit(FAULT_OPEN)) return INVALID_FILE;
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case FILE_MODE_READ: break;
        case FILE_MODE_CREATE:
            access |= GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
        case FILE_MODE_APPEND:
            access |= GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
        default: return INVALID_FILE;
    }
    std::u16string long_path = make_long_path(path);
    if (mode == FILE_MODE_READ && not_a_file(GetFileAttributesW(wide(long_path)))) {
        return INVALID_FILE;
    }
    HANDLE h = CreateFileW(wide(long_path), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return INVALID_FILE;
    if (mode == FILE_MODE_READ && GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);  // a pipe, console or other device: only files on disk are read
        return INVALID_FILE;
    }
    if (mode == FILE_MODE_APPEND) {
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) {
            CloseHandle(h);
            return INVALID_FILE;
        }
    }
    return to_handle(h);
}

void file_close(FileHandle handle) {
    if (handle != INVALID_FILE) CloseHandle(h_of(handle));
}

bool path_is_non_regular(const std::string& path) {
    return not_a_file(GetFileAttributesW(wide(make_long_path(path))));
}

bool path_regular_file_size(const std::string& path, std::uint64_t& size) {
    if (fault_hit(FAULT_OPEN)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(make_long_path(path)), GetFileExInfoStandard, &data) ||
        not_a_file(data.dwFileAttributes)) {
        return false;
    }
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

std::size_t file_read_some(FileHandle handle, void* buffer, std::size_t count) {
    if (fault_hit(FAULT_READ)) return 0;
    if (count > FILE_IO_MAX) count = FILE_IO_MAX;
    DWORD got = 0;
    if (!ReadFile(h_of(handle), buffer, static_cast<DWORD>(count), &got, nullptr)) return 0;
    return got;
}

std::size_t file_read_at(FileHandle handle, std::uint64_t offset, void* buffer, std::size_t count) {
    if (count > FILE_IO_MAX) count = FILE_IO_MAX;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(h_of(handle), buffer, static_cast<DWORD>(count), &got, &at)) return 0;
    return got;
}

FileHandle file_reopen_read(FileHandle handle) {
    if (handle == INVALID_FILE) return INVALID_FILE;
    HANDLE h = ReOpenFile(h_of(handle), GENERIC_READ, FILE_SHARE_READ, 0);
    return to_handle(h);
}

bool file_write_all(FileHandle handle, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        if (fault_hit(FAULT_WRITE)) return false;
        DWORD chunk = static_cast<DWORD>(count > FILE_IO_MAX ? FILE_IO_MAX : count);
        DWORD written = 0;
        if (!WriteFile(h_of(handle), p, chunk, &written, nullptr) || written != chunk) {
            return false;
        }
        p += chunk;
        count -= chunk;
    }
    return true;
}

bool file_seek_to(FileHandle handle, std::uint64_t position) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(h_of(handle), distance, nullptr, FILE_BEGIN) != 0;
}

bool file_truncate(FileHandle handle, std::uint64_t size) {
    if (fault_hit(FAULT_WRITE) || size > static_cast<std::uint64_t>(INT64_MAX)) return false;
    return file_seek_to(handle, size) && SetEndOfFile(h_of(handle)) != 0;
}

std::uint64_t file_get_size(FileHandle handle) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h_of(handle), &size)) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::uint64_t file_get_mtime(FileHandle handle) {
    FILETIME written;
    if (!GetFileTime(h_of(handle), nullptr, nullptr, &written)) return 0;
    return (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

bool file_flush(FileHandle handle) {
    if (fault_hit(FAULT_FLUSH)) return false;
    return FlushFileBuffers(h_of(handle)) != 0;
}

// Windows writes cached data back on its own schedule; FlushFileBuffers does the rest.
void file_start_writeback(FileHandle) {}

bool dir_ensure(const std::string& path) {
    std::u16string long_path = make_long_path(path);
    if (CreateDirectoryW(wide(long_path), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    DWORD attributes = GetFileAttributesW(wide(long_path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool file_remove(const std::string& path) {
    if (fault_hit(FAULT_REMOVE)) return false;
    return DeleteFileW(wide(make_long_path(path))) != 0;
}

bool file_replace(const std::string& source, const std::string& target) {
    if (fault_hit(FAULT_RENAME)) return false;
    std::u16string from = make_long_path(source);
    std::u16string to = make_long_path(target);
    return MoveFileExW(wide(from), wide(to),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

FileHandle file_open_lock(const std::string& path) {
    HANDLE h = CreateFileW(wide(make_long_path(path)), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return to_handle(h);
}

FileIdentity file_identity(FileHandle handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_FILE || !GetFileInformationByHandle(h_of(handle), &info)) return {};
    FileIdentity id;
    id.valid = true;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return id;
}

FileIdentity path_identity(const std::string& path) {
    // Opened without access rights and with full sharing, so a file held by us still answers.
    HANDLE h = CreateFileW(wide(make_long_path(path)), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    FileIdentity id = file_identity(to_handle(h));
    CloseHandle(h);
    return id;
}

std::uint64_t clock_ms() { return GetTickCount64(); }

std::uint32_t current_pid() { return GetCurrentProcessId(); }

std::string env_get(const char* name) {
    std::u16string wname = utf8_to_utf16(name);
    std::vector<wchar_t> buffer(32768, L'\0');
    DWORD n = GetEnvironmentVariableW(wide(wname), buffer.data(),
                                      static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return {};
    return utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), n));
}

std::string temp_folder() {
    std::vector<wchar_t> buffer(32768, L'\0');
    DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0 || n >= buffer.size()) return {};
    std::string path =
        utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), n));
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

}  // namespace kv
