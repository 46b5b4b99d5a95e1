// --record: one whole joke, the pause after its answer included, where the GIF keeps
// the standing frame once with the time of all its repeats; a recording that fails
// says where and why, and leaves nothing of itself behind.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/registry.h"
#include "saver/recorder.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

// The delay of every frame of a GIF, in hundredths of a second.
std::vector<int> FrameDelays(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return {};
    std::vector<int> delays;
    if (DGifSlurp(gif) == GIF_OK) {
        for (int i = 0; i < gif->ImageCount; ++i) {
            GraphicsControlBlock gcb{};
            DGifSavedExtensionToGCB(gif, i, &gcb);
            delays.push_back(gcb.DelayTime);
        }
    }
    DGifCloseFile(gif, &error);
    return delays;
}

TEST(Recorder, TheFinishedJokeStandsForThePause) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    TempDir dir;
    auto store = std::make_shared<platform::FileRegistry>(dir.str() + "/Quipix.reg");
    platform::InstallRegistry(store);
    const std::string key = "Software\\Kelvara\\Quipix\\General";
    ASSERT_TRUE(store->CreateKey(key));
    ASSERT_TRUE(store->WriteValue(key, "Pause", platform::RegValue::String("1")));
    ASSERT_TRUE(store->WriteValue(key, "Speed", platform::RegValue::String("10")));
    const std::string gif = dir.str() + "/joke.gif";
    const int rc = RunRecorder({gif, "--size", "96x72"});
    platform::InstallRegistry(nullptr);
    ASSERT_EQ(rc, 0);

    const std::vector<int> delays = FrameDelays(gif);
    ASSERT_GT(delays.size(), 10u);
    // The tick the answer came to rest, the 100 ticks of the pause, and the fade-out's
    // set-up and first level (255: the scene as it is): one frame.
    EXPECT_EQ(*std::max_element(delays.begin(), delays.end()), 103);
    EXPECT_EQ(std::count(delays.begin(), delays.end(), 103), 1);
}

#ifdef __linux__
TEST(Recorder, AFailedRecordingSaysWhyAndRemovesWhatItWrote) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    namespace fs = std::filesystem;
    TempDir dir;
    platform::InstallRegistry(std::make_shared<platform::FileRegistry>(dir.str() + "/Quipix.reg"));
    // A disk that is full: /dev/full refuses every write with ENOSPC.
    const fs::path gif = dir.path() / "joke.gif", frames = dir.path() / "frames";
    fs::create_symlink("/dev/full", gif);
    fs::create_directories(frames);
    fs::create_symlink("/dev/full", frames / "frame-00002.png");
    const struct {
        fs::path path;
        std::string failed;  // the file named in the message
    } cases[] = {{gif, gif.string()}, {frames, (frames / "frame-00002.png").string()}};
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const int rc = RunRecorder({c.path.string(), "--size", "96x72", "--ticks", "40"});
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(rc, 1) << c.path;
        EXPECT_EQ(said, "quipix: Cannot write " + c.failed + ": No space left on device\n");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(gif)));
    EXPECT_TRUE(fs::is_empty(frames));  // the folder was there before, so it stays
    platform::InstallRegistry(nullptr);
}
#endif

}  // namespace
}  // namespace quipix::test
