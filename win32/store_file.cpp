// The file store on Windows (the tests' stores; the program itself keeps its
// settings in the registry): LockFileEx beside the store, FlushFileBuffers and
// MoveFileEx over the old file.
#include <windows.h>

#include <algorithm>

#include "platform/store_file.h"

namespace quipix::platform::store_file {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

bool StampOf(HANDLE h, FileRegistryStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    const auto join = [](DWORD high, DWORD low) { return (std::uint64_t(high) << 32) | low; };
    stamp = {true, info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow),
             join(info.nFileSizeHigh, info.nFileSizeLow),
             std::int64_t(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime))};
    return true;
}

}  // namespace

FileRegistryStamp Stamp(const std::string& path) {
    Handle file(
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    FileRegistryStamp stamp;
    if (file.ok() && !StampOf(file.h, stamp)) stamp = {};
    return stamp;
}

std::optional<std::string> Read(const std::string& path) {
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file.ok() || GetFileType(file.h) != FILE_TYPE_DISK || !GetFileSizeEx(file.h, &size) ||
        std::uint64_t(size.QuadPart) > kMaxRegFileSize)
        return std::nullopt;
    std::string bytes;
    char buf[8192];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.h, buf, sizeof buf, &got, nullptr) || bytes.size() + got > kMaxRegFileSize)
            return std::nullopt;
        if (got == 0) return bytes;
        bytes.append(buf, got);
    }
}

std::shared_ptr<void> Lock(const std::string& path) {
    HANDLE h = CreateFileA((path + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(h);
        return nullptr;
    }
    // Closing the handle releases the lock.
    return std::shared_ptr<void>(h, [](void* handle) { CloseHandle(handle); });
}

bool Replace(const std::string& path, const std::string& text, FileRegistryStamp& written) {
    const std::string temp = path + ".tmp";
    DeleteFileA(temp.c_str());
    bool ok;
    {
        Handle file(CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = file.ok();
        for (std::size_t done = 0; ok && done < text.size();) {
            DWORD n = 0;
            const DWORD chunk = DWORD(std::min<std::size_t>(text.size() - done, 1u << 20));
            ok = WriteFile(file.h, text.data() + done, chunk, &n, nullptr) && n > 0;
            done += n;
        }
        ok = ok && FlushFileBuffers(file.h) && StampOf(file.h, written);
    }
    // The renamed file keeps its identity, size and time, so the stamp stays true.
    if (!ok || !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace quipix::platform::store_file
