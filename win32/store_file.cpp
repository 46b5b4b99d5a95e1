// The file store on Windows (the tests' stores; the program itself keeps its
// settings in the registry): LockFileEx beside the store, FlushFileBuffers and
// MoveFileEx over the old file, and FormatMessage's words for what failed, which
// the registry's messages use too.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>

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
    if (!file.ok()) {
        const DWORD error = GetLastError();
        stamp.exists = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    } else if (!StampOf(file.h, stamp)) {
        stamp = {};
    }
    return stamp;
}

std::optional<std::string> Read(const std::string& path, std::string& why) {
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file.ok()) {
        why = ErrorText(GetLastError());
        return std::nullopt;
    }
    if (GetFileType(file.h) != FILE_TYPE_DISK || !GetFileSizeEx(file.h, &size)) {
        why = "not a regular file";
        return std::nullopt;
    }
    std::string bytes;
    char buf[8192];
    for (;;) {
        DWORD got = 0;
        if (std::uint64_t(size.QuadPart) > kMaxRegFileSize || bytes.size() > kMaxRegFileSize) {
            why = kTooLargeReason;
            return std::nullopt;
        }
        if (!ReadFile(file.h, buf, sizeof buf, &got, nullptr)) {
            why = ErrorText(GetLastError());
            return std::nullopt;
        }
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

bool Replace(const std::string& path, const std::string& text, FileRegistryStamp& written, std::string& why) {
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
        if (!ok) why = ErrorText(GetLastError());
    }
    // The renamed file keeps its identity, size and time, so the stamp stays true. A
    // read-only file refuses to be replaced.
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        why = ErrorText(GetLastError());
        ok = false;
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

std::string ErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide(text ? text : L"", length);
    if (text) LocalFree(text);
    while (!wide.empty() && (iswspace(wide.back()) || wide.back() == L'.')) wide.pop_back();
    if (wide.empty()) return "error " + std::to_string(code);
    std::string utf8(std::size_t(WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                                     nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), int(utf8.size()), nullptr,
                        nullptr);
    return utf8;
}

}  // namespace quipix::platform::store_file
