// The Qt saver window keeps the saver window contract on the offscreen platform: a
// run over the screens as the program makes it (the primary first, then the others,
// over again for a run of more windows than screens), with Qt's own input events.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <memory>

#include "qt/pg_image.h"
#include "qt/saver_window.h"
#include "support/saver_window_contract.h"

namespace quipix::test {
namespace {

class QtSaverDriver {
public:
    static bool Possible() { return true; }
    void Open(int windows, EngineServices services, std::function<void(const std::string&)> showError) {
        std::vector<QScreen*> screens;
        const auto all = QGuiApplication::screens();
        screens.push_back(QGuiApplication::primaryScreen());
        for (QScreen* s : all)
            if (s != screens.front()) screens.push_back(s);
        const std::size_t distinct = screens.size();
        while (screens.size() < std::size_t(windows)) screens.push_back(screens[screens.size() % distinct]);
        screens.resize(std::size_t(windows));
        run_ = MakeScreenRun(screens, services, [this] { ++ended_; });
        for (int i = 0; i < windows; ++i) Form(i).ShowError = showError;
        ASSERT_TRUE(run_->Start());
    }
    void Key(int window) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
        QCoreApplication::sendEvent(&Form(window), &key);
    }
    void Press(int window) { Mouse(window, QEvent::MouseButtonPress, Qt::RightButton, Pointer()); }
    void Release(int window) { Mouse(window, QEvent::MouseButtonRelease, Qt::LeftButton, Pointer()); }
    void Move(int window, int x, int y) { Mouse(window, QEvent::MouseMove, Qt::NoButton, {x, y}); }
    ScreenPoint Pointer() {
        const QPoint p = QCursor::pos();
        return {p.x(), p.y()};
    }
    bool Closed(int window) { return Form(window).Closed() && !Form(window).isVisible(); }
    int Countdown() { return run_->Rules().MouseCountdown(); }
    // The engine's picture that the window paints from.
    const TPixelGraphic* Shown(int window) { return Form(window).Frame().Picture; }
    PGColor OnScreen(int window, int x, int y) {
        const QRgb c = Form(window).DisplayImage().pixel(x, y);
        return PGRGB(qRed(c), qGreen(c), qBlue(c));
    }
    bool TimerActive(int window) { return Form(window).TimerActive(); }
    TSaverEngine& Engine(int window) { return Form(window).Engine(); }
    void Tick(int window) { Form(window).Engine().Timer1Timer(); }
    int Ended() { return ended_; }

private:
    TfrmFullScreen& Form(int window) {
        return static_cast<TfrmFullScreen&>(run_->Window(std::size_t(window)));
    }
    // Mouse events go to the image control and to the window itself by turns: both
    // are the window's input.
    void Mouse(int window, QEvent::Type type, Qt::MouseButton button, ScreenPoint global) {
        TfrmFullScreen& form = Form(window);
        QWidget* target = mouseEvents_++ % 2 ? static_cast<QWidget*>(&form) : form.Image();
        const QPointF at(global.x, global.y);
        QMouseEvent e(type, target->mapFromGlobal(at), at, button,
                      type == QEvent::MouseButtonPress ? button : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &e);
    }

    std::unique_ptr<TSaverRun> run_;
    int ended_ = 0;
    int mouseEvents_ = 0;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, SaverWindowContract, QtSaverDriver);

}  // namespace
}  // namespace quipix::test
