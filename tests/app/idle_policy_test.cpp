// The --idle watcher's policy, driven by scripts of events: one saver per idle
// period, inhibitions and their owners, the idle time counted again after the last
// inhibition ends, the desktop's own inhibitors asked again after each idle time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/idle_policy.h"

namespace quipix {
namespace {

// Logs what the policy asks: S a saver started, X a saver asked to end, T the timer
// armed, + and - the saver's activity announced.
struct FakeHost : IdleHost {
    std::string log;
    bool desktopInhibits = false;
    bool startFails = false;
    bool StartSaver() override {
        if (startFails) return startFails = false;
        log += 'S';
        return true;
    }
    void StopSaver() override { log += 'X'; }
    void ArmTimer(int ms) override {
        EXPECT_EQ(ms, 5000);
        log += 'T';
    }
    bool DesktopInhibits() override { return desktopInhibits; }
    void ActiveChanged(bool active) override { log += active ? '+' : '-'; }
};

// i idle, a active, t timer fired, e saver ended, h/H an inhibition by owner x/y,
// u un-inhibits the newest cookie, g owner x leaves the bus, D/d desktop inhibits or
// no longer, f the next start fails, s simulated activity, A/Z set active or not.
std::string RunScript(const std::string& script) {
    FakeHost host;
    IdlePolicy policy(5000, host);
    std::vector<std::uint32_t> cookies;
    for (char c : script) switch (c) {
        case 'i': policy.Idle(); break;
        case 'a': policy.Active(); break;
        case 't': policy.TimerFired(); break;
        case 'e': policy.SaverEnded(); break;
        case 'h': cookies.push_back(policy.Inhibit(":1.5")); break;
        case 'H': cookies.push_back(policy.Inhibit(":1.9")); break;
        case 'u': EXPECT_TRUE(policy.UnInhibit(cookies.back())); cookies.pop_back(); break;
        case 'g': policy.OwnerGone(":1.5"); break;
        case 'D': host.desktopInhibits = true; break;
        case 'd': host.desktopInhibits = false; break;
        case 'f': host.startFails = true; break;
        case 's': policy.SimulateUserActivity(); break;
        case 'A': policy.SetActive(true); break;
        case 'Z': policy.SetActive(false); break;
        default: ADD_FAILURE() << c;
    }
    EXPECT_EQ(policy.SaverActive(), !host.log.empty() && host.log.back() == '+') << script;
    return host.log;
}

TEST(IdlePolicyTest, Scripts) {
    struct Case {
        const char* script;
        const char* log;
        const char* what;
    } cases[] = {
        {"i", "S+", "idle starts the saver"},
        {"ieiai", "S+-S+", "one saver per idle period"},
        {"iaieai", "S+-S+", "a saver still running is not started twice"},
        {"fiai", "S+", "a failed start waits for the next period"},
        {"hia", "", "an inhibition holds the saver off"},
        {"hiui", "T", "after the last inhibition the idle time counts again"},
        {"hiut", "TS+", "and the saver comes when it has passed"},
        {"huat", "T", "unless input came in between"},
        {"hHiut", "", "one of two inhibitions ending holds still"},
        {"hHigut", "TS+", "an owner leaving ends its inhibitions"},
        {"hhigt", "TS+", "all of them"},
        {"hHigt", "", "but no one else's"},
        {"Dit", "TT", "the desktop's inhibitors are asked again after each idle time"},
        {"Ditdt", "TTS+", "until they let go"},
        {"ise", "S+XT-", "simulated activity ends the saver and restarts the idle time"},
        {"iset", "S+XT-S+", "a saver comes after it without new input"},
        {"hA", "S+", "asked to, the saver starts whatever holds it off"},
        {"AZe", "S+X-", "and ends when asked"},
    };
    for (const Case& c : cases) EXPECT_EQ(RunScript(c.script), c.log) << c.script << ": " << c.what;
}

TEST(IdlePolicyTest, UnknownCookiesAreRefused) {
    FakeHost host;
    IdlePolicy policy(5000, host);
    const auto cookie = policy.Inhibit(":1.5");
    EXPECT_FALSE(policy.UnInhibit(cookie + 1));
    EXPECT_TRUE(policy.Inhibited());
    EXPECT_TRUE(policy.UnInhibit(cookie));
    EXPECT_FALSE(policy.UnInhibit(cookie));
    EXPECT_NE(policy.Inhibit(":1.5"), cookie);
}

}  // namespace
}  // namespace quipix
