// The per-user file store of the settings: one REGEDIT4 file, re-read whenever
// another process may have saved, replaced whole and atomically under a lock.
#include "platform/registry.h"

#include "common/ascii.h"
#include "common/translate.h"
#include "platform/store_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace quipix::platform {

namespace {
namespace fs = std::filesystem;
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
using ascii::SameText;
}  // namespace

FileRegistry::FileRegistry(std::string path) : path_(std::move(path)) {}

namespace {

fs::path FolderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// The file a save replaces: the store's path, or the file its symbolic links lead
// to, so that a link (into a folder of dotfiles, say) stays a link.
fs::path SaveTarget(const fs::path& path) {
    fs::path target = path;
    std::error_code ec;
    for (int links = 0; links < 40 && fs::is_symlink(target, ec); ++links) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : FolderOf(target) / next;
    }
    return target;
}

// Earlier versions saved through uniquely named temporary files (the store's name,
// a dot and six letters or digits); those that interrupted saves left behind go.
void RemoveOldTemporaries(const fs::path& target) {
    const std::string prefix = target.filename().string() + ".";
    std::error_code ec;
    for (fs::directory_iterator it(FolderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
            std::all_of(name.begin() + std::ptrdiff_t(prefix.size()), name.end(),
                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
            fs::remove(it->path(), ec);
    }
}

}  // namespace

void FileRegistry::Refresh() {
    // A batch works on the file as it was when the batch took the lock.
    if (batchDepth_ > 0) return;
    const FileRegistryStamp now = store_file::Stamp(path_);
    // A file that could not be read is tried again: mended permissions do not show
    // in its stamp.
    if (stamp_ && *stamp_ == now && unreadable_.empty()) return;
    stamp_ = now;
    contents_ = {};
    unreadable_.clear();
    if (!now.exists) return;
    std::string why;
    if (auto bytes = store_file::Read(path_, why))
        contents_ = ParseRegFile(*bytes);
    else
        unreadable_ = why.empty() ? "unknown error" : why;
}

std::string FileRegistry::ReadFailure() {
    Refresh();
    return Unreadable();
}

std::string FileRegistry::Unreadable() const {
    if (unreadable_.empty()) return {};
    return TrFormat(N_("The settings file at %s cannot be read (%s) and will not be changed."), {path_, unreadable_});
}

void FileRegistry::BeginBatch() {
    if (batchDepth_ > 0) {
        ++batchDepth_;
        return;
    }
    std::error_code ec;
    fs::create_directories(FolderOf(path_), ec);
    lock_ = store_file::Lock(path_);
    changed_ = false;
    Refresh();  // under the lock: what another process saved last is kept
    batchDepth_ = 1;
}

bool FileRegistry::EndBatch() {
    if (batchDepth_ == 0) return false;
    if (--batchDepth_ > 0) return true;
    const bool ok = !changed_ || Save();
    changed_ = false;
    lock_.reset();
    return ok;
}

namespace {
std::string FullPath(const std::string& key) {
    return key.empty() ? std::string(kRoot) : std::string(kRoot) + "\\" + key;
}
RegFileKey* FindKey(RegFileContents& c, const std::string& full) {
    for (auto& k : c.keys)
        if (SameText(k.path, full)) return &k;
    return nullptr;
}
bool Implied(const RegFileContents& c, const std::string& full) {
    for (const auto& k : c.keys)
        if (k.path.size() > full.size() && k.path[full.size()] == '\\' &&
            SameText(std::string_view(k.path).substr(0, full.size()), full))
            return true;
    return false;
}
}  // namespace

bool FileRegistry::KeyExists(const std::string& key) {
    Refresh();
    auto full = FullPath(key);
    return FindKey(contents_, full) || Implied(contents_, full);
}

bool FileRegistry::CreateKey(const std::string& key) {
    if (KeyExists(key)) return true;
    RegistryBatch batch(*this);
    if (!KeyExists(key)) {
        contents_.keys.push_back({FullPath(key), {}});
        // A damaged file keeps its bytes until a value is really written.
        if (!contents_.damaged) changed_ = true;
    }
    return batch.End();
}

std::optional<RegValue> FileRegistry::ReadValue(const std::string& key, const std::string& name) {
    Refresh();
    auto* k = FindKey(contents_, FullPath(key));
    if (!k) return std::nullopt;
    for (const auto& [n, v] : k->values)
        if (SameText(n, name)) return v;
    return std::nullopt;
}

bool FileRegistry::WriteValue(const std::string& key, const std::string& name, const RegValue& value) {
    RegistryBatch batch(*this);
    if (!KeyExists(key)) return false;
    auto full = FullPath(key);
    auto* k = FindKey(contents_, full);
    if (!k) {
        contents_.keys.push_back({full, {}});
        k = &contents_.keys.back();
    }
    auto same = std::find_if(k->values.begin(), k->values.end(),
                             [&](const auto& v) { return SameText(v.first, name); });
    if (same == k->values.end()) {
        k->values.emplace_back(name, value);
        changed_ = true;
    } else if (same->second != value) {
        same->second = value;
        changed_ = true;
    }
    return batch.End();
}

// One temporary file of a fixed name, one fsync, one rename. The lock makes the
// fixed name safe, and an interrupted save's leftover is simply replaced.
bool FileRegistry::Save() {
    const auto fail = [this](std::string failure) {
        writeFailure_ = std::move(failure);
        stamp_.reset();  // the next read takes the file as it really is
        return false;
    };
    const auto cannotSave = [&](const std::string& reason) {
        return fail(TrFormat(N_("Cannot save the settings to %s: %s"), {path_, reason}));
    };
    // Values this program never saw would be lost.
    if (!unreadable_.empty()) return fail(Unreadable());
    const auto text = FormatRegFile(contents_);
    // What the next load would refuse is never written.
    if (text.size() > kMaxRegFileSize) return cannotSave("the settings would be " + std::string(kTooLargeReason));
    std::error_code ec;
    const fs::path target = SaveTarget(path_);
    fs::create_directories(FolderOf(target), ec);
    if (ec) return cannotSave(ec.message());
    FileRegistryStamp written;
    std::string why;
    if (!store_file::Replace(target.string(), text, written, why)) return cannotSave(why);
    RemoveOldTemporaries(target);
    contents_.damaged = false;
    stamp_ = written;
    return true;
}

}  // namespace quipix::platform
