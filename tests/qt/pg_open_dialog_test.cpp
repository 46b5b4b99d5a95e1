// The picture open dialog: its filter text from the reader registry, that text
// working as Qt name filters, and the preview pane's information lines.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>

#include "qt/pg_open_dialog.h"
#include "support/test_support.h"

namespace quipix {
namespace {

using test::TempDir;

// The formats added to the classic set follow it, so the classic entries keep their
// places.
#ifdef QUIPIX_HAVE_GIF
#define GIF_PATTERN "; *.gif"
#define GIF_ENTRY "GIF - Graphics Interchange Format|*.gif|"
#else
#define GIF_PATTERN ""
#define GIF_ENTRY ""
#endif
#ifdef QUIPIX_HAVE_WEBP
#define WEBP_PATTERN "; *.webp"
#define WEBP_ENTRY "WEBP - WebP|*.webp|"
#else
#define WEBP_PATTERN ""
#define WEBP_ENTRY ""
#endif
// HEIF and AVIF are listed in every build, readable or not.
#define ADDED_PATTERNS "; *.avif" GIF_PATTERN "; *.heic; *.heif" WEBP_PATTERN
#define ADDED_ENTRIES                                                                    \
    "AVIF - AV1 Image File Format|*.avif|" GIF_ENTRY                                     \
    "HEIC - High Efficiency Image File Format|*.heic|HEIF - High Efficiency Image File " \
    "Format|*.heif|" WEBP_ENTRY
constexpr bool kHaveWebP = sizeof(WEBP_PATTERN) > 1;
constexpr int kAddedFormats = 3 + int(sizeof(GIF_PATTERN) > 1) + int(kHaveWebP);

const char* const kFilterTable =
    "Image files|*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; "
    "*.tga; *.tif; *.tiff" ADDED_PATTERNS
    "|"
    "BMP - Bitmap|*.bmp|DIB - Bitmap|*.dib|JIF - JPEG (JFIF compliant)|*.jif|"
    "JPEG - JPEG (JFIF compliant)|*.jpeg|JPG - JPEG (JFIF compliant)|*.jpg|"
    "PBM - Portable Bitmap|*.pbm|PCX - Paintbrush|*.pcx|PGM - Portable Graymap|*.pgm|"
    "PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|RLE - Bitmap|*.rle|"
    "TGA - Truevision Targa|*.tga|TIF - Tagged Image File Format|*.tif|"
    "TIFF - Tagged Image File Format|*.tiff|" ADDED_ENTRIES "All files|*.*";

// A 24-bit BMP of width x 1 pixels.
std::string TinyBmp(int width) {
    const int stride = (width * 3 + 3) / 4 * 4;
    std::string b;
    auto u16 = [&](int v) {
        b += char(v & 0xFF);
        b += char((v >> 8) & 0xFF);
    };
    auto u32 = [&](int v) {
        u16(v & 0xFFFF);
        u16((v >> 16) & 0xFFFF);
    };
    b += "BM";
    u32(54 + stride);
    u32(0);
    u32(54);
    u32(40);
    u32(width);
    u32(1);
    u16(1);
    u16(24);
    u32(0);
    u32(stride);
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    for (int x = 0; x < width; ++x) b += std::string("\x20\x40\x80", 3);
    b.append(stride - width * 3, '\0');
    return b;
}

template <class Done>
bool WaitFor(Done done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(PictureOpenDialog, FilterTextIsBuiltFromTheRegistry) {
    EXPECT_EQ(PGDefaultFilter().toStdString(), kFilterTable);

    TPGOpenDialog open;
    open.Filter = "stale|*.xyz";
    auto dialog = open.CreateDialog(nullptr);
    EXPECT_EQ(open.Filter.toStdString(), kFilterTable);  // rebuilt whatever was stored
    const QStringList filters = dialog->nameFilters();
    ASSERT_EQ(filters.size(), 16 + kAddedFormats);
    EXPECT_EQ(filters[0],
              "Image files (*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; "
              "*.ppm; *.rle; *.tga; *.tif; *.tiff" ADDED_PATTERNS ")");
    EXPECT_EQ(filters[2], "DIB - Bitmap (*.dib)");
    EXPECT_EQ(filters[15 + kAddedFormats], "All files (*.*)");
}

TEST(PictureOpenDialog, PatternsLoseTheirSemicolons) {
    EXPECT_EQ(PGFilterPatterns("Image files (*.bmp; *.dib;*.jpg)"), (QStringList{"*.bmp", "*.dib", "*.jpg"}));
    EXPECT_EQ(PGFilterPatterns("JIF - JPEG (JFIF compliant) (*.jif)"), QStringList{"*.jif"});
    EXPECT_EQ(PGFilterPatterns("All files (*.*)"), QStringList{"*"});
}

TEST(PictureOpenDialog, TheFirstFilterShowsEveryPictureAndNothingElse) {
    TempDir dir;
    dir.write("a.bmp", TinyBmp(2));
    dir.write("b.PNG", "x");
    dir.write("c.tiff", "x");
    if (kHaveWebP) dir.write("d.webp", "x");
    dir.write("notes.txt", "x");
    dir.write("bmp", "x");
    TPGOpenDialog open;
    open.InitialDir = QString::fromStdString(dir.str());
    auto dialog = open.CreateDialog(nullptr);
    auto* model = dialog->findChild<QFileSystemModel*>("qt_filesystem_model");
    ASSERT_NE(model, nullptr) << "the dialog's model is needed to show pictures only";
    const QModelIndex root = model->index(QString::fromStdString(dir.str()));
    QStringList pictures{"a.bmp", "b.PNG", "c.tiff"};
    if (kHaveWebP) pictures << "d.webp";
    ASSERT_TRUE(WaitFor([&] { return model->rowCount(root) >= pictures.size(); }));
    QApplication::processEvents(QEventLoop::AllEvents, 100);
    QStringList shown;
    for (int i = 0; i < model->rowCount(root); ++i) shown << model->index(i, 0, root).data().toString();
    shown.sort(Qt::CaseInsensitive);
    EXPECT_EQ(shown, pictures);
}

TEST(PictureOpenDialog, PreviewShowsTheReadersInformation) {
    TempDir dir;
    const std::string path = dir.write("tiny.bmp", TinyBmp(3));
    TPGOpenDialog open;
    open.InitialDir = QString::fromStdString(dir.str());
    auto dialog = open.CreateDialog(nullptr);
    dialog->show();
    auto* first = dialog->findChild<QLabel*>("previewInfo0");
    ASSERT_NE(first, nullptr);
    QMetaObject::invokeMethod(dialog.get(), "currentChanged", Q_ARG(QString, QString::fromStdString(path)));
    ASSERT_TRUE(WaitFor([&] { return !first->text().isEmpty(); }));
    EXPECT_EQ(first->text(), "Bitmap");
    QStringList lines;
    for (int i = 0; i < 4; ++i)
        if (auto* line = dialog->findChild<QLabel*>(QStringLiteral("previewInfo%1").arg(i)))
            lines << line->text();
    EXPECT_TRUE(lines.filter("3x1x").size() == 1) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines.filter(" 24 bit").size() == 1) << lines.join(" | ").toStdString();
    auto* picture = dialog->findChild<QLabel*>("previewPicture");
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
}

}  // namespace
}  // namespace quipix
