// TPGImage: its own copy, repainting only what changed, the uncovered area in its
// colour, and mouse events passed on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <vector>

#include "imaging/canvas.h"
#include "qt/pg_image.h"

namespace quipix {
namespace {

QRgb Rgb(PGColor c) { return qRgb(PGRed(c), PGGreen(c), PGBlue(c)); }

void MakePicture(TPixelGraphic& g, int w, int h, PGColor color) {
    g.SetSize(w, h, pgpf24Bit);
    g.SetBackGroundColor(color);
    g.Clear();
}

TEST(PGImage, ShowsItsOwnCopyAndFollowsItsSize) {
    TPGImage view;
    TPixelGraphic source;
    MakePicture(source, 20, 10, PGRGB(10, 20, 30));
    view.SetPixelGraphic(&source);
    ASSERT_NE(view.PixelGraphic(), nullptr);
    EXPECT_NE(view.PixelGraphic(), &source);
    EXPECT_EQ(view.DisplayImage().size(), QSize(20, 10));
    EXPECT_EQ(view.DisplayImage().pixel(5, 5), qRgb(10, 20, 30));

    source.Canvas().Brush.Color = PGRGB(255, 0, 0);
    source.Canvas().FillRect({0, 0, 20, 10});
    EXPECT_EQ(view.DisplayImage().pixel(5, 5), qRgb(10, 20, 30)) << "the source is not watched";
    EXPECT_EQ(view.PixelGraphic()->Pixels(5, 5), PGRGB(10, 20, 30));

    // The view follows size changes of its copy.
    view.PixelGraphic()->SetBackGroundColor(PGRGB(9, 9, 9));
    view.PixelGraphic()->SetSize(16, 4, pgpf24Bit);  // new size: black
    EXPECT_EQ(view.DisplayImage().size(), QSize(16, 4));
    view.PixelGraphic()->SetSize(0, 0, pgpf24Bit);
    EXPECT_TRUE(view.DisplayImage().isNull());
}

// Records what the control asks to have repainted.
class RecordingImage : public TPGImage {
public:
    std::vector<QRect> asked;

protected:
    void Invalidate(const QRect& area) override {
        asked.push_back(area);
        TPGImage::Invalidate(area);
    }
};

TEST(PGImage, RepaintsOnlyTheReportedArea) {
    RecordingImage view;
    TPixelGraphic source;
    MakePicture(source, 40, 30, 0);
    view.SetPixelGraphic(&source);
    TPixelGraphic& own = *view.PixelGraphic();
    view.asked.clear();

    own.SetPixels(35, 25, PGRGB(1, 2, 3));  // a direct write: no notification
    EXPECT_TRUE(view.asked.empty());
    own.Canvas().Brush.Color = PGRGB(0, 200, 0);
    own.Canvas().FillRect({2, 3, 6, 8});
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked.back(), QRect(2, 3, 4, 5));
    const QImage shown = view.DisplayImage();
    EXPECT_EQ(shown.pixel(2, 3), qRgb(0, 200, 0));
    EXPECT_EQ(shown.pixel(5, 7), qRgb(0, 200, 0));
    EXPECT_EQ(shown.pixel(6, 7), qRgb(0, 0, 0));

    own.BeginUpdate();
    own.EndUpdate();
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_TRUE(view.asked.back().isNull()) << "EndUpdate reports everything";
}

TEST(PGImage, ConvertsEveryTrueColourPixelOfAnArea) {
    TPixelGraphic g;
    g.SetSize(11, 5, pgpf24Bit);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 11; ++x) g.SetPixels(x, y, PGRGB(x * 23, y * 51 + x, 255 - x * 7));
    QImage out;
    ConvertPixelGraphicArea(g, out, 0, 0, 11, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 11; ++x) ASSERT_EQ(out.pixel(x, y), Rgb(g.Pixels(x, y))) << x << "," << y;

    // An area starting at an odd column converts only itself.
    out.fill(qRgb(1, 1, 1));
    ConvertPixelGraphicArea(g, out, 3, 1, 10, 3);
    EXPECT_EQ(out.pixel(2, 1), qRgb(1, 1, 1));
    EXPECT_EQ(out.pixel(10, 1), qRgb(1, 1, 1));
    EXPECT_EQ(out.pixel(3, 3), qRgb(1, 1, 1));
    for (int x = 3; x < 10; ++x) EXPECT_EQ(out.pixel(x, 2), Rgb(g.Pixels(x, 2)));
}

TEST(PGImage, ConvertsWideRowsFromEveryStartColumn) {
    // Rows long enough for the grouped conversion, with areas starting and ending at
    // every offset, so that groups, tails and row ends all meet.
    TPixelGraphic g;
    g.SetSize(37, 2, pgpf24Bit);
    unsigned seed = 7;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 37; ++x) {
            seed = seed * 1103515245u + 12345u;
            g.SetPixels(x, y, PGColor(seed >> 8) & 0xFFFFFF);
        }
    QImage out;
    ConvertPixelGraphicArea(g, out, 0, 0, 37, 2);
    for (int left = 0; left < 8; ++left)
        for (int right = 30; right <= 37; ++right) {
            out.fill(qRgb(1, 1, 1));
            ConvertPixelGraphicArea(g, out, left, 0, right, 2);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 37; ++x) {
                    const QRgb want = x >= left && x < right ? Rgb(g.Pixels(x, y)) : qRgb(1, 1, 1);
                    ASSERT_EQ(out.pixel(x, y), want) << left << ".." << right << " at " << x << "," << y;
                }
        }
}

TEST(PGImage, ConvertsPaletteFormats) {
    QImage out;
    TPixelGraphic g8;
    g8.SetSize(3, 2, pgpf8Bit);
    g8.SetPaletteIdent(pGray256);
    g8.SetPixelValues(2, 1, 77);
    ConvertPixelGraphicArea(g8, out, 0, 0, 3, 2);
    EXPECT_EQ(out.pixel(2, 1), qRgb(77, 77, 77));
    EXPECT_EQ(out.pixel(0, 0), qRgb(0, 0, 0));

    TPixelGraphic g4;
    g4.SetSize(3, 1, pgpf4Bit);
    g4.SetPaletteIdent(pSys16);
    g4.SetPixelValues(0, 0, 9);
    g4.SetPixelValues(1, 0, 12);
    ConvertPixelGraphicArea(g4, out, 0, 0, 3, 1);
    EXPECT_EQ(out.size(), QSize(3, 1));
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(1, 0), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(2, 0), qRgb(0, 0, 0));

    TPixelGraphic g1;
    g1.SetSize(10, 1, pgpf1Bit);
    g1.SetPaletteIdent(pBlackWhite);
    g1.SetPixelValues(9, 0, 1);
    ConvertPixelGraphicArea(g1, out, 0, 0, 10, 1);
    EXPECT_EQ(out.pixel(9, 0), qRgb(255, 255, 255));
    EXPECT_EQ(out.pixel(8, 0), qRgb(0, 0, 0));
}

TEST(PGImage, LaterHandOversRefillTheSameCopyAsIfNew) {
    TPGImage view;
    TPixelGraphic first, second;
    MakePicture(first, 30, 20, PGRGB(1, 2, 3));
    view.SetPixelGraphic(&first);
    TPixelGraphic* own = view.PixelGraphic();
    // Leave drawing state and an open bracket behind on the copy.
    own->Canvas().Font.Size = 40;
    own->Canvas().Brush.Style = TBrushStyle::Clear;
    own->OnProgress = [](const void*, int, int, bool& abort) { abort = true; };
    own->BeginUpdate();

    second.SetSize(12, 9, pgpf8Bit);
    second.SetPaletteIdent(pGray256);
    second.SetPixelValues(4, 3, 200);
    view.SetPixelGraphic(&second);
    ASSERT_EQ(view.PixelGraphic(), own) << "the copy is refilled in place";
    EXPECT_EQ(own->Width(), 12);
    EXPECT_EQ(own->PixelFormat(), pgpf8Bit);
    EXPECT_EQ(own->Pixels(4, 3), PGRGB(200, 200, 200));
    EXPECT_EQ(view.DisplayImage().size(), QSize(12, 9));
    EXPECT_EQ(view.DisplayImage().pixel(4, 3), qRgb(200, 200, 200));
    EXPECT_EQ(own->UpdateCount(), 0);
    EXPECT_FALSE(own->OnProgress);
    EXPECT_EQ(own->Canvas().Font, TPGFont{});
    EXPECT_EQ(own->Canvas().Brush.Style, TBrushStyle::Solid);

    // The copy still reports its changes to the control.
    own->Canvas().Brush.Color = PGRGB(255, 255, 255);
    own->Canvas().FillRect({0, 0, 2, 2});
    EXPECT_EQ(view.DisplayImage().pixel(1, 1), qRgb(255, 255, 255));

    // Handing the control its own copy keeps it as it is.
    view.SetPixelGraphic(own);
    EXPECT_EQ(view.PixelGraphic(), own);
    EXPECT_EQ(own->Pixels(4, 3), PGRGB(200, 200, 200));
    EXPECT_EQ(view.DisplayImage().pixel(1, 1), qRgb(255, 255, 255));
}

TEST(PGImage, PaintsPictureTopLeftAndTheRestInItsColour) {
    TPGImage view;
    view.resize(50, 40);
    view.SetColor(QColor(0, 0, 255));
    TPixelGraphic source;
    MakePicture(source, 20, 10, PGRGB(200, 100, 50));
    view.SetPixelGraphic(&source);
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(0, 0), Rgb(PGRGB(200, 100, 50)));
    EXPECT_EQ(shot.pixel(19, 9), Rgb(PGRGB(200, 100, 50)));
    EXPECT_EQ(shot.pixel(20, 9), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(5, 10), qRgb(0, 0, 255));
    EXPECT_EQ(shot.pixel(49, 39), qRgb(0, 0, 255));

    view.SetPixelGraphic(nullptr);
    EXPECT_EQ(view.PixelGraphic(), nullptr);
    EXPECT_EQ(view.grab().toImage().pixel(0, 0), qRgb(0, 0, 255));
}

TEST(PGImage, PassesMouseEventsOn) {
    TPGImage view;
    view.resize(30, 30);
    std::vector<std::string> seen;
    QObject::connect(&view, &TPGImage::mouseDown, [&](QPoint p, Qt::MouseButton b) {
        seen.push_back("down " + std::to_string(p.x()) + "," + std::to_string(p.y()) +
                       (b == Qt::LeftButton ? " left" : " other"));
    });
    QObject::connect(&view, &TPGImage::mouseMove, [&](QPoint p) {
        seen.push_back("move " + std::to_string(p.x()) + "," + std::to_string(p.y()));
    });
    QObject::connect(&view, &TPGImage::mouseUp, [&](QPoint, Qt::MouseButton b) {
        seen.push_back(b == Qt::RightButton ? "up right" : "up other");
    });
    const auto send = [&](QEvent::Type type, QPointF pos, Qt::MouseButton b, Qt::MouseButtons bs) {
        QMouseEvent e(type, pos, view.mapToGlobal(pos), b, bs, Qt::NoModifier);
        QApplication::sendEvent(&view, &e);
    };
    send(QEvent::MouseMove, {3, 4}, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {5, 6}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {5, 6}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(seen, (std::vector<std::string>{"move 3,4", "down 5,6 left", "up right"}));
}

}  // namespace
}  // namespace quipix
