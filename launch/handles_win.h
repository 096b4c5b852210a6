// Owners of the Windows handles, keys and blobs used by the launcher: each
// closes or frees what it holds when it goes out of scope, and none is copied.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace tessaline::win {

// A kernel handle closed with CloseHandle; both null and INVALID_HANDLE_VALUE mean none.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) noexcept : handle_(handle) {}
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) { close(); handle_ = std::exchange(other.handle_, nullptr); }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { close(); }

    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void close() noexcept {
        if (valid()) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// A FindFirstFileW search closed with FindClose.
class OwnedFind {
public:
    explicit OwnedFind(HANDLE find) noexcept : find_(find) {}
    OwnedFind(const OwnedFind&) = delete;
    OwnedFind& operator=(const OwnedFind&) = delete;
    ~OwnedFind() { if (valid()) FindClose(find_); }

    bool valid() const noexcept { return find_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE find_;
};

// An open registry key closed with RegCloseKey.
class OwnedKey {
public:
    OwnedKey() = default;
    OwnedKey(const OwnedKey&) = delete;
    OwnedKey& operator=(const OwnedKey&) = delete;
    ~OwnedKey() { if (key_) RegCloseKey(key_); }

    HKEY get() const noexcept { return key_; }
    // For the opening call to fill in; the key must not hold one yet.
    HKEY* receive() noexcept { return &key_; }

private:
    HKEY key_ = nullptr;
};

// A data blob whose memory the system allocated and LocalFree releases.
class OwnedLocalBlob {
public:
    OwnedLocalBlob() = default;
    OwnedLocalBlob(const OwnedLocalBlob&) = delete;
    OwnedLocalBlob& operator=(const OwnedLocalBlob&) = delete;
    ~OwnedLocalBlob() { if (blob.pbData) LocalFree(blob.pbData); }

    DATA_BLOB blob{};
};

} // namespace tessaline::win
