// Saver windows on two offscreen monitors, the second scaled by 2: a window and a
// scene per monitor in device pixels, text at each screen's DPI, the module
// placement, and repaints held to one per display frame. (Input on either monitor
// ending both is the saver window contract's, in saver_window_test.cpp.)
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <cstdlib>
#include <vector>

#include "common/settings.h"
#include "qt/pg_image.h"
#include "qt/qt_text_engine.h"
#include "imaging/text_engine.h"
#include "qt/saver_window.h"

namespace {

// The offscreen platform reads its screens from a file named in the platform string,
// which must be in place before main creates the application.
QString ScreensFile() {
    return QDir::temp().filePath(
        QStringLiteral("quipix-desktop-screens-%1.json").arg(QCoreApplication::applicationPid()));
}

const bool kScreensConfigured = [] {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string(platform) != "offscreen") return false;
    const QString path = ScreensFile();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 640, "height": 480, "logicalDpi": 96, "dpr": 1},
        {"name": "right", "x": 640, "y": 0, "width": 400, "height": 300, "logicalDpi": 96, "dpr": 2}
    ]})");
    file.close();
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit().constData(), 1);
    return true;
}();

// The platform has read the file by the time the application runs its start-up
// routines, in the test runs and in the listing of the tests alike.
void RemoveScreensFile() {
    if (kScreensConfigured) QFile::remove(ScreensFile());
}
Q_COREAPP_STARTUP_FUNCTION(RemoveScreensFile)

}  // namespace

namespace quipix {
namespace {

EngineServices GradientScene() {
    EngineServices s;
    s.loadSettings = [] {
        Settings = TSettings{};
        Settings.BackgroundType = background_type::Gradient;  // navy at the top to black at the bottom
        Settings.FadeMode = fade_mode::FadeInPlace;
        Settings.Question.Face = Settings.Answer.Face = "Liberation Sans";
        Settings.Question.Size = 24;
        Settings.Answer.Size = 20;
        Settings.Question.Color = 0x0000FF;
        Settings.Question.Speed = Settings.Answer.Speed = Settings.Speed = 5;
    };
    s.nextJoke = [] {
        Settings.CurrentQuestion = "Why?";
        Settings.CurrentAnswer = "Because.";
    };
    s.random = [](std::uint32_t) { return 0u; };
    return s;
}

QScreen* ScreenNamed(const char* name) {
    for (QScreen* s : QGuiApplication::screens())
        if (s->name() == QLatin1String(name)) return s;
    return nullptr;
}

class DesktopWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ScreenNamed("right")) GTEST_SKIP() << "the offscreen platform has no second screen";
    }
    void TearDown() override { InstallQtTextEngine(96); }
    static void Settle(int ms = 50) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
};

TEST_F(DesktopWindowTest, OneWindowPerMonitorEachSizedInDevicePixels) {
    auto run = MakeSaverWindows(0, GradientScene());
    ASSERT_EQ(run->Count(), 2u);
    ASSERT_TRUE(run->Start());
    auto& left = static_cast<TfrmFullScreen&>(run->Window(0));
    auto& right = static_cast<TfrmFullScreen&>(run->Window(1));
    EXPECT_EQ(left.Placement(), SaverPlacement::Screen);

    EXPECT_EQ(left.Width(), 640);
    EXPECT_EQ(left.Height(), 480);
    EXPECT_EQ(left.geometry(), QRect(0, 0, 640, 480));
    // The scaled monitor: 400 x 300 logical pixels, 800 x 600 on the screen.
    EXPECT_EQ(right.PixelRatio(), 2.0);
    EXPECT_EQ(right.geometry(), QRect(640, 0, 400, 300));
    EXPECT_EQ(right.Width(), 800);
    EXPECT_EQ(right.Height(), 600);
    EXPECT_EQ(right.Engine().Layout().Width, 800);
    EXPECT_EQ(right.Engine().Layout().Height, 600);
    // Each scene is its monitor's whole screen, so fonts keep their stored sizes.
    for (auto* f : {&left, &right}) {
        EXPECT_EQ(f->ScreenWidth(), f->Width());
        EXPECT_EQ(f->ScreenHeight(), f->Height());
        EXPECT_EQ(f->TimerInterval(), kFullScreenTickMs);
        EXPECT_EQ(f->Engine().Layout().QuestionBaseSize, 24);
        EXPECT_EQ(f->Engine().Layout().AnswerBaseSize, 20);
    }
}

TEST_F(DesktopWindowTest, ScaledMonitorPaintsOnePicturePixelPerScreenPixel) {
    TfrmFullScreen form(SaverTarget{SaverPlacement::Screen, 0, ScreenNamed("right")}, GradientScene());
    ASSERT_TRUE(form.Start());
    Settle();
    const QImage painted = form.grab().toImage();
    ASSERT_EQ(painted.size(), QSize(800, 600));
    const TPixelGraphic& scene = *form.Frame().Picture;
    // The gradient changes down the screen: rows drawn from the wrong place of the
    // picture show another shade.
    for (int y : {100, 299, 450, 590}) {
        const PGColor c = scene.Pixels(3, y);
        EXPECT_EQ(qBlue(painted.pixel(3, y)), int(PGBlue(c))) << "row " << y;
    }
}

TEST_F(DesktopWindowTest, TextFollowsEachScreensDpi) {
    TPGFont font;
    font.Name = "Liberation Sans";
    font.Size = 36;
    TfrmFullScreen left(SaverTarget{SaverPlacement::Screen, 0, ScreenNamed("left")}, GradientScene());
    ASSERT_TRUE(left.Start());
    const int leftHeight = CurrentTextEngine()->Measure(font, "Xg", 1000, 0).Height;
    TfrmFullScreen right(SaverTarget{SaverPlacement::Screen, 0, ScreenNamed("right"), false},
                         GradientScene());
    ASSERT_TRUE(right.Start());
    const int rightHeight = CurrentTextEngine()->Measure(font, "Xg", 1000, 0).Height;
    // 36 points at 96 and at 192 pixels per inch.
    EXPECT_NEAR(leftHeight, 36 * 96 / 72 * 1.15, 8);
    EXPECT_NEAR(rightHeight, 2 * leftHeight, 4);
}

TEST_F(DesktopWindowTest, ModuleTicksLikeTheSaverAndIgnoresInput) {
    TfrmFullScreen form(SaverTarget{SaverPlacement::Module, 0, nullptr}, GradientScene());
    ASSERT_TRUE(form.Start());
    EXPECT_FALSE(form.IsPreview());
    EXPECT_EQ(form.TimerInterval(), kFullScreenTickMs);
    // Fonts scale against the module's own window.
    EXPECT_EQ(form.ScreenWidth(), form.Width());
    EXPECT_EQ(form.ScreenHeight(), form.Height());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &key);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(form.Image(), &press);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.TimerActive());
}

// Counts the paints of one widget and the time between them.
class PaintClock : public QObject {
public:
    std::vector<qint64> at;
    QElapsedTimer clock;
    PaintClock() { clock.start(); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) at.push_back(clock.elapsed());
        return false;
    }
};

TEST_F(DesktopWindowTest, RepaintsAtMostOncePerFrameWhileTicksGoOn) {
    TfrmFullScreen form(SaverTarget{SaverPlacement::Screen, 0, ScreenNamed("left")}, GradientScene());
    ASSERT_TRUE(form.Start());
    EXPECT_GT(form.FrameInterval(), 0);
    Settle();
    constexpr int kFrame = 150;
    form.SetFrameInterval(kFrame);
    PaintClock paints;
    form.Image()->installEventFilter(&paints);
    // The engine asks for a repaint every 10 ms tick; more requests are added here.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 4 * kFrame + 50) {
        form.Image()->update(0, 0, 5, 5);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ASSERT_GE(paints.at.size(), 2u);
    EXPECT_LE(paints.at.size(), 6u);
    for (std::size_t i = 1; i < paints.at.size(); ++i)
        EXPECT_GE(paints.at[i] - paints.at[i - 1], kFrame - 2) << "paint " << i;

    // Without a frame interval every request repaints at once.
    form.SetFrameInterval(0);
    paints.at.clear();
    for (int i = 0; i < 3; ++i) {
        form.Image()->update(0, 0, 5, 5);
        QCoreApplication::processEvents();
    }
    EXPECT_GE(paints.at.size(), 3u);
    form.Image()->removeEventFilter(&paints);
}

}  // namespace
}  // namespace quipix
