// The program entry: "--record ..." renders the saver offscreen; everything else
// is the screen-saver protocol (/s, /c, /p <window>, /a <window>, or nothing).
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_program.h"
#include "config/config_dialog.h"
#include "saver/recorder.h"
#include "saver/saver_window.h"

int main(int argc, char** argv) {
    std::vector<std::string> params(argv + 1, argv + argc);
    if (!params.empty() && params[0] == "--record")
        return quipix::RunRecorder(std::vector<std::string>(params.begin() + 1, params.end()));

    quipix::ParseCommandLine(params);

    // Qt sees only the program name: the protocol's switches are not Qt options.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    std::unique_ptr<QApplication> app;
    auto ensureApplication = [&] {
        if (!app) app = std::make_unique<QApplication>(qtArgc, qtArgv);
    };
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
