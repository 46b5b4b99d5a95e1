// The contract every full-screen saver window keeps, whatever its toolkit: the run's
// closing rules as its windows apply them to real input events (six pointer events
// tolerated, no move where the pointer already is, a key or a button at once), the
// windows of a run closing together, a failed set-up, and ticks reaching what the
// window shows. A front end's suite writes a driver (SaverWindowDriver below) and runs
// the contract with INSTANTIATE_TYPED_TEST_SUITE_P(Front, SaverWindowContract, Driver).
#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "saver/engine.h"
#include "saver/saver_run.h"
#include "saver/saver_fakes.h"

namespace quipix::test {

// Windows are numbered in the run's order; positions are screen coordinates.
template <class D>
concept SaverWindowDriver = requires(D d, int i, EngineServices s,
                                     std::function<void(const std::string&)> e) {
    { D::Possible() } -> std::convertible_to<bool>;  // windows can be made here (a display)
    d.Open(i, s, e);  // opens and starts a run of i full-screen windows; e is the error box
    d.Key(i);         // any key pressed on window i
    d.Press(i);       // a mouse button pressed
    d.Release(i);     // a mouse button released
    d.Move(i, i, i);  // the pointer moved to (x, y) over window i
    { d.Pointer() } -> std::same_as<ScreenPoint>;   // where the pointer was as the run started
    { d.Closed(i) } -> std::convertible_to<bool>;   // once the events sent so far are handled
    { d.Countdown() } -> std::convertible_to<int>;  // the run's pointer events still tolerated
    { d.Shown(i) } -> std::convertible_to<const TPixelGraphic*>;
    { d.OnScreen(i, i, i) } -> std::convertible_to<PGColor>;  // a pixel as the window shows it
    { d.TimerActive(i) } -> std::convertible_to<bool>;
    { d.Engine(i) } -> std::same_as<TSaverEngine&>;
    d.Tick(i);                                  // one tick of the window's timer
    { d.Ended() } -> std::convertible_to<int>;  // how often the run has reported its end
};

template <class Driver>
class SaverWindowContract : public ::testing::Test {
    static_assert(SaverWindowDriver<Driver>);

protected:
    void SetUp() override {
        if (!Driver::Possible()) GTEST_SKIP() << "no display: windows cannot be made";
    }
    void Open(Driver& d, int windows, EngineServices services) {
        d.Open(windows, std::move(services), [this](const std::string& e) { errors.push_back(e); });
    }
    void Open(Driver& d, int windows) { Open(d, windows, fake.Make()); }
    static void ExpectRun(Driver& d, int windows, bool closed) {
        for (int w = 0; w < windows; ++w) {
            EXPECT_EQ(d.Closed(w), closed) << "window " << w;
            EXPECT_EQ(d.TimerActive(w), !closed) << "window " << w;
        }
        EXPECT_EQ(d.Ended(), closed ? 1 : 0);
    }

    FakeServices fake;
    std::vector<std::string> errors;
};

TYPED_TEST_SUITE_P(SaverWindowContract);

TYPED_TEST_P(SaverWindowContract, SixPointerEventsAreToleratedTheSeventhClosesTheRun) {
    struct Case {
        const char* name;
        int windows;
        const char* events;  // m: a move a few pixels on, r: a button released
    };
    const Case cases[] = {
        {"moves", 1, "mmmmmmm"},
        {"releases", 1, "rrrrrrr"},
        // The count is the run's, whichever monitor the pointer crosses.
        {"moves and releases over three monitors", 3, "mrrmmrm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeParam d;
        this->Open(d, c.windows);
        ScreenPoint at = d.Pointer();
        for (int i = 0; i < 7; ++i) {
            if (i == 6) {
                EXPECT_EQ(d.Countdown(), 0);
                this->ExpectRun(d, c.windows, false);
            }
            if (c.events[i] == 'm') {
                at.x += 3;
                d.Move(i % c.windows, at.x, at.y);
            } else {
                d.Release(i % c.windows);
            }
        }
        this->ExpectRun(d, c.windows, true);
    }
}

TYPED_TEST_P(SaverWindowContract, AMoveToWhereThePointerIsIsNotCounted) {
    TypeParam d;
    this->Open(d, 1);
    const ScreenPoint p = d.Pointer();
    struct Step {
        char event;  // m: a move, r: a button released
        int dx;      // where to, from where the pointer was at the start
        int countdown;
    };
    const Step steps[] = {
        {'m', 0, 6},               // the "move" a window appearing under the pointer reports
        {'m', 1, 5},               // however small, a move
        {'m', 1, 5},               // the same place again
        {'r', 0, 4},               // a release counts wherever the pointer is
        {'m', 1, 4}, {'m', 0, 3},  // back where it started: a move
    };
    for (const Step& s : steps) {
        if (s.event == 'm')
            d.Move(0, p.x + s.dx, p.y);
        else
            d.Release(0);
        EXPECT_EQ(d.Countdown(), s.countdown) << s.event << " to +" << s.dx;
    }
    this->ExpectRun(d, 1, false);
}

TYPED_TEST_P(SaverWindowContract, AKeyOrAButtonOnAnyWindowClosesTheRunAtOnce) {
    struct Case {
        const char* name;
        char input;  // k: a key, b: a button pressed
        int windows;
        int target;
    };
    const Case cases[] = {
        {"a key", 'k', 1, 0},
        {"a button", 'b', 1, 0},
        {"a key on the first of two monitors", 'k', 2, 0},
        {"a key on the second monitor", 'k', 2, 1},
        {"a button on the third monitor", 'b', 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypeParam d;
        this->Open(d, c.windows);
        this->ExpectRun(d, c.windows, false);
        if (c.input == 'k')
            d.Key(c.target);
        else
            d.Press(c.target);
        this->ExpectRun(d, c.windows, true);
    }
}

TYPED_TEST_P(SaverWindowContract, ASetUpErrorShowsTheBoxStartsNoTimerAndInputStillCloses) {
    TypeParam d;
    EngineServices services = this->fake.Make();
    services.loadSettings = [] { throw std::runtime_error("Invalid data type for 'Speed'"); };
    this->Open(d, 1, services);
    EXPECT_EQ(this->errors, std::vector<std::string>{"Invalid data type for 'Speed'"});
    EXPECT_FALSE(d.TimerActive(0));
    d.Tick(0);  // does nothing
    EXPECT_FALSE(d.Closed(0));
    d.Key(0);
    EXPECT_TRUE(d.Closed(0));
    EXPECT_EQ(d.Ended(), 1);
}

TYPED_TEST_P(SaverWindowContract, TicksDrawIntoTheShownPicture) {
    this->fake.settings.FadeMode = fade_mode::FadeInPlace;
    this->fake.settings.BackgroundType = background_type::Solid;
    this->fake.settings.SolidColor = 0x00FF00;
    TypeParam d;
    this->Open(d, 1);
    EXPECT_TRUE(this->errors.empty());
    d.Tick(0);  // a new joke starts on the bare background
    const TPixelGraphic* shown = d.Shown(0);
    ASSERT_NE(shown, nullptr);
    ASSERT_FALSE(shown->Empty());
    EXPECT_EQ(shown->Pixels(0, 0), PGColor(0x00FF00));
    EXPECT_EQ(d.OnScreen(0, 0, 0), PGColor(0x00FF00));
    // The question slides into the shown picture, and the window shows it.
    for (int i = 0; i < 400 && d.Engine(0).AnimationState() == TSaverEngine::QuestionSlides; ++i) d.Tick(0);
    ASSERT_EQ(d.Engine(0).AnimationState(), TSaverEngine::AnswerSetUp);
    shown = d.Shown(0);
    const TJokeLayout& l = d.Engine(0).Layout();
    int textX = -1, textY = -1;
    for (int y = l.QuestionTarget; y < l.QuestionTarget + l.QuestionHeight + 10 && textX < 0; ++y)
        for (int x = l.Margin; x < l.Margin + l.TextWidth && textX < 0; ++x)
            if (shown->Pixels(x, y) != PGColor(0x00FF00)) {
                textX = x;
                textY = y;
            }
    ASSERT_GE(textX, 0) << "no text in the question's place";
    EXPECT_EQ(d.OnScreen(0, textX, textY), shown->Pixels(textX, textY));
}

REGISTER_TYPED_TEST_SUITE_P(SaverWindowContract, SixPointerEventsAreToleratedTheSeventhClosesTheRun,
                            AMoveToWhereThePointerIsIsNotCounted, AKeyOrAButtonOnAnyWindowClosesTheRunAtOnce,
                            ASetUpErrorShowsTheBoxStartsNoTimerAndInputStillCloses,
                            TicksDrawIntoTheShownPicture);

}  // namespace quipix::test
