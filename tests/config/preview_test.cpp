// The live previews: which change redraws which preview, in what order, and how
// the question text and its 3-D copies are laid over the background.
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "common/background.h"
#include "config_test_support.h"
#include "imaging/qt/pg_image.h"
#include "widgets/color_button.h"
#include "widgets/radio_group_box.h"

namespace quipix {
namespace {

using test::Control;
using test::WhenModal;

class Previews : public test::DialogTest {
protected:
    // Records every redraw of a preview from now on.
    void Watch(TfrmConfig& dialog) {
        QObject::connect(&dialog, &TfrmConfig::PreviewDrawn,
                         [this](const QString& preview) { drawn_ << preview; });
    }
    QStringList drawn_;
};

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

bool HasColor(const TPixelGraphic& picture, PGColor color) {
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixels(x, y) == color) return true;
    return false;
}

TEST_F(Previews, QuestionControlsRedrawOnlyTheQuestion) {
    TfrmConfig dialog;
    Watch(dialog);
    Control<TColorButton>(dialog, "QColor")->SetValue(0x00FF00);
    EXPECT_EQ(drawn_, QStringList{"QImg"});
    drawn_.clear();
    Control<QCheckBox>(dialog, "QItalic")->click();
    Control<QLineEdit>(dialog, "Qed")->setText("30");
    EXPECT_EQ(drawn_, (QStringList{"QImg", "QImg"}));
    drawn_.clear();
    Control<QCheckBox>(dialog, "A3D")->click();
    EXPECT_EQ(drawn_, QStringList{"AImg"});
}

TEST_F(Previews, BackgroundChangesRedrawAllThreeInOrder) {
    TfrmConfig dialog;
    Watch(dialog);
    auto* type = Control<TRadioGroupBox>(dialog, "rgBackType");
    const QStringList all{"BImg", "QImg", "AImg"};
    type->Button(1)->click();
    EXPECT_EQ(drawn_, all);
    EXPECT_TRUE(Control<TColorButton>(dialog, "SolidC")->isHidden());
    EXPECT_FALSE(Control<TColorButton>(dialog, "FromC")->isHidden());
    EXPECT_FALSE(Control<TColorButton>(dialog, "ToC")->isHidden());
    EXPECT_TRUE(Control<QPushButton>(dialog, "btBitmap")->isHidden());
    drawn_.clear();
    type->Button(2)->click();
    EXPECT_EQ(drawn_, all);
    EXPECT_TRUE(Control<TColorButton>(dialog, "FromC")->isHidden());
    EXPECT_FALSE(Control<QPushButton>(dialog, "btBitmap")->isHidden());
    EXPECT_FALSE(Control<QCheckBox>(dialog, "cbTiled")->isHidden());
    drawn_.clear();
    Control<QCheckBox>(dialog, "cbTiled")->click();
    type->Button(0)->click();
    Control<TColorButton>(dialog, "SolidC")->SetValue(0x203040);
    EXPECT_EQ(drawn_, all + all + all);
    EXPECT_EQ(Control<TPGImage>(dialog, "BImg")->PixelGraphic()->Pixels(100, 100), PGColor(0x203040));
}

TEST_F(Previews, EditsTrackBarsAndFadeModeRedrawNothing) {
    TfrmConfig dialog;
    Watch(dialog);
    Control<QLineEdit>(dialog, "QEdit")->setText("A new question");
    Control<QLineEdit>(dialog, "AEdit")->setText("A new answer");
    Control<QSlider>(dialog, "tbQ")->setValue(9);
    Control<TRadioGroupBox>(dialog, "rgFadeMode")->Button(1)->click();
    EXPECT_TRUE(drawn_.isEmpty());
}

TEST_F(Previews, EmptyQuestionShowsTheBackgroundAlone) {
    TfrmConfig dialog;
    Control<QLineEdit>(dialog, "QEdit")->setText("");
    Control<TColorButton>(dialog, "QColor")->SetValue(0x00FF00);
    const TPixelGraphic* question = Control<TPGImage>(dialog, "QImg")->PixelGraphic();
    const TPixelGraphic* background = Control<TPGImage>(dialog, "BImg")->PixelGraphic();
    ASSERT_EQ(question->Height(), background->Height());
    ASSERT_EQ(question->BufferSize(), background->BufferSize());
    EXPECT_TRUE(std::equal(question->Buffer(), question->Buffer() + question->BufferSize(),
                           background->Buffer()));
}

TEST_F(Previews, ThreeDCopiesLieUpLeftLightAndDownRightDark) {
    Store("Question", "Color", std::to_string(0x0000FF));  // pure red
    Store("Question", "Bold", "1");
    Store("Question", "3D", "0");
    TfrmConfig dialog;
    auto* image = Control<TPGImage>(dialog, "QImg");
    const Rows flat = TextRows(*image->PixelGraphic(), 0);
    ASSERT_GE(flat.top, 5);  // the face starts inside (5, 5, W - 5, H - 5)

    Control<QCheckBox>(dialog, "Q3D")->click();
    const TPixelGraphic& raised = *image->PixelGraphic();
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

TEST_F(Previews, ChosenPictureIsDrawnAndSavedOnlyOnOk) {
    const std::string picture = dir_.str() + "/back.bmp";
    {
        // A 1 x 1 24-bit BMP of colour (R 0x40, G 0x80, B 0xC0).
        std::string bmp = std::string("BM") + std::string("\x3a\0\0\0\0\0\0\0\x36\0\0\0", 12) +
                          std::string("\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0", 16) +
                          std::string(24, '\0') + std::string("\xc0\x80\x40\0", 4);
        dir_.write("back.bmp", bmp);
    }
    Store("Background", "Type", "2");
    {
        TfrmConfig dialog;
        auto* button = Control<QPushButton>(dialog, "btBitmap");
        QStringList drawn;
        QObject::connect(&dialog, &TfrmConfig::PreviewDrawn, [&](const QString& p) { drawn << p; });
        // Cancelling the picture dialog changes nothing.
        WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        button->click();
        EXPECT_EQ(button->text(), "Select bitmap ...");
        EXPECT_TRUE(drawn.isEmpty());

        QString title;
        WhenModal([&](QWidget* modal) {
            auto* chooser = qobject_cast<QFileDialog*>(modal);
            title = chooser->windowTitle();
            test::ChooseInFileDialog(chooser, QString::fromStdString(picture));
        });
        button->click();
        EXPECT_EQ(title, "Select a background bitmap");
        EXPECT_EQ(button->text(), QString::fromStdString(picture));
        EXPECT_EQ(drawn, (QStringList{"BImg", "QImg", "AImg"}));
        EXPECT_EQ(Control<TPGImage>(dialog, "BImg")->PixelGraphic()->Pixels(10, 10),
                  PGRGB(0x40, 0x80, 0xC0));
        Control<QPushButton>(dialog, "btCancel")->click();
    }
    EXPECT_EQ(Stored("Background", "Bitmap"), std::nullopt);

    TfrmConfig dialog;
    WhenModal([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        test::ChooseInFileDialog(chooser, QString::fromStdString(picture));
    });
    Control<QPushButton>(dialog, "btBitmap")->click();
    Control<QPushButton>(dialog, "btOk")->click();
    EXPECT_EQ(Stored("Background", "Bitmap"), picture);

    // The next run shows the stored picture on the button and opens beside it.
    TfrmConfig again;
    EXPECT_EQ(Control<QPushButton>(again, "btBitmap")->text(), QString::fromStdString(picture));
    QString startedIn;
    WhenModal([&](QWidget* modal) {
        startedIn = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
        qobject_cast<QDialog*>(modal)->reject();
    });
    Control<QPushButton>(again, "btBitmap")->click();
    EXPECT_EQ(startedIn, QString::fromStdString(dir_.str()));
}

}  // namespace
}  // namespace quipix
