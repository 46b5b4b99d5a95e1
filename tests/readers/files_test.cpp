// Real files made by an independent encoder (tests/data/<format>), each compared
// pixel for pixel with the PPM the same tool decoded from it (for TGA with its
// orientation applied: the tool keeps a TGA's row order as a tag); every file cut every
// few bytes; the malformed files found by fuzzing; the TIFF library's test pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "imaging/exceptions.h"
#include "imaging/readers/readers.h"
#include "reader_fixture.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

namespace fs = std::filesystem;

const char* const kFormats[] = {
    "bmp",  "pcx", "tga", "pxm", "tif",
#ifdef QUIPIX_HAVE_WEBP
    "webp",
#endif
#ifdef QUIPIX_HAVE_GIF
    "gif",
#endif
};

std::unique_ptr<TFileFormatReader> ReaderFor(const std::string& format) {
    if (format == "bmp") return MakeBMPReader("bmp");
#ifdef QUIPIX_HAVE_WEBP
    if (format == "webp") return MakeWEBPReader();
#endif
#ifdef QUIPIX_HAVE_GIF
    if (format == "gif") return MakeGIFReader();
#endif
    if (format == "pcx") return MakePCXReader();
    if (format == "tga") return MakeTGAReader();
    if (format == "pxm") return MakePxMReader("ppm");
    return MakeTIFReader("tif");
}

bool IsReference(const fs::path& p) { return p.string().ends_with(".expected.ppm"); }

// The files of a data folder; in malformed/ only those of this suite's readers,
// named <reader>-<what>.
std::vector<fs::path> Files(const std::string& folder) {
    std::vector<fs::path> out;
    const fs::path dir = DataPath(folder);
    if (!fs::is_directory(dir)) return out;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file() || IsReference(e.path())) continue;
        const std::string name = e.path().filename().string();
        if (folder == "malformed" &&
            std::none_of(std::begin(kFormats), std::end(kFormats),
                         [&](const char* f) { return name.starts_with(std::string(f) + "-"); }))
            continue;
        out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ReaderFiles, MatchTheirIndependentlyDecodedPixels) {
    // Files without a reference: the encoder's CMYK conversion is not our subtraction
    // rule (that rule is tested on built files).
    const std::set<std::string> noReference = {"cmyk.tif"};
    int compared = 0;
    for (const char* format : kFormats) {
        for (const fs::path& file : Files(format)) {
            const std::string name = file.filename().string();
            SCOPED_TRACE(name);
            const auto bytes = ReadBytes(file.string());
            const std::string extension = file.extension().string().substr(1);
            auto image = Load(bytes, extension);
            const fs::path ref = file.parent_path() / (file.stem().string() + ".expected.ppm");
            if (noReference.count(name)) {
                EXPECT_FALSE(fs::exists(ref));
                EXPECT_FALSE(image->Empty());
                continue;
            }
            ASSERT_TRUE(fs::exists(ref));
            const Pnm expected = ReadPnm(ref.string());
            // Where the rules differ, by how far at most. A TIFF colour map entry is
            // taken as the high byte of its 16-bit value, where the encoder's decoder
            // rounds value / 257. Alpha is composited with integer rounding. A 16-bit
            // BMP channel v of 5 bits becomes 8 v + 8, where the encoder's decoder
            // shifts it to 8 v. WebP's references come from the same library's decoder
            // (there is no other), so they check our rows, flips and compositing.
            int tolerance = 0;
            if (name.starts_with("pal") && format == std::string("tif")) tolerance = 1;
            if (name.find("rgba") != std::string::npos || name.starts_with("alpha")) tolerance = 1;
            if (name.find("565") != std::string::npos) tolerance = 8;
            EXPECT_TRUE(SamePixels(*image, expected, tolerance));
            // Copied through the readers' buffers, as from a file, the same.
            EXPECT_TRUE(SamePixels(*Load(bytes, extension, pgwaRaise, true), expected, tolerance));
            ++compared;
        }
    }
    EXPECT_GE(compared, 40);
}

// Every prefix of every file (each byte for small files, every few bytes for larger)
// either loads or raises an exception of the picture family or a stream read error.
TEST(ReaderFiles, TruncatedAtEveryFewBytesEndCleanly) {
    std::vector<std::string> folders(std::begin(kFormats), std::end(kFormats));
    folders.push_back("malformed");
    for (const std::string& folder : folders) {
        for (const fs::path& file : Files(folder)) {
            const std::string name = file.filename().string();
            SCOPED_TRACE(name);
            const std::string format = folder == "malformed" ? name.substr(0, name.find('-')) : folder;
            auto reader = ReaderFor(format);
            const auto bytes = ReadBytes(file.string());
            const std::size_t step = std::max<std::size_t>(1, bytes.size() / 300);
            for (std::size_t n = 0; n <= bytes.size(); n += step) {
                const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
                try {
                    auto image = Read(*reader, cut, pgwaIgnore);
                    if (!image->Empty()) (void)image->Pixels(image->Width() - 1, image->Height() - 1);
                } catch (const EPixelGraphic&) {
                } catch (const EReadError&) {
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "cut at " << n << ": " << e.what();
                }
                try {
                    TPGMemoryStream s(cut);
                    (void)reader->GetImageInfo(s, 0);
                } catch (const EPixelGraphic&) {
                } catch (const EReadError&) {
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "info cut at " << n << ": " << e.what();
                }
            }
        }
    }
}

// Hostile files, named <reader>-<what>: headers that would allocate far more than
// the file holds, sizes that would index past a line, lists past the end. Each is
// refused with its message before anything large is allocated.
TEST(ReaderFiles, MalformedFilesAreRefusedWithTheirMessages) {
    const std::map<std::string, std::string> expected = {
#include "malformed_messages.inc"
    };
    for (const fs::path& file : Files("malformed")) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "add the file's message to malformed_messages.inc";
        auto reader = ReaderFor(name.substr(0, name.find('-')));
        std::string message;
        try {
            Read(*reader, ReadBytes(file.string()), pgwaRaise);
        } catch (const std::exception& e) {
            message = e.what();
        }
        EXPECT_EQ(message, it->second);
    }
}

// The TIFF library's own pictures: supported ones match their PBM/PGM/PPM twins,
// the others are refused with the reader's message, never a crash or a hang.
TEST(ReaderFiles, TiffLibraryTestPictures) {
    const fs::path dir = SharedCorpora() / "libtiff-test-images";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no " << dir;
    const std::map<std::string, std::string> refused = {
#include "tiff_corpus_messages.inc"
    };
    auto reader = MakeTIFReader("tif");
    int loaded = 0, matched = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        const std::string ext = e.path().extension().string();
        if (ext != ".tif" && ext != ".tiff") continue;
        SCOPED_TRACE(name);
        std::string message;
        std::unique_ptr<TPixelGraphic> image;
        try {
            image = Read(*reader, ReadBytes(e.path().string()), pgwaRaise);
        } catch (const std::exception& ex) {
            message = ex.what();
        }
        const auto it = refused.find(name);
        if (it != refused.end()) {
            EXPECT_EQ(message, it->second);
            continue;
        }
        if (!message.empty()) {
            ADD_FAILURE() << "unexpected refusal: " << message;
            continue;
        }
        ++loaded;
        for (const char* twin : {".ppm", ".pgm", ".pbm"}) {
            const fs::path ref = dir / (e.path().stem().string() + twin);
            if (!fs::exists(ref)) continue;
            EXPECT_TRUE(SamePixels(*image, ReadPnm(ref.string())));
            ++matched;
        }
    }
    EXPECT_GE(loaded, 15);
    EXPECT_GE(matched, 4);
}

}  // namespace
}  // namespace quipix::test
