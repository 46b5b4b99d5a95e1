// The dialog controller's live previews: what the background page shows, and how
// the question text and its 3-D copies are laid over the background. (Which handler
// redraws which preview, in what order, is checked control by control in
// transfer_test.cpp.)
#include <algorithm>
#include <functional>

#include "common/background.h"
#include "dialog_test_support.h"

namespace quipix {
namespace {

using test::DialogControllerTest;
using test::HasColor;

struct Rows {
    int top = -1, bottom = -1;
};

// The first and last rows holding a pixel that is not the background colour.
Rows TextRows(const TPixelGraphic& picture, PGColor background) {
    Rows rows;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixels(x, y) != background) {
                if (rows.top < 0) rows.top = y;
                rows.bottom = y;
                break;
            }
    return rows;
}

bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.BufferSize() == b.BufferSize() &&
           std::equal(a.Buffer(), a.Buffer() + a.BufferSize(), b.Buffer());
}

class DialogPreviews : public DialogControllerTest {};

TEST_F(DialogPreviews, BackgroundTypeShowsItsControlsAndIsDrawnFromTheControls) {
    const struct {
        int type;
        bool solid, gradient, picture;
    } cases[] = {{background_type::Solid, true, false, false},
                 {background_type::Gradient, false, true, false},
                 {background_type::Picture, false, false, true}};
    auto dialog = Open();
    DialogValues& v = dialog->Values();
    for (const auto& c : cases) {
        v.Chosen.BackgroundType = c.type;
        const ControlStates s = dialog->States();
        EXPECT_EQ(s.SolidC, c.solid) << c.type;
        EXPECT_EQ(s.FromC, c.gradient) << c.type;
        EXPECT_EQ(s.ToC, c.gradient) << c.type;
        EXPECT_EQ(s.btBitmap, c.picture) << c.type;
        EXPECT_EQ(s.cbTiled, c.picture) << c.type;
    }
    // The controls' values count, not the stored ones; the text previews start
    // from the new background.
    v.Chosen.BackgroundType = background_type::Solid;
    v.Chosen.SolidColor = 0x203040;
    dialog->BackChange();
    for (Preview p : {Preview::BImg, Preview::QImg, Preview::AImg})
        EXPECT_EQ(dialog->PreviewPicture(p).Pixels(1, 1), PGColor(0x203040)) << int(p);
    EXPECT_EQ(dialog->PreviewPicture(Preview::BImg).Pixels(100, 100), PGColor(0x203040));
}

TEST_F(DialogPreviews, ANewPreviewSizeRedrawsAllThreeAtThatSize) {
    auto dialog = Open();
    view_.previews.clear();
    dialog->SetPreviewSize(344, 260);  // 229 x 173 at 144 dpi
    EXPECT_EQ(view_.previews, (std::vector<Preview>{Preview::BImg, Preview::QImg, Preview::AImg}));
    for (Preview p : {Preview::BImg, Preview::QImg, Preview::AImg}) {
        EXPECT_EQ(dialog->PreviewPicture(p).Width(), 344) << int(p);
        EXPECT_EQ(dialog->PreviewPicture(p).Height(), 260) << int(p);
    }
}

TEST_F(DialogPreviews, AQuestionChangeLeavesTheOtherPreviewsAlone) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    auto dialog = Open();
    TPixelGraphic background, answer;
    background.CopyPicture(&dialog->PreviewPicture(Preview::BImg));
    answer.CopyPicture(&dialog->PreviewPicture(Preview::AImg));
    dialog->Values().Chosen.SolidColor = 0x00FF00;  // not drawn until the background is
    dialog->Values().Chosen.Answer.Color = 0x00FF00;
    dialog->Values().Chosen.Question.Color = 0x00FF00;
    dialog->QChange();
    EXPECT_TRUE(SamePixels(dialog->PreviewPicture(Preview::BImg), background));
    EXPECT_TRUE(SamePixels(dialog->PreviewPicture(Preview::AImg), answer));
    EXPECT_TRUE(HasColor(dialog->PreviewPicture(Preview::QImg), 0x00FF00));
}

TEST_F(DialogPreviews, EmptyQuestionShowsTheBackgroundAlone) {
    auto dialog = Open();
    dialog->Values().QEdit = "";
    dialog->QChange();
    EXPECT_TRUE(SamePixels(dialog->PreviewPicture(Preview::QImg), dialog->PreviewPicture(Preview::BImg)));
}

TEST_F(DialogPreviews, ThreeDCopiesLieUpLeftLightAndDownRightDark) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    Store("Question", "Color", std::to_string(0x0000FF));  // pure red
    Store("Question", "Bold", "1");
    Store("Question", "3D", "0");
    auto dialog = Open();
    const Rows flat = TextRows(dialog->PreviewPicture(Preview::QImg), 0);
    ASSERT_GE(flat.top, 5);  // the face starts inside (5, 5, W - 5, H - 5)

    dialog->Values().Chosen.Question.ThreeD = true;
    dialog->QChange();
    const TPixelGraphic& raised = dialog->PreviewPicture(Preview::QImg);
    const Rows layered = TextRows(raised, 0);
    EXPECT_EQ(layered.top, flat.top - 1);
    EXPECT_EQ(std::min(layered.bottom, raised.Height() - 5), std::min(flat.bottom + 1, raised.Height() - 5));
    // The light copy is red 30 % toward white, the dark one red halved.
    EXPECT_TRUE(HasColor(raised, AdjustColor(0x0000FF, 30)));
    EXPECT_TRUE(HasColor(raised, AdjustColor(0x0000FF, -50)));
    EXPECT_EQ(AdjustColor(0x0000FF, 30), PGRGB(255, 76, 76));
    // The top edge belongs to the light copy, which has green in it.
    bool light = false;
    for (int x = 0; x < raised.Width(); ++x) light |= PGGreen(raised.Pixels(x, layered.top)) > 0;
    EXPECT_TRUE(light);
}

TEST_F(DialogPreviews, ChosenPictureIsDrawnAndSavedOnlyOnOk) {
    const std::string picture = WriteBluePicture();
    Store("Background", "Type", "2");
    {
        auto dialog = Open();
        EXPECT_EQ(dialog->PictureFolder(), "");
        view_.previews.clear();
        dialog->PictureChosen("");  // the chooser was cancelled
        EXPECT_EQ(dialog->BitmapCaption(), "Select bitmap ...");
        EXPECT_TRUE(view_.previews.empty());

        dialog->PictureChosen(picture);
        EXPECT_EQ(dialog->BitmapCaption(), picture);
        EXPECT_EQ(view_.previews, (std::vector<Preview>{Preview::BImg, Preview::QImg, Preview::AImg}));
        EXPECT_EQ(dialog->PreviewPicture(Preview::BImg).Pixels(10, 10), PGRGB(0x40, 0x80, 0xC0));
    }  // closed without OK
    EXPECT_EQ(Stored("Background", "Bitmap"), std::nullopt);
    {
        auto dialog = Open();
        dialog->PictureChosen(picture);
        ASSERT_TRUE(dialog->btOkClick());
    }
    EXPECT_EQ(Stored("Background", "Bitmap"), picture);

    // The next run shows the stored picture and opens the chooser beside it.
    auto again = Open();
    EXPECT_EQ(again->BitmapCaption(), picture);
    EXPECT_EQ(again->PictureFolder(), dir_.str());
    EXPECT_EQ(again->PreviewPicture(Preview::BImg).Pixels(10, 10), PGRGB(0x40, 0x80, 0xC0));
}

TEST_F(DialogPreviews, LargePictureShowsWholeWhenStretchedAndItsCornerWhenTiled) {
    // Far larger than the preview: red on the left, green on the right.
    std::string ppm = "P6 1000 700 255\n";
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 1000; ++x)
            ppm += x < 500 ? std::string("\xff\0\0", 3) : std::string("\0\xff\0", 3);
    Store("Background", "Type", "2");
    Store("Background", "Bitmap", dir_.write("large.ppm", ppm));
    auto dialog = Open();
    const auto rightEdge = [&] {
        return dialog->PreviewPicture(Preview::BImg).Pixels(test::kPreviewWidth - 1, 10);
    };
    EXPECT_EQ(rightEdge(), PGRGB(0, 255, 0));
    for (const bool tiled : {true, false}) {
        view_.checks["cbTiled"] = tiled;
        dialog->ControlEvent("cbTiled");
        EXPECT_EQ(rightEdge(), tiled ? PGRGB(255, 0, 0) : PGRGB(0, 255, 0)) << tiled;
    }
}

}  // namespace
}  // namespace quipix
