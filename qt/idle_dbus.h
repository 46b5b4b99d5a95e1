// The --idle watcher on the session bus: GNOME's and Cinnamon's idle monitors as an
// idle source, org.freedesktop.ScreenSaver served where nobody else serves it (sway,
// X11 window managers), and the inhibitions of the desktops that keep their own
// (GNOME's session manager, KDE's power management).
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QObject>
#include <functional>
#include <memory>

#include "app/idle_policy.h"

namespace quipix {

// org.gnome.Mutter.IdleMonitor, or Cinnamon's org.cinnamon.Muffin.IdleMonitor.
class MutterIdleSource : public QObject, public IdleSource {
    Q_OBJECT
public:
    // Null when neither monitor is on the bus.
    static std::unique_ptr<MutterIdleSource> Connect(const QDBusConnection& bus);
    void Watch(int ms, IdleListener& listener) override;
    // The monitor left the bus (the desktop has ended).
    std::function<void()> Gone;

private slots:
    void WatchFired(uint id);

private:
    MutterIdleSource(const QDBusConnection& bus, const QString& service, const QString& path);
    uint Call(const char* method, const QVariantList& arguments);

    QDBusConnection bus_;
    QString service_, path_;
    QDBusServiceWatcher watcher_;
    IdleListener* listener_ = nullptr;
    uint idleWatch_ = 0, activeWatch_ = 0;
};

// org.freedesktop.ScreenSaver on /org/freedesktop/ScreenSaver and /ScreenSaver.
class ScreenSaverService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    ScreenSaverService(const QDBusConnection& bus, IdlePolicy& policy);
    // Takes the name; false when another program serves it.
    bool Register();

public slots:
    uint Inhibit(const QString& application, const QString& reason);
    void UnInhibit(uint cookie);
    bool GetActive();
    bool SetActive(bool active);
    void SimulateUserActivity();

signals:
    void ActiveChanged(bool active);

private:
    QDBusConnection bus_;
    IdlePolicy& policy_;
    QDBusServiceWatcher callers_;
};

// True while GNOME's session manager (IsInhibited with the idle flag) or KDE's power
// management (its policy agent's HasInhibition, the freedesktop HasInhibit) holds the
// screen saver off.
bool DesktopInhibits(const QDBusConnection& bus);

}  // namespace quipix
