#include "qt/idle_dbus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace quipix {

namespace {

// The desktops answer at once; a hung one must not hang the watcher.
constexpr int kCallTimeoutMs = 2000;

bool Serving(const QDBusConnection& bus, const QString& service) {
    return bus.isConnected() && bus.interface()->isServiceRegistered(service).value();
}

template <typename T>
QDBusReply<T> CallOn(const QDBusConnection& bus, const QString& service, const QString& path,
                     const QString& interface, const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

}  // namespace

std::unique_ptr<MutterIdleSource> MutterIdleSource::Connect(const QDBusConnection& bus) {
    for (const char* desktop : {"gnome.Mutter", "cinnamon.Muffin"}) {
        const QString service = QStringLiteral("org.%1.IdleMonitor").arg(desktop);
        if (!Serving(bus, service)) continue;
        const QString path = "/" + QString(service).replace('.', '/') + "/Core";
        return std::unique_ptr<MutterIdleSource>(new MutterIdleSource(bus, service, path));
    }
    return nullptr;
}

MutterIdleSource::MutterIdleSource(const QDBusConnection& bus, const QString& service, const QString& path)
    : bus_(bus), service_(service), path_(path), watcher_(service, bus, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (Gone) Gone();
    });
}

uint MutterIdleSource::Call(const char* method, const QVariantList& arguments) {
    return CallOn<uint>(bus_, service_, path_, service_, method, arguments).value();
}

void MutterIdleSource::Watch(int ms, IdleListener& listener) {
    listener_ = &listener;
    bus_.connect(service_, path_, service_, "WatchFired", this, SLOT(WatchFired(uint)));
    idleWatch_ = Call("AddIdleWatch", {QVariant::fromValue(qulonglong(ms))});
}

// The idle watch stays and fires at each idle period; a user-active watch fires once.
void MutterIdleSource::WatchFired(uint id) {
    if (id == 0) return;
    if (id == idleWatch_) {
        activeWatch_ = Call("AddUserActiveWatch", {});
        listener_->Idle();
    } else if (id == activeWatch_) {
        activeWatch_ = 0;
        listener_->Active();
    }
}

ScreenSaverService::ScreenSaverService(const QDBusConnection& bus, IdlePolicy& policy)
    : bus_(bus), policy_(policy), callers_({}, bus, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&callers_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& caller) {
        callers_.removeWatchedService(caller);
        policy_.OwnerGone(caller.toStdString());
    });
}

bool ScreenSaverService::Register() {
    if (!bus_.isConnected() || !bus_.registerService("org.freedesktop.ScreenSaver")) return false;
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals;
    return bus_.registerObject("/org/freedesktop/ScreenSaver", this, exported) &&
           bus_.registerObject("/ScreenSaver", this, exported);
}

// Who asks and why is the caller's own business: only its presence on the bus counts.
uint ScreenSaverService::Inhibit(const QString&, const QString&) {
    const QString caller = message().service();
    // A caller that has already gone would never be seen leaving.
    callers_.addWatchedService(caller);
    if (!Serving(bus_, caller)) return 0;
    return policy_.Inhibit(caller.toStdString());
}

void ScreenSaverService::UnInhibit(uint cookie) {
    if (!policy_.UnInhibit(cookie))
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no inhibition has the cookie %1").arg(cookie));
}

bool ScreenSaverService::GetActive() { return policy_.SaverActive(); }

bool ScreenSaverService::SetActive(bool active) {
    policy_.SetActive(active);
    return true;
}

void ScreenSaverService::SimulateUserActivity() { policy_.SimulateUserActivity(); }

bool DesktopInhibits(const QDBusConnection& bus) {
    // GNOME: the idle flag of org.gnome.SessionManager.Inhibit.
    if (Serving(bus, "org.gnome.SessionManager") &&
        CallOn<bool>(bus, "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                     "IsInhibited", {QVariant::fromValue(8u)})
            .value())
        return true;
    // KDE: its screen locker's org.freedesktop.ScreenSaver inhibitions reach the power
    // management's policy agent as "change screen settings" (4).
    const QString agent = "org.kde.Solid.PowerManagement.PolicyAgent";
    if (Serving(bus, agent) &&
        CallOn<bool>(bus, agent, "/org/kde/Solid/PowerManagement/PolicyAgent", agent, "HasInhibition",
                     {QVariant::fromValue(4u)})
            .value())
        return true;
    return Serving(bus, "org.freedesktop.PowerManagement") &&
           CallOn<bool>(bus, "org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                        "org.freedesktop.PowerManagement.Inhibit", "HasInhibit")
               .value();
}

}  // namespace quipix
