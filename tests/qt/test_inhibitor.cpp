// quipix-test-inhibitor: a video player as the idle system tests need one. It asks
// org.freedesktop.ScreenSaver on the session bus to hold the saver off, prints
// "cookie N", and stays on the bus (keeping its inhibition) until it is ended.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <iostream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                       "org.freedesktop.ScreenSaver", "Inhibit");
    call.setArguments({"quipix-test-inhibitor", "playing a video"});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::cerr << "quipix-test-inhibitor: " << reply.errorMessage().toStdString() << std::endl;
        return 1;
    }
    std::cout << "cookie " << reply.arguments().value(0).toUInt() << std::endl;
    return app.exec();
}
