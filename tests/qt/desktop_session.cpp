// The hands and eyes of the desktop system tests, over one session-bus connection:
//   quipix-test-session gnome   input through Mutter's remote desktop (whose session
//                               ends with the connection that made it), screenshots
//                               through GNOME Shell
//   quipix-test-session kwin    screenshots through KWin (input: quipix-test-pointer)
// Commands come one per line on standard input and each is answered by one line,
// "ok" or "error: ...":
//   key KEYSYM       a key pressed and released (an X keysym, decimal)
//   move DX DY       the pointer moved by DX, DY
//   button           the left button pressed and released
//   shot FILE [OUT]  a PNG screenshot: GNOME's of every monitor side by side, KWin's
//                    of output OUT
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QImage>
#include <QVariantMap>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

constexpr int kLeftButton = 0x110;  // BTN_LEFT

QString Error(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}

class Session {
public:
    virtual ~Session() = default;
    virtual QString Key(uint keysym) = 0;
    virtual QString Move(double dx, double dy) = 0;
    virtual QString Button() = 0;
    virtual QString Shot(const QString& file, const QString& output) = 0;
};

class GnomeSession final : public Session {
public:
    explicit GnomeSession(QDBusConnection bus)
        : desktop_("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                   "org.gnome.Mutter.RemoteDesktop", bus),
          shell_("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                 bus) {
        // The Shell takes screenshots only for the callers it trusts, by their bus name.
        if (!bus.registerService("org.gnome.Screenshot"))
            throw std::runtime_error("org.gnome.Screenshot is taken");
        const QDBusReply<QDBusObjectPath> made = desktop_.call("CreateSession");
        if (!made.isValid())
            throw std::runtime_error("no remote-desktop session: " + made.error().message().toStdString());
        session_ = std::make_unique<QDBusInterface>("org.gnome.Mutter.RemoteDesktop", made.value().path(),
                                                    "org.gnome.Mutter.RemoteDesktop.Session", bus);
        if (const QString e = Error(session_->call("Start")); !e.isEmpty())
            throw std::runtime_error("the remote-desktop session does not start: " + e.toStdString());
    }
    ~GnomeSession() override { session_->call("Stop"); }
    QString Key(uint keysym) override { return Twice("NotifyKeyboardKeysym", keysym); }
    QString Move(double dx, double dy) override {
        return Error(session_->call("NotifyPointerMotionRelative", dx, dy));
    }
    QString Button() override { return Twice("NotifyPointerButton", kLeftButton); }
    QString Shot(const QString& file, const QString&) override {
        const QDBusMessage reply = shell_.call("Screenshot", false, false, file);
        if (const QString e = Error(reply); !e.isEmpty()) return e;
        return reply.arguments().value(0).toBool() ? QString() : "the Shell took no screenshot";
    }

private:
    // Pressed, then released.
    template <class T>
    QString Twice(const char* method, T what) {
        QString e = Error(session_->call(method, what, true));
        return e.isEmpty() ? Error(session_->call(method, what, false)) : e;
    }
    QDBusInterface desktop_, shell_;
    std::unique_ptr<QDBusInterface> session_;
};

class KwinSession final : public Session {
public:
    explicit KwinSession(QDBusConnection bus)
        : screenshot_("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", bus) {}
    QString Key(uint) override { return "KWin's input comes from quipix-test-pointer"; }
    QString Move(double, double) override { return Key(0); }
    QString Button() override { return Key(0); }
    // KWin answers with the picture's layout and then writes its pixels into the pipe.
    QString Shot(const QString& file, const QString& output) override {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) return "no pipe";
        const QDBusMessage reply = screenshot_.call("CaptureScreen", output, QVariantMap{},
                                                    QVariant::fromValue(QDBusUnixFileDescriptor(pipe[1])));
        ::close(pipe[1]);
        QByteArray data;
        char buffer[65536];
        for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) data.append(buffer, n);
        ::close(pipe[0]);
        if (const QString e = Error(reply); !e.isEmpty()) return e;
        const QVariantMap layout = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        const int width = layout["width"].toInt(), height = layout["height"].toInt();
        const int stride = layout["stride"].toInt();
        if (width <= 0 || height <= 0 || qsizetype(stride) * height > data.size())
            return "a short screenshot";
        const QImage picture(reinterpret_cast<const uchar*>(data.constData()), width, height, stride,
                             QImage::Format(layout["format"].toInt()));
        return picture.save(file, "PNG") ? QString() : "the screenshot cannot be written";
    }

private:
    QDBusInterface screenshot_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString desktop = argc > 1 ? argv[1] : "";
    QDBusConnection bus = QDBusConnection::sessionBus();
    std::unique_ptr<Session> session;
    try {
        if (!bus.isConnected()) throw std::runtime_error("no session bus");
        if (desktop == "gnome")
            session = std::make_unique<GnomeSession>(bus);
        else if (desktop == "kwin")
            session = std::make_unique<KwinSession>(bus);
        else
            throw std::runtime_error("usage: quipix-test-session gnome|kwin");
    } catch (const std::exception& e) {
        std::cerr << "quipix-test-session: " << e.what() << "\n";
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command, file, output;
        words >> command;
        QString error;
        if (command == "key") {
            uint keysym = 0;
            words >> keysym;
            error = session->Key(keysym);
        } else if (command == "move") {
            double dx = 0, dy = 0;
            words >> dx >> dy;
            error = session->Move(dx, dy);
        } else if (command == "button") {
            error = session->Button();
        } else if (command == "shot") {
            words >> file >> output;
            error = session->Shot(QString::fromStdString(file), QString::fromStdString(output));
        } else {
            error = "unknown command";
        }
        std::cout << (error.isEmpty() ? std::string("ok") : "error: " + error.toStdString()) << std::endl;
    }
    return 0;
}
