// The program entry: the desktop options (--help, --version, --record, --idle, and
// the xscreensaver module's --root / --window-id) when they come first; anything else
// is the screen-saver protocol (/s, /c, /p <window>, /a <window>, or nothing). In a
// Wayland session the saver runs on the Wayland front end; the dialog is Qt's.
#include <QApplication>
#include <xcb/xcb.h>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/command_line.h"
#include "app/desktop_options.h"
#include "app/run_program.h"
#include "common/settings.h"
#include "common/translate.h"
#include "imaging/text_engine.h"
#include "qt/config_dialog.h"
#include "qt/idle_watcher.h"
#include "qt/qt_text_engine.h"
#include "qt/saver_window.h"
#include "qt/services.h"
#include "qt/x11_windows.h"
#include "saver/engine.h"
#if defined(QUIPIX_HAVE_WAYLAND)
#include "wayland/wayland_saver.h"
#endif

using namespace quipix;

namespace {

// SIGTERM, SIGINT and SIGHUP end the program at once with exit code 0, whatever it
// is doing: running, showing a modal error box, loading a slow picture. Nothing is
// left to undo: the X server drops the windows and grabs of a client that is gone,
// and the settings store is replaced atomically, so a save cut short leaves the
// previous file.
void EndOnTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = [](int) { _exit(0); };
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
}

// Qt's own debug and warning chatter ("XDG_RUNTIME_DIR not set", font or
// platform notes) means nothing to a user of a screen saver; critical and fatal
// messages still reach the terminal. QT_LOGGING_RULES, set by someone who wants
// Qt's output, keeps everything.
QtMessageHandler gQtDefaultHandler = nullptr;

void QuietQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg) return;
    if (gQtDefaultHandler)
        gQtDefaultHandler(type, context, message);
    else
        std::cerr << qPrintable(qFormatLogMessage(type, context, message)) << std::endl;
}

// Qt, started only when something needs it. Qt sees only the program name: neither
// the protocol's switches nor ours are Qt options.
class QtStart {
public:
    explicit QtStart(char* program) : argv_{program, nullptr} {}
    // The application of the windows, made once.
    QApplication& Application() {
        if (!app_) app_ = std::make_unique<QApplication>(argc_, argv_);
        return *app_;
    }
    // Qt for text alone, on the offscreen platform: no display of Qt's is needed.
    std::unique_ptr<QGuiApplication> ForText() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char* argv_[2];
    std::unique_ptr<QApplication> app_;
};

int RunModule(const DesktopOptions& options, QtStart& qt) {
    if (!options.warning.empty()) std::cerr << "quipix: " << options.warning << "\n";
    qt.Application();
    QApplication::setApplicationDisplayName(kSaverName);
    RunModuleWindow(options.window);
    return 0;
}

int RunIdle(const DesktopOptions& options, const char* argv0) {
    // This program's own file, for the idle watcher's saver runs.
    std::vector<char> path(4096);
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    return RunIdleWatcher(options.idleSeconds,
                          n > 0 ? std::string(path.data(), std::size_t(n)) : std::string(argv0));
}

// The full-screen saver in a Wayland session. Text is laid out by Qt on its offscreen
// platform; everything else is the Wayland front end's. Qt starts only once the
// outputs have gone black. False when the saver did not run there: without a
// compositor that answers, the X11 saver runs (through Xwayland, say).
bool RanOnWayland(QtStart& qt) {
#if defined(QUIPIX_HAVE_WAYLAND)
    if (RunMode != FullScreen ||
        !WaylandSaverWanted(std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM")))
        return false;
    std::unique_ptr<QGuiApplication> text;
    auto makeTextEngine = [&](double dpi) {
        if (!text) text = qt.ForText();
        return MakeQtTextEngine(dpi);
    };
    const WaylandRunResult result = RunWaylandSaver(makeTextEngine);
    // Qt's fonts go before Qt does.
    SetTextEngine(nullptr);
    return result == WaylandRunResult::Done;
#else
    (void)qt;
    return false;
#endif
}

// Qt aborts when none of its platforms can start: it is asked for one only where an X
// server or a compositor answers (or the environment names another platform).
bool DisplayAnswers() {
    const std::string qtPlatform = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    if (!qtPlatform.empty() && qtPlatform.rfind("xcb", 0) != 0 && qtPlatform.rfind("wayland", 0) != 0) return true;
    if (std::getenv("DISPLAY")) {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const bool answers = !xcb_connection_has_error(c);
        xcb_disconnect(c);
        if (answers) return true;
    }
#if defined(QUIPIX_HAVE_WAYLAND)
    if (std::getenv("WAYLAND_DISPLAY") && WaylandCompositorAnswers()) return true;
#endif
    return false;
}

void PreloadScreenBackground() {
    int width = 0, height = 0;
    if (!CurtainSize(width, height)) return;
    try {
        LoadSettings();
    } catch (...) {
        // The window's own set-up reports a store it cannot read.
        return;
    }
    PreloadBackground(Settings, width, height);
}

// The screen-saver protocol on X11.
int RunProtocol(QtStart& qt) {
    // A preview draws into a foreign X11 window; a Wayland session without X has
    // none, as with a handle that cannot be read.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (RunMode == Preview && wayland && *wayland && !std::getenv("DISPLAY")) return 0;
    if (RunModeNeedsApplication() && !DisplayAnswers()) {
        std::cerr << "quipix: "
                  << Tr("no display answers: neither an X server ($DISPLAY) nor a Wayland compositor "
                        "($WAYLAND_DISPLAY)")
                  << "\n";
        return 1;
    }
    // The screen goes black before the toolkit's start-up, which takes longer; the
    // background of a window that covers that screen is made meanwhile.
    if (RunMode == FullScreen) {
        RaiseBlackCurtain();
        PreloadScreenBackground();
    }
    // The preview-equals-screen rule compares with the screen as the application
    // sees it, so the application exists before the rule runs.
    if (RunModeNeedsApplication()) qt.Application();

    RunCallbacks callbacks;
    callbacks.runSaver = [&](platform::WindowId parent) {
        qt.Application();
        QApplication::setApplicationDisplayName(kSaverName);
        RunSaverWindow(parent);
    };
    callbacks.runConfig = [&](platform::WindowId owner) {
        qt.Application();
        RunConfigDialog(owner);
    };
    callbacks.changePassword = platform::ChangeScreenSaverPasswordCall;
    return RunProgram(callbacks);
}

}  // namespace

int main(int argc, char** argv) {
    EndOnTerminationSignals();
    if (!std::getenv("QT_LOGGING_RULES")) gQtDefaultHandler = qInstallMessageHandler(QuietQtMessages);
    platform::InstallServices(platform::QtServices());
    platform::InstallTranslations();
    const std::vector<std::string> params(argv + 1, argv + argc);
    QtStart qt(argv[0]);

    const DesktopOptions options = ParseDesktopOptions(params, std::getenv("XSCREENSAVER_WINDOW"));
    DesktopFrontEnd frontEnd;
    frontEnd.startText = [&]() -> std::shared_ptr<void> {
        std::shared_ptr<void> text = qt.ForText();
        InstallQtTextEngine();
        return text;
    };
    if (const auto code = RunDesktopOption(options, frontEnd, std::cout, std::cerr)) return *code;
    if (options.action == DesktopOptions::Action::Module) return RunModule(options, qt);
    if (options.action == DesktopOptions::Action::Idle) return RunIdle(options, argv[0]);

    ParseCommandLine(params);
    if (RanOnWayland(qt)) return 0;
    return RunProtocol(qt);
}
