// The hands and eyes of the GNOME Shell system test: input through Mutter's remote
// desktop and screenshots through the Shell, both held over one bus connection (the
// remote-desktop session ends with the connection that made it). Commands come one
// per line on standard input and each is answered by one line, "ok" or "error: ...":
//   key KEYSYM       a key pressed and released (an X keysym, decimal)
//   move DX DY       the pointer moved by DX, DY
//   button           the left button pressed and released
//   shot FILE        a screenshot of the whole screen into FILE (PNG)
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr int kLeftButton = 0x110;  // BTN_LEFT

QString Error(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The Shell takes screenshots only for the callers it trusts, by their bus name.
    if (!bus.isConnected() || !bus.registerService("org.gnome.Screenshot")) {
        std::cerr << "gnome_session: no session bus, or org.gnome.Screenshot is taken\n";
        return 1;
    }
    QDBusInterface desktop("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                           "org.gnome.Mutter.RemoteDesktop", bus);
    const QDBusReply<QDBusObjectPath> made = desktop.call("CreateSession");
    if (!made.isValid()) {
        std::cerr << "gnome_session: no remote-desktop session: " << made.error().message().toStdString() << "\n";
        return 1;
    }
    QDBusInterface session("org.gnome.Mutter.RemoteDesktop", made.value().path(),
                           "org.gnome.Mutter.RemoteDesktop.Session", bus);
    if (const QString e = Error(session.call("Start")); !e.isEmpty()) {
        std::cerr << "gnome_session: the session does not start: " << e.toStdString() << "\n";
        return 1;
    }
    QDBusInterface shell("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                         bus);
    std::cout << "ready" << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        QString error;
        if (command == "key") {
            uint keysym = 0;
            words >> keysym;
            error = Error(session.call("NotifyKeyboardKeysym", keysym, true));
            if (error.isEmpty()) error = Error(session.call("NotifyKeyboardKeysym", keysym, false));
        } else if (command == "move") {
            double dx = 0, dy = 0;
            words >> dx >> dy;
            error = Error(session.call("NotifyPointerMotionRelative", dx, dy));
        } else if (command == "button") {
            error = Error(session.call("NotifyPointerButton", kLeftButton, true));
            if (error.isEmpty()) error = Error(session.call("NotifyPointerButton", kLeftButton, false));
        } else if (command == "shot") {
            std::string file;
            words >> file;
            const QDBusMessage reply = shell.call("Screenshot", false, false, QString::fromStdString(file));
            error = Error(reply);
            if (error.isEmpty() && !reply.arguments().value(0).toBool()) error = "the Shell took no screenshot";
        } else {
            error = "unknown command";
        }
        std::cout << (error.isEmpty() ? std::string("ok") : "error: " + error.toStdString()) << std::endl;
    }
    session.call("Stop");
    return 0;
}
