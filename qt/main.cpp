// The program entry: the desktop options (--help, --version, --record, and the
// xscreensaver module's --root / --window-id) when they come first; anything else
// is the screen-saver protocol (/s, /c, /p <window>, /a <window>, or nothing).
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
#include "qt/config_dialog.h"
#include "qt/qt_text_engine.h"
#include "saver/recorder.h"
#include "qt/saver_window.h"
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
    case Action::Protocol:
        break;
    }

    quipix::ParseCommandLine(params);
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
