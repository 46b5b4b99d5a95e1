// The settings store on Windows: the registry of the current user. Every change
// is written at once, so the store needs no batches.
#include <windows.h>

#include "common/translate.h"
#include "platform/registry.h"
#include "platform/store_file.h"

namespace quipix::platform {

namespace {

class Key {
public:
    Key(const std::string& path, REGSAM access)
        : error_(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &h_)) {
        if (error_ != ERROR_SUCCESS) h_ = nullptr;
    }
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return h_; }
    LONG error() const { return error_; }

private:
    HKEY h_ = nullptr;
    LONG error_;
};

std::string FullPath(const std::string& key) { return "HKEY_CURRENT_USER\\" + key; }

class WindowsRegistry : public Registry {
public:
    bool KeyExists(const std::string& key) override {
        Key k(key, KEY_READ);
        NoteRead(key, k.error());
        return k.get() != nullptr;
    }

    bool CreateKey(const std::string& key) override {
        if (!readFailure_.empty()) return Refuse();
        HKEY h = nullptr;
        const LONG rc =
            RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
        if (rc != ERROR_SUCCESS) return Fail(key, store_file::ErrorText(DWORD(rc)));
        RegCloseKey(h);
        return true;
    }

    std::optional<RegValue> ReadValue(const std::string& key, const std::string& name) override {
        Key k(key, KEY_QUERY_VALUE);
        NoteRead(key, k.error());
        if (!k.get()) return std::nullopt;
        RegValue value;
        DWORD type = 0, size = 0;
        LONG rc = RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, nullptr, &size);
        // The value may grow between the two calls; another try takes its new size.
        for (int tries = 0; rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA; ++tries) {
            if (size > kMaxRegFileSize || tries == 4) {
                NoteRead(key, std::string(kTooLargeReason));
                return std::nullopt;
            }
            value.data.resize(size);
            rc = RegQueryValueExA(k.get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(value.data.data()), &size);
            if (rc != ERROR_SUCCESS) continue;
            value.data.resize(size);
            value.type = type;
            // Strings are kept without their terminator (a value may lack one).
            if (value.IsString() && !value.data.empty() && value.data.back() == '\0') value.data.pop_back();
            return value;
        }
        NoteRead(key, rc);
        return std::nullopt;
    }

    bool WriteValue(const std::string& key, const std::string& name, const RegValue& value) override {
        if (!readFailure_.empty()) return Refuse();
        Key k(key, KEY_SET_VALUE);
        if (!k.get()) return Fail(key, store_file::ErrorText(DWORD(k.error())));
        std::string bytes = value.data;
        if (value.IsString()) bytes += '\0';
        if (bytes.size() > kMaxRegFileSize) return Fail(key, std::string(kTooLargeReason));
        const LONG rc = RegSetValueExA(k.get(), name.c_str(), 0, value.type,
                                       reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
        return rc == ERROR_SUCCESS || Fail(key, store_file::ErrorText(DWORD(rc)));
    }

    std::string ReadFailure() override { return readFailure_; }
    std::string WriteFailure() const override { return writeFailure_; }

private:
    // A key or value that the system refuses to read, unlike one that is missing,
    // makes the store unreadable for the rest of the process.
    void NoteRead(const std::string& key, LONG rc) {
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) NoteRead(key, store_file::ErrorText(DWORD(rc)));
    }
    void NoteRead(const std::string& key, const std::string& reason) {
        if (readFailure_.empty())
            readFailure_ = TrFormat(N_("The settings key %s cannot be read (%s) and will not be changed."),
                                    {FullPath(key), reason});
    }
    bool Fail(const std::string& key, const std::string& reason) {
        writeFailure_ = TrFormat(N_("Cannot save the settings to %s: %s"), {FullPath(key), reason});
        return false;
    }
    bool Refuse() {
        writeFailure_ = readFailure_;
        return false;
    }

    std::string readFailure_, writeFailure_;
};

}  // namespace

std::shared_ptr<Registry> MakeUserRegistry() { return std::make_shared<WindowsRegistry>(); }

}  // namespace quipix::platform
