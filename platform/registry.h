// The settings store: a registry-shaped interface (keys below HKEY_CURRENT_USER,
// typed values), the REGEDIT4 text format and the file store, one such file per user.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quipix::platform {

// Registry value types as Windows numbers them (REG_SZ, ...); everything that is
// neither a string nor an expand-string is "other" to the settings code. A value
// may carry any other number a file names, so the type stays a plain number.
enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegString = 1,        // REG_SZ
    kRegExpandString = 2,  // REG_EXPAND_SZ
    kRegBinary = 3,        // REG_BINARY
    kRegDWord = 4,         // REG_DWORD
};

struct RegValue {
    std::uint32_t type = kRegString;  // a RegType, or any other type the file names
    std::string data;                 // strings: the text without its terminator; others: raw bytes

    bool IsString() const { return type == kRegString || type == kRegExpandString; }
    static RegValue String(std::string text) { return {kRegString, std::move(text)}; }
    static RegValue ExpandString(std::string text) { return {kRegExpandString, std::move(text)}; }
    static RegValue DWord(std::uint32_t value);
    bool operator==(const RegValue&) const = default;
};

// Key paths are relative to HKEY_CURRENT_USER, separated by "\", and like value
// names they match regardless of ASCII letter case.
class Registry {
public:
    virtual ~Registry() = default;
    virtual bool KeyExists(const std::string& key) = 0;
    // Creates the key and its parents. False when the store cannot be written.
    virtual bool CreateKey(const std::string& key) = 0;
    // The value, or nothing when the key or the value does not exist.
    virtual std::optional<RegValue> ReadValue(const std::string& key, const std::string& name) = 0;
    // Sets the value in an existing key. False when the key does not exist or the
    // store cannot be written.
    virtual bool WriteValue(const std::string& key, const std::string& name, const RegValue& value) = 0;

    // Groups the changes up to EndBatch into one update of the store, so that a
    // crash or another process sees all of them or none. A store that writes each
    // change at once (the Windows registry) needs neither.
    virtual void BeginBatch() {}
    // Stores the batch; false when it could not, and then none of it is stored.
    virtual bool EndBatch() { return true; }

    // Why the store, which exists, cannot be read: a sentence naming the store and
    // the system's reason, empty when it can be read or does not exist yet. Such a
    // store is never written, as it holds values this program never saw: every
    // change fails with this sentence as its reason.
    virtual std::string ReadFailure() { return {}; }
    // Why the last change or batch that failed was not stored: a sentence naming the
    // store and the system's reason; empty when the store cannot tell.
    virtual std::string WriteFailure() const { return {}; }
};

// Groups the changes of one scope; EndBatch runs even when the scope is left by
// an exception, so that the store never stays locked.
class RegistryBatch {
public:
    explicit RegistryBatch(Registry& store) : store_(store) { store_.BeginBatch(); }
    ~RegistryBatch() {
        if (open_) store_.EndBatch();
    }
    bool End() {
        open_ = false;
        return store_.EndBatch();
    }
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;

private:
    Registry& store_;
    bool open_ = true;
};

// One key of a parsed registry file: its full path ("HKEY_CURRENT_USER\...") and
// its values in file order.
struct RegFileKey {
    std::string path;
    std::vector<std::pair<std::string, RegValue>> values;
};

struct RegFileContents {
    std::vector<RegFileKey> keys;
    bool damaged = false;  // some part could not be read and was left out
};

// Reads a REGEDIT4 file or a UTF-16 "Windows Registry Editor Version 5.00" export.
// Never fails: what cannot be read is left out and marks the result damaged.
RegFileContents ParseRegFile(const std::string& bytes);
// Writes REGEDIT4 text.
std::string FormatRegFile(const RegFileContents& contents);

// The largest settings file the store reads; it never writes a larger one.
inline constexpr std::uint64_t kMaxRegFileSize = 4u << 20;
// The reason a store gives for a file or value over that size.
inline constexpr std::string_view kTooLargeReason = "larger than 4 MiB";

// What tells one version of the store's file from another.
struct FileRegistryStamp {
    bool exists = false;
    std::uint64_t dev = 0, ino = 0, size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileRegistryStamp&) const = default;
};

// The per-user file store. Every read looks at the file as it is now (another
// process may have saved since). A change, or a batch of them, re-reads the file
// and replaces it whole and atomically while holding an advisory lock on a file
// beside it, so that processes saving at once never lose each other's values by
// halves. A file with unreadable parts is left alone until a value is written; a
// file that cannot be read at all is never written. A symbolic link is saved
// through: the file it leads to is replaced, and the link stays. A file without
// write permission is not replaced.
class FileRegistry : public Registry {
public:
    explicit FileRegistry(std::string path);
    const std::string& path() const { return path_; }

    bool KeyExists(const std::string& key) override;
    bool CreateKey(const std::string& key) override;
    std::optional<RegValue> ReadValue(const std::string& key, const std::string& name) override;
    bool WriteValue(const std::string& key, const std::string& name, const RegValue& value) override;
    void BeginBatch() override;
    bool EndBatch() override;
    std::string ReadFailure() override;
    std::string WriteFailure() const override { return writeFailure_; }

private:
    void Refresh();
    std::string Unreadable() const;  // ReadFailure() of the file as last read
    bool Save();

    std::string path_;
    RegFileContents contents_;
    std::string unreadable_;    // the system's reason, when the file exists but cannot be read
    std::string writeFailure_;  // of the last save that failed
    int batchDepth_ = 0;
    bool changed_ = false;                    // in the current batch
    std::shared_ptr<void> lock_;              // held while a batch runs
    std::optional<FileRegistryStamp> stamp_;  // of the file contents_ came from
};

#ifndef _WIN32
// $XDG_CONFIG_HOME/Kelvara/Quipix.reg, ~/.config/Kelvara/Quipix.reg without it.
std::string DefaultRegistryPath();
#endif
// The user's own store: the registry on Windows, the file at DefaultRegistryPath()
// elsewhere.
std::shared_ptr<Registry> MakeUserRegistry();
// The store the settings use: MakeUserRegistry()'s unless one was installed. Installing nullptr goes back to that default.
Registry& CurrentRegistry();
void InstallRegistry(std::shared_ptr<Registry> registry);

}  // namespace quipix::platform
