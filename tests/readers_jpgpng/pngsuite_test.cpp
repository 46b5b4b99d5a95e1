// Conformance over the public PNG test suite (read from the shared corpora folder,
// skipped when it is absent). Each valid file is compared with its decoded RGBA
// reference after applying, to the reference, what the reader does by rule:
// transparency composited over the file's background colour (or black), 16-bit
// samples cut to their high byte, and the load's gamma correction from the file's
// gamma to the display gamma. Every deliberately corrupt file (x*) is refused by the
// PNG reader with its message.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fixtures.h"
#include "imaging/exceptions.h"
#include "imaging/file_format_reader.h"
#include "imaging/stream.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

namespace fs = std::filesystem;

fs::path SuiteDir() { return SharedCorpora() / "pngsuite"; }

std::vector<std::int64_t> ReadNumbers(const fs::path& path) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int64_t> out;
    std::int64_t value = 0;
    bool inNumber = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            inNumber = true;
        } else if (inNumber) {
            out.push_back(value);
            value = 0;
            inNumber = false;
        }
    }
    if (inNumber) out.push_back(value);
    return out;
}

std::map<std::string, Bytes> Chunks(const Bytes& file) {
    std::map<std::string, Bytes> chunks;
    std::size_t pos = 8;
    while (pos + 8 <= file.size()) {
        const std::size_t n =
            (std::size_t(file[pos]) << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
        const std::string type(file.begin() + std::int64_t(pos) + 4, file.begin() + std::int64_t(pos) + 8);
        if (pos + 12 + n > file.size()) break;
        chunks.emplace(type,
                       Bytes(file.begin() + std::int64_t(pos) + 8, file.begin() + std::int64_t(pos + 8 + n)));
        pos += 12 + n;
    }
    return chunks;
}

unsigned U16(const Bytes& b, std::size_t i) { return (unsigned(b[i]) << 8) | b[i + 1]; }

// The reference pixels as the reader is meant to deliver them.
Pnm Expected(const Bytes& file, const std::vector<std::int64_t>& rgba) {
    const auto chunks = Chunks(file);
    const Bytes& ihdr = chunks.at("IHDR");
    const int depth = ihdr[8], colorType = ihdr[9];
    const bool wide = depth == 16;
    const std::int64_t max = wide ? 65535 : 255;
    const bool transparent = (colorType & 4) || chunks.count("tRNS");
    std::int64_t back[3] = {0, 0, 0};
    if (transparent && chunks.count("bKGD")) {
        const Bytes& b = chunks.at("bKGD");
        if (colorType == 3) {
            const Bytes& plte = chunks.at("PLTE");
            for (int c = 0; c < 3; ++c) back[c] = plte[b[0] * 3 + c];
        } else if (colorType & 2) {
            for (int c = 0; c < 3; ++c) back[c] = U16(b, 2 * c);
        } else {
            const std::int64_t g = U16(b, 0);
            back[0] = back[1] = back[2] = wide || depth == 8 ? g : g * 255 / ((1 << depth) - 1);
        }
        // A 16-bit background is used through its high byte, widened again.
        if (wide)
            for (std::int64_t& v : back) v = (v >> 8) * 257;
    }
    double ratio = 1;
    if (chunks.count("gAMA"))
        ratio = (100000.0 / double(U16(chunks.at("gAMA"), 0) * 65536L + U16(chunks.at("gAMA"), 2))) /
                PGDisplayGamma;
    const bool correct = std::fabs(ratio - 1) > 0.05;
    const auto gamma = [&](std::int64_t v) {
        if (!correct || v == 0 || v == 255) return v;
        return std::int64_t(std::nearbyint(255.0 * std::pow(v / 255.0, ratio)));
    };
    Pnm out{.width = int(U16(ihdr, 0) << 16 | U16(ihdr, 2)),
            .height = int(U16(ihdr, 4) << 16 | U16(ihdr, 6)),
            .channels = 3,
            .maxval = 255};
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            std::int64_t v = rgba[i + c];
            if (transparent) {
                const std::int64_t a = rgba[i + 3];
                // The library's rounding of fg * a + bg * (max - a) over max.
                const std::int64_t t = v * a + back[c] * (max - a) + (max + 1) / 2;
                v = wide ? (t + (t >> 16)) >> 16 : (t + (t >> 8)) >> 8;
            }
            out.samples.push_back(int(gamma(wide ? v >> 8 : v)));
        }
    }
    return out;
}

TEST(PngSuite, ValidFilesMatchTheirReferences) {
    if (!fs::is_directory(SuiteDir() / "png")) GTEST_SKIP() << "no PNG suite in the corpora";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(SuiteDir() / "png")) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".png" || name[0] == 'x') continue;
        const fs::path json = SuiteDir() / "json" / (name + ".json");
        if (!fs::exists(json)) continue;
        SCOPED_TRACE(name);
        const Bytes file = ReadBytes(entry.path().string());
        TPixelGraphic image;
        image.ReadWarningAction = pgwaIgnore;
        ASSERT_NO_THROW(image.LoadPictureFile(entry.path().string()));
        const Pnm want = Expected(file, ReadNumbers(json));
        ASSERT_EQ(std::size_t(want.width) * std::size_t(want.height) * 3, want.samples.size());
        // One step for the rounding of compositing before the gamma table.
        EXPECT_TRUE(SamePixels(image, want, 1));
        ++compared;
    }
    EXPECT_GT(compared, 150);
}

TEST(PngSuite, CorruptFilesAreRefusedWithTheReaderMessage) {
    if (!fs::is_directory(SuiteDir() / "png")) GTEST_SKIP() << "no PNG suite in the corpora";
    int refused = 0;
    for (const auto& entry : fs::directory_iterator(SuiteDir() / "png")) {
        const std::string name = entry.path().stem().string();
        if (name[0] != 'x') continue;
        SCOPED_TRACE(name);
        const Bytes file = ReadBytes(entry.path().string());
        for (TPGWarningAction action : {pgwaIgnore, pgwaRaise}) {
            TPixelGraphic image;
            image.ReadWarningAction = action;
            TPGMemoryStream stream(file);
            const std::string message = MessageOf<EPGPNGFileFormatReaderWriter>(
                [&] { RegisteredReader("png").ReadImage(stream, image, 0); });
            EXPECT_TRUE(message.starts_with("PNG: ")) << "loaded, or " << message;
            // Through the registry the file fails too (a broken signature finds no reader).
            EXPECT_THROW(image.LoadPictureFile(entry.path().string()), EPixelGraphic);
        }
        ++refused;
    }
    EXPECT_GE(refused, 14);
}

}  // namespace
}  // namespace quipix::test
