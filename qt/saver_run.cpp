// The runs of the Qt saver window: the full-screen run over every monitor, the
// preview and the xscreensaver module, each a TSaverRun whose windows share one set
// of closing rules and close together, and the event loop that lasts until the last
// window has closed.
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "imaging/text_engine.h"
#include "qt/qt_text_engine.h"
#include "qt/saver_window.h"
#include "qt/x11_windows.h"

namespace quipix {

namespace {

// Adds form to run: its close goes to the run, which closes the others, and ended
// runs once the last has closed.
void Join(TSaverRun& run, std::unique_ptr<TfrmFullScreen> form, const std::function<void()>& ended) {
    TfrmFullScreen* f = form.get();
    QObject::connect(f, &TfrmFullScreen::closed, f, [&run, ended] {
        if (run.WindowClosed() && ended) ended();
    });
    run.Add(std::move(form));
}

}  // namespace

std::unique_ptr<TSaverRun> MakeScreenRun(const std::vector<QScreen*>& screens, const EngineServices& services,
                                         std::function<void()> ended) {
    auto run = std::make_unique<TSaverRun>();
    // The windows appearing under the pointer may report a "move" to where it rests.
    // Positions are in device pixels, as the windows count them.
    const QScreen* first = screens.empty() ? nullptr : screens.front();
    const double ratio = first && first->devicePixelRatio() > 0 ? first->devicePixelRatio() : 1;
    const QPoint pointer = QCursor::pos();
    run->Rules().PointerAt(int(std::lround(pointer.x() * ratio)), int(std::lround(pointer.y() * ratio)));
    for (std::size_t i = 0; i < screens.size(); ++i)
        Join(*run,
             std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Screen, 0, screens[i], i == 0},
                                              run->Rules(), services),
             ended);
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
    auto run = std::make_unique<TSaverRun>();
    Join(*run, std::make_unique<TfrmFullScreen>(parent, services), ended);
    return run;
}

namespace {

void PrepareRun() {
#if defined(__GLIBC__)
    // Full-screen pictures come and go with the fade states. By default the allocator
    // serves a size it has once freed from its heap afterwards, which keeps the memory
    // when it is freed again; with a fixed threshold every picture is mapped on its
    // own and goes back to the system when it is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
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
    TSaverRun run;
    Join(run, std::make_unique<TfrmFullScreen>(SaverTarget{SaverPlacement::Module, window, nullptr}),
         QuitLater);
    Play(run);
}

}  // namespace quipix
