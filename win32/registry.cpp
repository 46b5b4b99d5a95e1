// The settings store on Windows: the registry of the current user. Every change
// is written at once, so the store needs no batches.
#include <windows.h>

#include "platform/registry.h"

namespace quipix::platform {

namespace {

class Key {
public:
    Key(const std::string& path, REGSAM access) {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &h_) != ERROR_SUCCESS) h_ = nullptr;
    }
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

class WindowsRegistry : public Registry {
public:
    bool KeyExists(const std::string& key) override { return Key(key, KEY_READ).get() != nullptr; }

    bool CreateKey(const std::string& key) override {
        HKEY h = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }

    std::optional<RegValue> ReadValue(const std::string& key, const std::string& name) override {
        Key k(key, KEY_QUERY_VALUE);
        if (!k.get()) return std::nullopt;
        RegValue value;
        DWORD type = 0, size = 0;
        LONG rc = RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, nullptr, &size);
        // The value may grow between the two calls; another try takes its new size.
        for (int tries = 0; rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA; ++tries) {
            if (size > kMaxRegFileSize || tries == 4) return std::nullopt;
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
        return std::nullopt;
    }

    bool WriteValue(const std::string& key, const std::string& name, const RegValue& value) override {
        Key k(key, KEY_SET_VALUE);
        if (!k.get()) return false;
        std::string bytes = value.data;
        if (value.IsString()) bytes += '\0';
        if (bytes.size() > kMaxRegFileSize) return false;
        return RegSetValueExA(k.get(), name.c_str(), 0, value.type,
                              reinterpret_cast<const BYTE*>(bytes.data()),
                              DWORD(bytes.size())) == ERROR_SUCCESS;
    }
};

}  // namespace

std::shared_ptr<Registry> MakeUserRegistry() { return std::make_shared<WindowsRegistry>(); }

}  // namespace quipix::platform
