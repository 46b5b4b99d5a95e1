// The program entry: the desktop options (--help, --version, --record, --idle, and
// the xscreensaver module's --root / --window-id) when they come first; anything else
// is the screen-saver protocol (/s, /c, /p <window>, /a <window>, or nothing). In a
// Wayland session the saver runs on the Wayland front end; the dialog is Qt's.
#include <QApplication>
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
#include "imaging/text_engine.h"
#include "qt/config_dialog.h"
#include "qt/qt_text_engine.h"
#include "saver/recorder.h"
#include "qt/saver_window.h"
#include "qt/x11_windows.h"
#if defined(QUIPIX_HAVE_WAYLAND)
#include "wayland/wayland_saver.h"
#endif
#include "quipix_version.h"

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

// This program's own file, for the idle watcher's saver runs.
std::string ProgramPath(const char* argv0) {
    std::vector<char> path(4096);
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    return n > 0 ? std::string(path.data(), std::size_t(n)) : std::string(argv0);
}

}  // namespace

int main(int argc, char** argv) {
    EndOnTerminationSignals();
    if (!std::getenv("QT_LOGGING_RULES")) gQtDefaultHandler = qInstallMessageHandler(QuietQtMessages);
    std::vector<std::string> params(argv + 1, argv + argc);
    // Qt sees only the program name: neither the protocol's switches nor ours are
    // Qt options.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    std::unique_ptr<QApplication> app;
    auto ensureApplication = [&] {
        if (!app) app = std::make_unique<QApplication>(qtArgc, qtArgv);
    };

    using Action = quipix::DesktopOptions::Action;
    const quipix::DesktopOptions options =
        quipix::ParseDesktopOptions(params, std::getenv("XSCREENSAVER_WINDOW"));
    switch (options.action) {
    case Action::Help:
        std::cout << quipix::UsageText();
        return 0;
    case Action::Version:
        std::cout << "Quipix " QUIPIX_VERSION "\n";
        return 0;
    case Action::Record: {
        // Text needs a GUI application; recording needs no display, so it runs on
        // the offscreen platform.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication recording(qtArgc, qtArgv);
        quipix::InstallQtTextEngine();
        return quipix::RunRecorder(options.recordArgs);
    }
    case Action::Error:
        std::cerr << "quipix: " << options.error << "\n" << quipix::UsageText();
        return 2;
    case Action::Module:
        if (!options.warning.empty()) std::cerr << "quipix: " << options.warning << "\n";
        ensureApplication();
        QApplication::setApplicationDisplayName("Kelvara Jokes Screen Saver");
        quipix::RunModuleWindow(options.window);
        return 0;
    case Action::Idle:
#if defined(QUIPIX_HAVE_WAYLAND)
        return quipix::RunIdleWatcher(options.idleSeconds, ProgramPath(argv[0]));
#else
        std::cerr << "quipix: --idle needs the Wayland front end, which this build leaves out\n";
        return 2;
#endif
    case Action::Protocol:
        break;
    }

    quipix::ParseCommandLine(params);
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
#if defined(QUIPIX_HAVE_WAYLAND)
    if (quipix::RunMode == quipix::FullScreen &&
        quipix::WaylandSaverWanted(wayland, std::getenv("QT_QPA_PLATFORM"))) {
        // Text is laid out by Qt on its offscreen platform; everything else is the
        // Wayland front end's. Qt starts only once the outputs have gone black.
        std::unique_ptr<QGuiApplication> text;
        auto makeTextEngine = [&](double dpi) {
            if (!text) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
                text = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
            }
            return quipix::MakeQtTextEngine(dpi);
        };
        const quipix::WaylandRunResult result = quipix::RunWaylandSaver(makeTextEngine);
        // Qt's fonts go before Qt does.
        quipix::SetTextEngine(nullptr);
        // Without a compositor that answers, the X11 saver runs (through Xwayland, say).
        if (result == quipix::WaylandRunResult::Done) return 0;
    }
#endif
    // A preview draws into a foreign X11 window; a Wayland session without X has
    // none, as with a handle that cannot be read.
    if (quipix::RunMode == quipix::Preview && wayland && *wayland && !std::getenv("DISPLAY")) return 0;
    // The screen goes black before the toolkit's start-up, which takes longer.
    if (quipix::RunMode == quipix::FullScreen) quipix::RaiseBlackCurtain();
    // The preview-equals-screen rule compares with the screen as the application
    // sees it, so the application exists before the rule runs.
    if (quipix::RunModeNeedsApplication()) ensureApplication();

    quipix::RunCallbacks callbacks;
    callbacks.runSaver = [&](quipix::platform::WindowId parent) {
        ensureApplication();
        QApplication::setApplicationDisplayName("Kelvara Jokes Screen Saver");
        quipix::RunSaverWindow(parent);
    };
    callbacks.runConfig = [&](quipix::platform::WindowId owner) {
        ensureApplication();
        quipix::RunConfigDialog(owner);
    };
    callbacks.changePassword = quipix::platform::ChangeScreenSaverPasswordCall;
    quipix::RunProgram(callbacks);
    return 0;
}
