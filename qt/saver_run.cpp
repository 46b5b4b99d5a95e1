// The runs of the Qt saver window: the full-screen run over every monitor, the
// preview and the xscreensaver module, each a TSaverRun whose windows share one set
// of closing rules and close together, and the event loop that lasts until the last
// window has closed.
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "imaging/text_engine.h"
#include "qt/qt_text_engine.h"
#include "qt/saver_window.h"
#include "qt/x11_windows.h"

namespace quipix {

std::unique_ptr<TSaverRun> MakeScreenRun(const std::vector<QScreen*>& screens, const EngineServices& services,
                                         std::function<void()> ended) {
    // In device pixels, as the windows count the pointer's moves.
    const QScreen* first = screens.empty() ? nullptr : screens.front();
    const double ratio = first && first->devicePixelRatio() > 0 ? first->devicePixelRatio() : 1;
    const QPoint pointer = QCursor::pos();
    auto run = std::make_unique<TSaverRun>(
        std::move(ended),
        ScreenPoint{int(std::lround(pointer.x() * ratio)), int(std::lround(pointer.y() * ratio))});
    for (std::size_t i = 0; i < screens.size(); ++i)
        run->Add(std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Screen, 0, screens[i], i == 0},
                                                  run->Rules(), services));
    return run;
}

std::unique_ptr<TSaverRun> MakeSaverWindows(platform::WindowId parent, const EngineServices& services,
                                            std::function<void()> ended) {
    if (parent == 0) {
        // The primary monitor first: its window takes the keyboard and pointer grabs,
        // and the input of the others reaches it through them.
        std::vector<QScreen*> screens{QGuiApplication::primaryScreen()};
        for (QScreen* s : QGuiApplication::screens())
            if (s != screens.front()) screens.push_back(s);
        return MakeScreenRun(screens, services, std::move(ended));
    }
    auto run = std::make_unique<TSaverRun>(std::move(ended));
    run->Add(std::make_unique<TfrmFullScreen>(parent, services));
    return run;
}

namespace {

void PrepareRun() {
    TuneAllocatorForPictures();
    if (!CurrentTextEngine()) InstallQtTextEngine();
    // Every mouse-move message counts toward closing, so none may be merged.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
}

// From the event loop, once the window that closed last has finished closing.
void QuitLater() { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); }

// Starts the run's windows and runs the event loop until the last has closed.
void Play(TSaverRun& run) {
    const bool started = run.Start();
    LowerBlackCurtain();
    if (started) QCoreApplication::exec();
}

}  // namespace

void RunSaverWindow(platform::WindowId parent) {
    PrepareRun();
    auto run = MakeSaverWindows(parent, DefaultEngineServices(), QuitLater);
    Play(*run);
}

void RunModuleWindow(platform::WindowId window) {
    PrepareRun();
    TSaverRun run(QuitLater);
    run.Add(std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Module, window, nullptr}));
    Play(run);
}

}  // namespace quipix
