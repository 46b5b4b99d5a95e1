// The saver window on the offscreen platform: closing rules, the set-up failure path
// and the engine drawing into the image control.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <stdexcept>

#include "qt/pg_image.h"
#include "qt/saver_window.h"
#include "saver/saver_fakes.h"

namespace quipix::test {
namespace {

struct WindowFixture : ::testing::Test {
    FakeServices fake;
    std::unique_ptr<TfrmFullScreen> form;
    int closedSignals = 0;

    void Open(EngineServices services) {
        form = std::make_unique<TfrmFullScreen>(0, std::move(services));
        QObject::connect(form.get(), &TfrmFullScreen::closed, [this] { ++closedSignals; });
        ASSERT_TRUE(form->Start());
    }
    void Move(QWidget* target) {
        QMouseEvent e(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(target, &e);
    }
    void Release(QWidget* target) {
        QMouseEvent e(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(target, &e);
    }
};

TEST_F(WindowFixture, SixMouseEventsAreToleratedTheSeventhCloses) {
    fake.settings.FadeMode = 1;
    Open(fake.Make());
    EXPECT_TRUE(form->TimerActive());
    for (int i = 0; i < 5; ++i) Move(form->Image());
    Release(form->Image());  // releases count like moves
    EXPECT_EQ(closedSignals, 0);
    EXPECT_EQ(form->MouseCountdown(), 0);
    EXPECT_TRUE(form->isVisible());
    Move(form.get());  // on the window itself as well as on the image
    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(form->TimerActive());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowFixture, AKeyClosesAtOnce) {
    Open(fake.Make());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &key);
    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(form->TimerActive());
}

TEST_F(WindowFixture, AButtonClosesAtOnce) {
    Open(fake.Make());
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->Image(), &press);
    EXPECT_EQ(closedSignals, 1);
}

TEST_F(WindowFixture, SetUpErrorShowsTheBoxAndStartsNoTimer) {
    EngineServices services = fake.Make();
    services.loadSettings = [] { throw std::runtime_error("Invalid data type for 'Speed'"); };
    form = std::make_unique<TfrmFullScreen>(0, services);
    std::string shown;
    form->ShowError = [&](const std::string& m) { shown = m; };
    QObject::connect(form.get(), &TfrmFullScreen::closed, [this] { ++closedSignals; });
    ASSERT_TRUE(form->Start());
    EXPECT_EQ(shown, "Invalid data type for 'Speed'");
    EXPECT_FALSE(form->TimerActive());
    EXPECT_TRUE(form->isVisible());
    // Ticks do nothing, input still ends it.
    form->Engine().Timer1Timer();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &key);
    EXPECT_EQ(closedSignals, 1);
}

TEST_F(WindowFixture, TicksDrawIntoTheImageControl) {
    fake.settings.FadeMode = 1;
    fake.settings.BackgroundType = 0;
    fake.settings.SolidColor = 0x00FF00;
    Open(fake.Make());
    EXPECT_EQ(form->Width(), form->width());
    EXPECT_EQ(form->Height(), form->height());
    form->Engine().Timer1Timer();  // state 0 shows the bare background
    const TPixelGraphic* shown = form->ShownPicture();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Width(), form->width());
    EXPECT_EQ(shown->Pixels(0, 0), PGColor(0x00FF00));
    EXPECT_EQ(form->Image()->DisplayImage().pixel(0, 0), qRgb(0, 255, 0));
    // The slide draws the question into the control's own copy, which the display follows.
    for (int i = 0; i < 400 && form->Engine().AnimationState() == 1; ++i) form->Engine().Timer1Timer();
    EXPECT_EQ(form->Engine().AnimationState(), 2);
    const TJokeLayout& l = form->Engine().Layout();
    bool textSeen = false;
    const QImage& display = form->Image()->DisplayImage();
    for (int y = l.QuestionTarget; y < l.QuestionTarget + l.QuestionHeight + 10 && !textSeen; ++y)
        for (int x = l.Margin; x < l.Margin + l.TextWidth; ++x)
            if (display.pixel(x, y) != qRgb(0, 255, 0)) {
                textSeen = true;
                break;
            }
    EXPECT_TRUE(textSeen);
}

}  // namespace
}  // namespace quipix::test
