// The Qt form's previews: each widget's change reaches the handler it is bound to,
// the image controls show the controller's pictures, and the background page shows
// the controls of its type. What the handlers draw is tested on the controller.
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <functional>

#include "common/background.h"
#include "form_test_support.h"
#include "qt/pg_image.h"
#include "qt/widgets/color_button.h"
#include "qt/widgets/radio_group_box.h"

namespace quipix {
namespace {

using test::Control;
using test::HasColor;
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

TEST_F(Previews, EachControlRedrawsThePreviewsOfItsHandler) {
    const QStringList back{"BImg", "QImg", "AImg"}, question{"QImg"}, answer{"AImg"}, none;
    const struct {
        const char* control;
        std::function<void(TfrmConfig&)> change;
        QStringList drawn;
    } cases[] = {
        {"rgBackType", [](TfrmConfig& d) { Control<TRadioGroupBox>(d, "rgBackType")->Button(1)->click(); },
         back},
        {"SolidC", [](TfrmConfig& d) { Control<TColorButton>(d, "SolidC")->SetValue(0x203040); }, back},
        {"FromC", [](TfrmConfig& d) { Control<TColorButton>(d, "FromC")->SetValue(0x203040); }, back},
        {"ToC", [](TfrmConfig& d) { Control<TColorButton>(d, "ToC")->SetValue(0x203040); }, back},
        {"cbTiled", [](TfrmConfig& d) { Control<QCheckBox>(d, "cbTiled")->click(); }, back},
        {"QColor", [](TfrmConfig& d) { Control<TColorButton>(d, "QColor")->SetValue(0x00FF00); }, question},
        {"Qed", [](TfrmConfig& d) { Control<QLineEdit>(d, "Qed")->setText("30"); }, question},
        {"Q3D", [](TfrmConfig& d) { Control<QCheckBox>(d, "Q3D")->click(); }, question},
        {"QBold", [](TfrmConfig& d) { Control<QCheckBox>(d, "QBold")->click(); }, question},
        {"QItalic", [](TfrmConfig& d) { Control<QCheckBox>(d, "QItalic")->click(); }, question},
        {"AColor", [](TfrmConfig& d) { Control<TColorButton>(d, "AColor")->SetValue(0x00FF00); }, answer},
        {"Aed", [](TfrmConfig& d) { Control<QLineEdit>(d, "Aed")->setText("30"); }, answer},
        {"A3D", [](TfrmConfig& d) { Control<QCheckBox>(d, "A3D")->click(); }, answer},
        {"ABold", [](TfrmConfig& d) { Control<QCheckBox>(d, "ABold")->click(); }, answer},
        {"AItalic", [](TfrmConfig& d) { Control<QCheckBox>(d, "AItalic")->click(); }, answer},
        {"QEdit", [](TfrmConfig& d) { Control<QLineEdit>(d, "QEdit")->setText("A new question"); }, none},
        {"AEdit", [](TfrmConfig& d) { Control<QLineEdit>(d, "AEdit")->setText("A new answer"); }, none},
        {"tbQ", [](TfrmConfig& d) { Control<QSlider>(d, "tbQ")->setValue(9); }, none},
        {"rgFadeMode", [](TfrmConfig& d) { Control<TRadioGroupBox>(d, "rgFadeMode")->Button(1)->click(); },
         none},
    };
    for (const auto& c : cases) {
        TfrmConfig dialog;
        Watch(dialog);
        drawn_.clear();
        c.change(dialog);
        EXPECT_EQ(drawn_, c.drawn) << c.control;
    }
}

TEST_F(Previews, ImagesShowTheControllersPicturesAndTheTypesControls) {
    Store("Question", "Color", std::to_string(0x0000FF));
    Store("Answer", "Color", std::to_string(0xFF0000));
    TfrmConfig dialog;
    Control<TRadioGroupBox>(dialog, "rgBackType")->Button(1)->click();
    EXPECT_TRUE(Control<TColorButton>(dialog, "SolidC")->isHidden());
    EXPECT_FALSE(Control<TColorButton>(dialog, "FromC")->isHidden());
    EXPECT_FALSE(Control<TColorButton>(dialog, "ToC")->isHidden());
    EXPECT_TRUE(Control<QPushButton>(dialog, "btBitmap")->isHidden());
    EXPECT_TRUE(Control<QCheckBox>(dialog, "cbTiled")->isHidden());
    Control<TRadioGroupBox>(dialog, "rgBackType")->Button(2)->click();
    EXPECT_TRUE(Control<TColorButton>(dialog, "FromC")->isHidden());
    EXPECT_FALSE(Control<QPushButton>(dialog, "btBitmap")->isHidden());
    EXPECT_FALSE(Control<QCheckBox>(dialog, "cbTiled")->isHidden());

    Control<TRadioGroupBox>(dialog, "rgBackType")->Button(0)->click();
    EXPECT_FALSE(Control<TColorButton>(dialog, "SolidC")->isHidden());
    Control<TColorButton>(dialog, "SolidC")->SetValue(0x203040);
    const TPixelGraphic* back = Control<TPGImage>(dialog, "BImg")->PixelGraphic();
    const TPixelGraphic* question = Control<TPGImage>(dialog, "QImg")->PixelGraphic();
    const TPixelGraphic* answer = Control<TPGImage>(dialog, "AImg")->PixelGraphic();
    EXPECT_EQ(back->Pixels(100, 100), PGColor(0x203040));
    EXPECT_EQ(question->Pixels(1, 1), PGColor(0x203040));
    EXPECT_EQ(answer->Pixels(1, 1), PGColor(0x203040));
    // Each text in its own preview: red for the question, blue for the answer.
    EXPECT_TRUE(HasColor(*question, 0x0000FF));
    EXPECT_FALSE(HasColor(*question, 0xFF0000));
    EXPECT_TRUE(HasColor(*answer, 0xFF0000));
    EXPECT_FALSE(HasColor(*answer, 0x0000FF));
}

TEST_F(Previews, PictureButtonRunsTheOpenDialogBesideTheWorkingPicture) {
    const std::string picture = WriteBluePicture();
    Store("Background", "Type", "2");
    TfrmConfig dialog;
    Watch(dialog);
    auto* button = Control<QPushButton>(dialog, "btBitmap");
    // Cancelling the picture dialog changes nothing.
    WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    button->click();
    EXPECT_EQ(button->text(), "Select bitmap ...");
    EXPECT_TRUE(drawn_.isEmpty());

    QString title;
    WhenModal([&](QWidget* modal) {
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        title = chooser->windowTitle();
        test::ChooseInFileDialog(chooser, QString::fromStdString(picture));
    });
    button->click();
    EXPECT_EQ(title, "Select a background bitmap");
    EXPECT_EQ(button->text(), QString::fromStdString(picture));
    EXPECT_EQ(drawn_, (QStringList{"BImg", "QImg", "AImg"}));
    EXPECT_EQ(Control<TPGImage>(dialog, "BImg")->PixelGraphic()->Pixels(10, 10), PGRGB(0x40, 0x80, 0xC0));

    // The next choice opens beside the working picture.
    QString startedIn;
    WhenModal([&](QWidget* modal) {
        startedIn = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
        qobject_cast<QDialog*>(modal)->reject();
    });
    button->click();
    EXPECT_EQ(startedIn, QString::fromStdString(dir_.str()));
}

}  // namespace
}  // namespace quipix
