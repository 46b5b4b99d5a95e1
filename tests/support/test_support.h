// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
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
// The languages of the catalogues (po/LINGUAS), and one's compiled catalogue.
std::vector<std::string> CatalogueLanguages();
std::string CompiledCatalogue(const std::string& language);
// Tr() answers from a compiled catalogue for the scope, English again after it.
class ScopedCatalogue {
public:
    explicit ScopedCatalogue(std::string bytes);
    ~ScopedCatalogue();
    ScopedCatalogue(const ScopedCatalogue&) = delete;
    ScopedCatalogue& operator=(const ScopedCatalogue&) = delete;

private:
    std::function<std::string_view(std::string_view)> previous_;
};
// The message of the E that f throws, or "no exception".
template <class E, class F>
std::string Thrown(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "no exception";
}
// Installs the platform's text engine at 96 dpi, as the test programs start with it.
void InstallPlatformTextEngine();
// Whether this build has a text engine: one without a front end has none.
bool HasTextEngine();

}  // namespace quipix::test

// Skips a test that measures or draws text in a build without a text engine.
#define QUIPIX_NEEDS_TEXT_ENGINE() \
    if (!::quipix::test::HasTextEngine()) GTEST_SKIP() << "this build has no text engine"
