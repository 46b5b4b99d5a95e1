// The saver policy every front end shares: the closing count with its same-place
// rule and the password step, and the run of one window per monitor (where the
// pointer rests as it starts, closing together, windows joining and leaving), over
// stand-in windows.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "saver/closing_rules.h"
#include "saver/saver_run.h"

namespace quipix::test {
namespace {

TEST(ClosingRules, TheSeventhMouseEventCloses) {
    struct Case {
        const char* name;
        std::vector<char> events;  // m: move to a new place, s: "move" to the same place, r: release
        int closesAt;              // index of the event that asks to close, -1 for none
    };
    const Case cases[] = {
        {"six moves tolerated", {'m', 'm', 'm', 'm', 'm', 'm'}, -1},
        {"the seventh move", {'m', 'm', 'm', 'm', 'm', 'm', 'm'}, 6},
        {"releases count too", {'r', 'm', 'r', 'm', 'r', 'm', 'r'}, 6},
        {"no move where the pointer stays", {'m', 's', 's', 'm', 's', 'm', 'm', 'm', 's', 'm', 'm'}, 10},
    };
    for (const Case& c : cases) {
        TClosingRules rules;
        rules.PointerAt(0, 0);
        int x = 0, closedAt = -1;
        for (int i = 0; i < int(c.events.size()) && closedAt < 0; ++i) {
            const char e = c.events[std::size_t(i)];
            const bool close = e == 'r' ? rules.MouseReleased() : rules.MouseMoved(e == 'm' ? ++x : x, 0);
            if (close) closedAt = i;
        }
        EXPECT_EQ(closedAt, c.closesAt) << c.name;
    }
    TClosingRules rules;
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(rules.MouseMoved(i, 0));
    // A refused password tolerates six more.
    rules.Restart();
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(rules.MouseReleased());
    EXPECT_TRUE(rules.MouseReleased());
}

TEST(ClosingRules, AMoveToWhereThePointerRestsIsNone) {
    struct Case {
        const char* name;
        std::optional<ScreenPoint> start;  // where the run's pointer rests, when the system can tell
        std::vector<ScreenPoint> moves;
        std::vector<int> countdowns;  // after each move
    };
    const Case cases[] = {
        // The "move" a window appearing under the pointer reports.
        {"the start is known", ScreenPoint{5, 5}, {{5, 5}, {6, 5}, {6, 5}, {5, 5}}, {6, 5, 5, 4}},
        {"the first report is where it rests", std::nullopt, {{9, 9}, {9, 9}, {10, 9}}, {6, 6, 5}},
    };
    for (const Case& c : cases) {
        TSaverRun run({}, c.start);
        std::vector<int> countdowns;
        for (const ScreenPoint& p : c.moves) {
            EXPECT_FALSE(run.Rules().MouseMoved(p.x, p.y));
            countdowns.push_back(run.Rules().MouseCountdown());
        }
        EXPECT_EQ(countdowns, c.countdowns) << c.name;
    }
}

TEST(ClosingRules, ARefusedPasswordKeepsTheSaverAndCountsAfresh) {
    TClosingRules rules;
    std::vector<platform::WindowId> asked;
    bool accept = false;
    rules.VerifyPassword = [&](platform::WindowId w) {
        asked.push_back(w);
        return accept;
    };
    for (int i = 0; i < 6; ++i) rules.MouseReleased();
    ASSERT_EQ(rules.MouseCountdown(), 0);
    EXPECT_FALSE(rules.RequestClose(42));
    EXPECT_EQ(rules.MouseCountdown(), 6);
    accept = true;
    EXPECT_TRUE(rules.RequestClose(43));
    EXPECT_EQ(asked, (std::vector<platform::WindowId>{42, 43}));
    // Without a password scheme (Linux, Windows NT) the system accepts at once.
    EXPECT_TRUE(TClosingRules().RequestClose(0));
}

// A window of a run that records what the run asks of it. It closes at once when
// asked, as a Qt window does, or later from the event loop (Close), as a Win32 one.
class FakeWindow : public SaverWindow {
public:
    FakeWindow(std::vector<std::string>& log, std::string name, bool closesAtOnce = true, bool shows = true)
        : log_(log), name_(std::move(name)), closesAtOnce_(closesAtOnce), shows_(shows) {}
    bool Start() override {
        log_.push_back(name_ + " starts");
        if (!shows_) closed_ = true;
        return shows_;
    }
    void StopAndClose() override {
        log_.push_back(name_ + " asked");
        if (closesAtOnce_) Close();
    }
    bool Closed() const override { return closed_; }
    // The window has gone: the run it joined hears of it.
    void Close() {
        if (closed_) return;
        closed_ = true;
        log_.push_back(name_ + " closed");
        if (OnClosed) OnClosed();
    }

private:
    std::vector<std::string>& log_;
    std::string name_;
    bool closesAtOnce_, shows_;
    bool closed_ = false;
};

// A run of fake windows and the log they and the run's end write.
struct FakeRun {
    TSaverRun run{[this] { log.push_back("run over"); }};
    std::vector<std::string> log;
    FakeWindow& Add(const std::string& name, bool closesAtOnce = true, bool shows = true) {
        return static_cast<FakeWindow&>(
            run.Add(std::make_unique<FakeWindow>(log, name, closesAtOnce, shows)));
    }
};

TEST(SaverRun, TheWindowsCloseTogetherAndTheRunEndsOnceWhenTheLastHasGone) {
    struct Case {
        const char* name;
        bool closesAtOnce;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // Each close comes back to the run from inside its StopAndClose.
        {"closing at once (re-entrant)",
         true,
         {"b closed", "a asked", "a closed", "c asked", "c closed", "run over"}},
        {"closing from the event loop",
         false,
         {"b closed", "a asked", "c asked", "a closed", "c closed", "run over"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRun t;
        FakeWindow& a = t.Add("a", c.closesAtOnce);
        FakeWindow& b = t.Add("b", c.closesAtOnce);
        FakeWindow& cw = t.Add("c", c.closesAtOnce);
        ASSERT_TRUE(t.run.Start());
        t.log.clear();
        b.Close();  // input on b
        EXPECT_TRUE(t.run.Ending());
        a.Close();  // the event loop delivers the closes asked for
        cw.Close();
        EXPECT_EQ(t.log, c.expected);
        EXPECT_TRUE(t.run.Over());
    }
}

TEST(SaverRun, WindowsJoinAndLeaveWhileTheRunGoesOn) {
    FakeRun t;
    auto& [run, log] = t;
    FakeWindow& a = t.Add("a");
    t.Add("b");
    EXPECT_TRUE(log.empty());  // nothing starts before the run does
    ASSERT_TRUE(run.Start());
    FakeWindow& late = t.Add("late");  // a monitor plugged in: its window starts at once
    EXPECT_EQ(log, (std::vector<std::string>{"a starts", "b starts", "late starts"}));
    log.clear();
    EXPECT_FALSE(run.Remove(run.Window(1)));  // b's monitor has gone: the others go on
    ASSERT_EQ(run.Count(), 2u);
    EXPECT_FALSE(a.Closed());
    EXPECT_FALSE(late.Closed());
    EXPECT_FALSE(run.Ending());
    late.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"late closed", "a asked", "a closed", "run over"}));
    // Once the run ends, a window that joins is not shown.
    t.Add("after");
    EXPECT_EQ(log.back(), "run over");
}

TEST(SaverRun, AWindowTakenOutWhileTheOthersCloseCanEndTheRun) {
    FakeRun t;
    FakeWindow& a = t.Add("a", false);
    t.Add("b", false);
    ASSERT_TRUE(t.run.Start());
    a.Close();  // b is asked to close, but its monitor goes first
    EXPECT_FALSE(t.run.Over());
    EXPECT_TRUE(t.run.Remove(t.run.Window(1)));
    EXPECT_TRUE(t.run.Over());
    EXPECT_EQ(t.log.back(), "run over");
}

TEST(SaverRun, StartShowsWhatItCanAndStopsAtTheFirstClose) {
    {
        FakeRun t;
        t.Add("a", true, false);
        t.Add("b", true, false);
        EXPECT_FALSE(t.run.Start());  // nothing to run
    }
    {
        FakeRun t;
        t.Add("a", true, false);
        t.Add("b");
        EXPECT_TRUE(t.run.Start());
    }
    // A window closed while it starts (input during its error box, say): the windows
    // after it are not shown, and the run is over.
    class ClosingAtStart : public FakeWindow {
    public:
        using FakeWindow::FakeWindow;
        bool Start() override {
            FakeWindow::Start();
            Close();
            return true;
        }
    };
    FakeRun t;
    t.run.Add(std::make_unique<ClosingAtStart>(t.log, "a"));
    t.Add("b");
    t.run.Start();
    EXPECT_EQ(t.log, (std::vector<std::string>{"a starts", "a closed", "b asked", "b closed", "run over"}));
}

}  // namespace
}  // namespace quipix::test
