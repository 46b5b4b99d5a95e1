// The message table and the bounded streams every reader reads through.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "imaging/exceptions.h"
#include "imaging/messages.h"
#include "imaging/stream.h"
#include "support/image_checks.h"
#include "support/test_support.h"

namespace quipix {
namespace {

TEST(Messages, TableIsNumberedAndHoldsTheLibraryTexts) {
    EXPECT_NO_THROW(CheckPGLangStrEntries());
    for (int i = 0; i < kPGLangStrCount; ++i) EXPECT_EQ(PGLangStrEntries[i].Number, i);
    EXPECT_EQ(GetPGLangStr(msg::Empty), "");
    EXPECT_EQ(GetPGLangStr(msg::Last), "");
    EXPECT_EQ(GetPGLangStr(msg::XYIndexOutOfRange), "X, Y index out of range");
    EXPECT_EQ(GetPGLangStr(msg::UnknownFileFormat), "Unknown file format");
    EXPECT_EQ(GetPGLangStr(msg::NegativeWidth), "Negative width");
    EXPECT_EQ(GetPGLangStr(msg::AllFiles), "All files");
    EXPECT_EQ(GetPGLangStr(msg::OperationAborted), "Operation aborted on user request");
    EXPECT_EQ(GetPGLangStr(msg::OutOfRange, "Index"), "Index out of range");
    EXPECT_EQ(GetPGLangStr(msg::Ok), "OK");
    EXPECT_EQ(GetPGLangStr(msg::Cancel), "Cancel");
    for (int i = msg::XYIndexOutOfRange; i <= msg::ApplyToImage; ++i)
        EXPECT_FALSE(GetPGLangStr(msg::Id(i)).empty()) << i;
}

TEST(Messages, MismatchNamesBothNumbers) {
    const TPGLangStrEntry bad[] = {{0, ""}, {1, "a"}, {3, "b"}};
    EXPECT_EQ(test::MessageOf<EPixelGraphic>([&] { CheckPGLangStrEntries(bad); }),
              "PGLangStrEntries order wrong 2 and 3 are not identical");
}

TEST(Messages, PlaceholdersAreReplacedOnceEach) {
    EXPECT_EQ(GetPGLangStr(msg::Invalid, "Index"), "Index invalid");
    EXPECT_EQ(GetPGLangStr(msg::NotAFile, "BMP"), "Not a BMP file");
    EXPECT_EQ(GetPGLangStr(msg::SaveWithOtherResolution, "PCX", "24 bit", "8 bit"),
              "The graphic cannot be saved to a PCX file with the current color resolution "
              "(24 bit).\r\rThe graphic will be saved with a different color resolution (8 bit).");
    // An argument that looks like a placeholder stays as it is.
    EXPECT_EQ(GetPGLangStr(msg::CannotSaveResolution, "%S2", "x"),
              "The graphic cannot be saved with to a %S2 file with the current color resolution (x)");
    EXPECT_EQ(GetPGLangStr(msg::Invalid), " invalid");
    EXPECT_EQ(GetPGLangStr(msg::Id(-1)), "");
    EXPECT_EQ(GetPGLangStr(msg::Id(kPGLangStrCount)), "");
}

TEST(Streams, MemoryReadsClampAndHelpersKeepByteOrder) {
    const std::vector<std::uint8_t> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    TPGMemoryStream s(bytes);
    EXPECT_EQ(s.Size(), 9);
    EXPECT_EQ(s.ReadU16LE(), 0x0201);
    EXPECT_EQ(s.ReadU16BE(), 0x0304);
    EXPECT_EQ(s.ReadU32LE(), 0x08070605u);
    EXPECT_EQ(s.Remaining(), 1);
    std::uint8_t buf[4]{};
    EXPECT_EQ(s.Read(buf, 4), 1u);
    EXPECT_EQ(buf[0], 0x09);
    EXPECT_EQ(s.Read(buf, 4), 0u);
    s.Seek(7);
    EXPECT_THROW(s.ReadU32BE(), EReadError);
    s.Seek(-5);
    EXPECT_EQ(s.Position(), 0);
    s.Seek(100);
    EXPECT_EQ(s.Position(), 9);
    s.Seek(5);
    EXPECT_EQ(s.ReadU32BE(), 0x06070809u);
    s.Seek(4);
    s.Skip(3);
    EXPECT_EQ(s.ReadU8(), 0x08);
}

TEST(Streams, FilesReadLikeMemoryAndFailToOpenWithTheirName) {
    test::TempDir dir;
    const std::string path = dir.write("data.bin", std::string("\x10\x20\x30\x40\x50", 5));
    TPGFileStream f(path);
    EXPECT_EQ(f.Size(), 5);
    f.Seek(3);
    EXPECT_EQ(f.ReadU16LE(), 0x5040);
    EXPECT_THROW(f.ReadU8(), EReadError);
    f.Seek(1);
    EXPECT_EQ(f.ReadU8(), 0x20);
    EXPECT_EQ(ReadWholeFile(path).size(), 5u);

    EXPECT_THAT(test::MessageOf<EFOpenError>([&] { TPGFileStream missing(dir.str() + "/nope.bmp"); }),
                ::testing::HasSubstr("nope.bmp"));
    EXPECT_THROW(TPGFileStream folder(dir.str()), EFOpenError);
}

}  // namespace
}  // namespace quipix
