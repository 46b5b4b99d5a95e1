// Every JPEG and PNG fixture cut every few bytes, and with bytes flipped, under both
// warning actions: each load either succeeds with the file's size or fails with a
// library exception; nothing else may happen.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures.h"
#include "imaging/exceptions.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Fixtures() {
    std::vector<fs::path> out;
    for (const char* folder : {"jpg", "png"})
        for (const auto& e : fs::directory_iterator(DataPath(folder)))
            if (e.path().extension() == ".jpg" || e.path().extension() == ".png") out.push_back(e.path());
    return out;
}

// Loads and reports what happened: "ok", "error" or the unexpected kind.
std::string TryLoad(const Bytes& bytes, TPGWarningAction action, int width) {
    TPixelGraphic image;
    image.ReadWarningAction = action;
    try {
        LoadBytes(image, bytes);
    } catch (const EPixelGraphic&) {
        return "error";
    } catch (const std::exception& e) {
        return std::string("foreign exception: ") + e.what();
    }
    if (image.Width() != width) return "wrong width " + std::to_string(image.Width());
    return "ok";
}

TEST(ReaderRobustness, EveryCutOfEveryFixtureEndsCleanly) {
    const auto files = Fixtures();
    ASSERT_GE(files.size(), 10u);
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const Bytes whole = ReadBytes(path.string());
        TPixelGraphic reference;
        reference.ReadWarningAction = pgwaIgnore;
        bool valid = true;
        try {
            LoadBytes(reference, whole);
        } catch (const EPixelGraphic&) {
            valid = false;  // the refused kinds (CMYK) must keep being refused
        }
        const std::size_t step = std::max<std::size_t>(1, whole.size() / 150);
        for (std::size_t cut = 0; cut < whole.size(); cut += step) {
            const Bytes part(whole.begin(), whole.begin() + long(cut));
            for (TPGWarningAction action : {pgwaIgnore, pgwaRaise}) {
                const std::string result = TryLoad(part, action, reference.Width());
                EXPECT_TRUE(result == "ok" || result == "error") << cut << ": " << result;
                // A cut file never passes silently when warnings are raised, except
                // when only the end marker or trailing chunks are missing.
                if (action == pgwaRaise && valid && result == "ok") {
                    EXPECT_GT(cut, whole.size() - 16) << cut;
                }
            }
        }
    }
}

TEST(ReaderRobustness, FlippedBytesEndCleanly) {
    for (const fs::path& path : Fixtures()) {
        SCOPED_TRACE(path.filename().string());
        const Bytes whole = ReadBytes(path.string());
        for (std::size_t i = 2; i < whole.size(); i += 7) {
            Bytes bad = whole;
            bad[i] ^= 0xA5;
            const std::string result = TryLoad(bad, pgwaIgnore, -1);
            EXPECT_TRUE(result == "error" || result.rfind("wrong width", 0) == 0) << i << ": " << result;
        }
    }
}

}  // namespace
}  // namespace quipix::test
