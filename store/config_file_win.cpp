// Whole-file reads and all-or-nothing rewrites with the W file functions.
#include "store/config_file_win.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

namespace tessaline {

namespace {

// Owns a file handle; closes it once.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { close(); }

    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const noexcept { return handle_; }
    // Closes now; false (with the last error set) when closing failed.
    bool close() noexcept {
        if (!valid()) return true;
        const BOOL ok = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE handle_;
};

// A file this module made; deleted when it goes out of scope unless kept.
class NewFile {
public:
    explicit NewFile(std::wstring path) : path_(std::move(path)) {}
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        if (!kept_) DeleteFileW(path_.c_str());
    }
    const std::wstring& path() const noexcept { return path_; }
    void keep() noexcept { kept_ = true; }

private:
    std::wstring path_;
    bool kept_ = false;
};

// WriteFile takes at most a DWORD per call.
constexpr std::size_t maxChunk = 1u << 30;

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() < maxChunk ? bytes.size() : maxChunk);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// The folder part of path, with its trailing separator; empty for a bare name.
std::wstring folderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) return path.substr(0, slash + 1);
    // "C:name" names a file in drive C's current folder.
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return {};
}

// Creates a file beside the target under a name no other file has.
HANDLE createUniqueBeside(const std::wstring& target, std::wstring& createdPath) {
    static std::atomic<unsigned long> counter{0};
    const std::wstring folder = folderOf(target);
    const std::wstring name = target.substr(folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[64];
        std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%lx-%lx-%lx.new",
                      static_cast<unsigned long>(GetCurrentProcessId()), GetTickCount(),
                      counter.fetch_add(1));
        createdPath = folder + name + suffix;
        const HANDLE file = CreateFileW(createdPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// 0 when the target may be replaced: missing, or a file without the
// read-only attribute. Wine's MoveFileExW replaces a read-only file, where
// Windows refuses, so the attribute is checked here on both. A target that
// another handle holds open without sharing makes MoveFileExW itself fail.
DWORD checkTarget(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND) ? 0 : error;
    }
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ACCESS_DENIED;
    return 0;
}

} // namespace

std::string readFileBytes(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return {};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return {};
    if (static_cast<unsigned long long>(size.QuadPart) > std::string().max_size()) return {};
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = static_cast<DWORD>(left < maxChunk ? left : maxChunk);
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr)) return {};
        if (got == 0) break;  // the file shrank while being read
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

unsigned long replaceFileContents(const std::wstring& path, std::string_view bytes) {
    if (path.empty()) return ERROR_INVALID_NAME;
    if (const DWORD error = checkTarget(path); error != 0) return error;

    std::wstring newPath;
    const HANDLE handle = createUniqueBeside(path, newPath);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    // Declared in this order so that the handle is closed before the new file
    // is deleted on a failure below.
    NewFile created(newPath);
    FileHandle file(handle);
    if (!writeAll(file.get(), bytes)) return GetLastError();
    if (!FlushFileBuffers(file.get())) return GetLastError();
    if (!file.close()) return GetLastError();

    // Another copy of the program replacing the same file at this moment
    // holds it for an instant: such a failure is tried again for a short
    // while before it counts.
    constexpr int kTries = 10;
    constexpr DWORD kPauseMs = 50;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(newPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
        const DWORD error = GetLastError();
        const bool passing = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
        if (!passing || attempt == kTries) return error;
        Sleep(kPauseMs);
        if (const DWORD target = checkTarget(path); target != 0) return target;
    }
    created.keep();
    return 0;
}

} // namespace tessaline
