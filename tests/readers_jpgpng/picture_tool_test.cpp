// The quipix-picture tool, run through its entry function: info, convert to PPM and
// PNG (read back and compared), bench, and its answers to bad input.
#define QUIPIX_PICTURE_TOOL_NO_MAIN
#include "tools/quipix_picture.cpp"

#include <gtest/gtest.h>

#include <sstream>

#include "fixtures.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

struct ToolResult {
    int code;
    std::string out, err;
};

ToolResult RunTool(std::vector<std::string> args) {
    args.insert(args.begin(), "quipix-picture");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::ostringstream out, err;
    const int code = picture_tool::Run(int(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

TEST(PictureTool, InfoPrintsTheReaderAndPictureFacts) {
    const ToolResult r = RunTool({"info", DataPath("jpg/progressive.jpg")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "format: JPEG (JFIF compliant)\nwidth: 40\nheight: 24\nbits: 24\ncolors: 16.7M\n"
              "info1: JFIF, YCbCr, Progressive\ninfo2: \norientation: 1 (as stored)\n");

    TempDir dir;
    const ToolResult unknown = RunTool({"info", dir.write("x.xyz", std::string("hello"))});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_EQ(unknown.err, "Unknown file format\n");
    EXPECT_EQ(RunTool({"info", dir.str() + "/missing.png"}).code, 1);
}

TEST(PictureTool, ConvertWritesTopRowFirstInBothFormats) {
    TempDir dir;
    const std::string ppm = dir.str() + "/out.ppm";
    ASSERT_EQ(RunTool({"convert", DataPath("png/rgb8.png"), ppm}).code, 0);
    const Pnm written = ReadPnm(ppm);
    const Pnm reference = ReadPnm(DataPath("png/rgb8.ppm"));
    EXPECT_EQ(written.width, reference.width);
    EXPECT_EQ(written.samples, reference.samples);

    // PNG output read back through our own reader; a 4-bit source goes through its
    // palette.
    for (const std::string name : {"palette16", "rgb8"}) {
        const std::string png = dir.str() + "/" + name + ".png";
        ASSERT_EQ(RunTool({"convert", DataPath("png/" + name + ".png"), png}).code, 0);
        TPixelGraphic back;
        back.LoadPictureFile(png);
        EXPECT_EQ(back.PixelFormat(), pgpf24Bit);
        EXPECT_EQ(MaxDifference(back, ReadPnm(DataPath("png/" + name + ".ppm"))), 0) << name;
    }
}

TEST(PictureTool, ConvertFollowsTheWarningOption) {
    TempDir dir;
    const Bytes whole = ReadBytes(DataPath("jpg/colour420.jpg"));
    const std::string cut = dir.write("cut.jpg", Bytes(whole.begin(), whole.begin() + 500));
    const std::string out = dir.str() + "/cut.ppm";
    const ToolResult raised = RunTool({"convert", cut, out});
    EXPECT_EQ(raised.code, 1);
    EXPECT_EQ(raised.err, "JPG: Premature end of JPEG file\n");
    const ToolResult ignored = RunTool({"convert", "--warnings", "ignore", cut, out});
    EXPECT_EQ(ignored.code, 0) << ignored.err;
    EXPECT_EQ(ReadPnm(out).width, 48);
}

TEST(PictureTool, BenchPrintsOneLinePerFile) {
    const ToolResult r =
        RunTool({"bench", "--reps", "2", DataPath("jpg/grey.jpg"), DataPath("png/rgb8.png")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("grey.jpg: 33x21 8 bit, median "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rgb8.png: 40x30 24 bit, median "), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

TEST(PictureTool, BadUsageAndBadFilesNeverCrash) {
    TempDir dir;
    EXPECT_EQ(RunTool({}).code, 2);
    EXPECT_EQ(RunTool({"frobnicate"}).code, 2);
    EXPECT_EQ(RunTool({"convert", "a.png"}).code, 2);
    EXPECT_EQ(RunTool({"convert", "--warnings", "loud", "a.png", "b.ppm"}).code, 2);
    EXPECT_EQ(RunTool({"convert", DataPath("png/rgb8.png"), dir.str() + "/b.gif"}).code, 2);
    EXPECT_EQ(RunTool({"bench", "--reps", "x", "a.png"}).code, 2);
    EXPECT_EQ(RunTool({"bench", "--reps", "0", "a.png"}).code, 2);
    const std::string junk = dir.write("junk.png", std::string("\x89PNG\r\n\x1a\nrubbish", 15));
    const ToolResult r = RunTool({"convert", junk, dir.str() + "/j.ppm"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("PNG: ", 0), 0u) << r.err;
    EXPECT_EQ(RunTool({"bench", junk}).code, 1);
}

}  // namespace
}  // namespace quipix::test
