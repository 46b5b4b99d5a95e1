// When the --idle watcher starts the saver, whatever tells it the user is idle: one
// saver per idle period, none while an inhibition holds (a video player's, through
// the desktop's D-Bus services), and after the last inhibition ends the idle time
// counts again from then. The idle sources, the saver's child process, the timer and
// the desktop's own inhibitors are the front end's; this class only decides.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace quipix {

// What an idle source reports.
class IdleListener {
public:
    virtual ~IdleListener() = default;
    // The user has now been idle the watched time.
    virtual void Idle() = 0;
    // Input came after an Idle.
    virtual void Active() = 0;
};

// One way of learning the user's idleness (a compositor's protocol, the X server's
// idle time, a desktop's idle monitor on D-Bus).
class IdleSource {
public:
    virtual ~IdleSource() = default;
    // Starts watching: listener.Idle() each time the user has been idle for ms, and
    // listener.Active() at the first input after it. Called once.
    virtual void Watch(int ms, IdleListener& listener) = 0;
};

// What the policy asks of the front end.
class IdleHost {
public:
    virtual ~IdleHost() = default;
    // Starts the saver's child process; false when it could not be started. Its end
    // comes back as IdlePolicy::SaverEnded.
    virtual bool StartSaver() = 0;
    // Asks the running saver to end.
    virtual void StopSaver() = 0;
    // One timer: IdlePolicy::TimerFired after ms; arming it again replaces it.
    virtual void ArmTimer(int ms) = 0;
    // True while the desktop's own inhibitors (its session manager, its power
    // management) hold the saver off.
    virtual bool DesktopInhibits() = 0;
    // The saver started (true) or ended.
    virtual void ActiveChanged(bool active) = 0;
};

class IdlePolicy : public IdleListener {
public:
    IdlePolicy(int idleMs, IdleHost& host) : idleMs_(idleMs), host_(host) {}

    void Idle() override;
    void Active() override;
    void TimerFired();
    void SaverEnded();

    // An inhibition asked for by owner (a bus name); the cookie ends it.
    std::uint32_t Inhibit(const std::string& owner);
    // False when no inhibition has that cookie.
    bool UnInhibit(std::uint32_t cookie);
    // Owner has left: its inhibitions end with it.
    void OwnerGone(const std::string& owner);
    bool Inhibited() const { return !inhibitions_.empty(); }

    bool SaverActive() const { return running_; }
    // Starts the saver now (whatever holds it off) or ends it.
    void SetActive(bool active);
    // As if the user had touched the keyboard now: the saver ends and the idle time
    // counts from now.
    void SimulateUserActivity();

private:
    void Start();
    void TryStart();
    // The idle time counts again from now: no saver before the timer fires.
    void Hold();
    void InhibitionEnded();

    int idleMs_;
    IdleHost& host_;
    bool idle_ = false;     // the source said Idle and no Active since
    bool served_ = false;   // this idle period has had its saver
    bool running_ = false;  // the saver's process runs
    bool held_ = false;     // waiting for the timer after an inhibition or activity
    std::uint32_t nextCookie_ = 1;
    std::map<std::uint32_t, std::string> inhibitions_;  // cookie -> owner
};

}  // namespace quipix
