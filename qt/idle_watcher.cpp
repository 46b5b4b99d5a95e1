// The watcher's loop is Qt's (QtDBus needs one): the idle source the session offers
// first (the compositor's protocol, GNOME's or Cinnamon's monitor, the X server's
// idle time), the saver as a child process, and the D-Bus inhibitors, all feeding
// the one policy.
#include "qt/idle_watcher.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "app/idle_policy.h"
#include "common/translate.h"
#include "platform/idle_session.h"
#include "qt/idle_dbus.h"
#include "qt/idle_x11.h"
#if defined(QUIPIX_HAVE_WAYLAND)
#include "wayland/wayland_saver.h"
#endif

namespace quipix {

namespace {

class Host : public IdleHost {
public:
    Host(const std::string& program, const QDBusConnection& bus) : bus_(bus) {
        saver_.setProgram(QString::fromStdString(program));
        saver_.setArguments({"/s"});
        saver_.setProcessChannelMode(QProcess::ForwardedChannels);
        timer_.setSingleShot(true);
    }
    ~Host() override {
        // The session has gone, and the saver ends with it; the policy has gone first.
        saver_.disconnect();
        if (saver_.state() != QProcess::NotRunning) saver_.waitForFinished(-1);
    }
    void Attach(IdlePolicy& policy, ScreenSaverService& service) {
        service_ = &service;
        QObject::connect(&saver_, &QProcess::finished, [&policy] { policy.SaverEnded(); });
        QObject::connect(&timer_, &QTimer::timeout, [&policy] { policy.TimerFired(); });
    }

    bool StartSaver() override {
        saver_.start();
        if (saver_.waitForStarted()) return true;
        std::cerr << "quipix: " << TrFormat("cannot start %s", {saver_.program().toStdString()}) << "\n";
        return false;
    }
    void StopSaver() override { saver_.terminate(); }
    void ArmTimer(int ms) override { timer_.start(ms); }
    bool DesktopInhibits() override { return quipix::DesktopInhibits(bus_); }
    void ActiveChanged(bool active) override { emit service_->ActiveChanged(active); }

private:
    QDBusConnection bus_;
    QProcess saver_;
    QTimer timer_;
    ScreenSaverService* service_ = nullptr;
};

}  // namespace

int RunIdleWatcher(int seconds, const std::string& program) {
    int argc = 1;
    char name[] = "quipix";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    if (!platform::TakeIdleWatcherLock()) {
        std::cerr << "quipix: " << Tr("an idle watcher already runs in this session") << "\n";
        return 0;
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const auto gone = [&app] { app.exit(0); };

    std::unique_ptr<IdleSource> source;
    std::unique_ptr<QSocketNotifier> compositor;
#if defined(QUIPIX_HAVE_WAYLAND)
    if (auto wayland = WaylandIdleSource::Connect()) {
        compositor = std::make_unique<QSocketNotifier>(wayland->Fd(), QSocketNotifier::Read);
        QObject::connect(compositor.get(), &QSocketNotifier::activated, [&app, s = wayland.get()] {
            if (!s->Dispatch()) app.exit(0);
        });
        source = std::move(wayland);
    }
#endif
    if (!source)
        if (auto mutter = MutterIdleSource::Connect(bus)) {
            mutter->Gone = gone;
            source = std::move(mutter);
        }
    std::string why;
    if (!source && std::getenv("DISPLAY")) {
        if (X11IdleSource::XScreensaverRuns()) {
            std::cerr << "quipix: "
                      << Tr("xscreensaver runs in this session and starts screen savers itself: --idle "
                            "leaves idle to it (add quipix to its programs with xscreensaver-settings)")
                      << "\n";
            return 0;
        }
        if (auto x11 = X11IdleSource::Connect(why)) {
            x11->Gone = gone;
            source = std::move(x11);
        }
    }
    if (!source) {
        std::cerr << "quipix: " << (why.empty() ? "" : why + "; ")
                  << Tr("--idle needs one of: a Wayland compositor with ext-idle-notify-v1 or org_kde_kwin_idle "
                        "(sway, KDE Plasma), GNOME's or Cinnamon's idle monitor on the session bus "
                        "(org.gnome.Mutter.IdleMonitor), or an X server ($DISPLAY)")
                  << "\n";
        return 1;
    }

    const int ms = seconds * 1000;
    Host host(program, bus);
    IdlePolicy policy(ms, host);
    ScreenSaverService service(bus, policy);
    host.Attach(policy, service);
    service.Register();
    source->Watch(ms, policy);
    return app.exec();
}

}  // namespace quipix
