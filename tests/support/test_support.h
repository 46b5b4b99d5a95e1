// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quipix::test {

// A fresh, empty folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    // Writes bytes to a file in this folder and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path path_;
};

std::filesystem::path SourceDir();                  // the source tree
std::string DataPath(const std::string& relative);  // tests/data/<relative>
std::filesystem::path SharedCorpora();              // ../shared/corpora (may not exist)
std::vector<std::uint8_t> ReadBytes(const std::string& path);
// Installs the platform's text engine at 96 dpi, as the test programs start with it.
void InstallPlatformTextEngine();
// Whether this build has a text engine: one without a front end has none.
bool HasTextEngine();

}  // namespace quipix::test

// Skips a test that measures or draws text in a build without a text engine.
#define QUIPIX_NEEDS_TEXT_ENGINE() \
    if (!::quipix::test::HasTextEngine()) GTEST_SKIP() << "this build has no text engine"
