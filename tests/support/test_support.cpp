#include "test_support.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "common/translate.h"
#include "imaging/text_engine.h"

namespace quipix::test {

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("quipix-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    auto p = path_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return p.string();
}

std::string TempDir::write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    return write(name, std::string(bytes.begin(), bytes.end()));
}

bool HasTextEngine() { return CurrentTextEngine() != nullptr; }

std::filesystem::path SourceDir() { return QUIPIX_SOURCE_DIR; }

std::vector<std::string> CatalogueLanguages() {
    std::ifstream list(SourceDir() / "po" / "LINGUAS");
    std::vector<std::string> languages;
    for (std::string line; std::getline(list, line);)
        if (!line.empty() && line[0] != '#') languages.push_back(line);
    return languages;
}

std::string CompiledCatalogue(const std::string& language) {
    const auto bytes = ReadBytes(QUIPIX_LOCALE_DIR "/" + language + "/LC_MESSAGES/quipix.mo");
    return std::string(bytes.begin(), bytes.end());
}

ScopedCatalogue::ScopedCatalogue(std::string bytes) {
    auto catalogue = std::make_shared<const MoCatalogue>(std::move(bytes));
    previous_ = InstallTranslator([catalogue](std::string_view english) { return catalogue->Find(english); });
}

ScopedCatalogue::~ScopedCatalogue() { InstallTranslator(previous_); }

std::string DataPath(const std::string& relative) { return std::string(QUIPIX_TEST_DATA) + "/" + relative; }

std::filesystem::path SharedCorpora() { return std::filesystem::path(QUIPIX_SHARED_DIR) / "corpora"; }

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quipix::test
