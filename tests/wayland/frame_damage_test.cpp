// The two-buffer bookkeeping of a Wayland saver surface: a frame goes into a buffer
// the compositor does not hold, which first catches up on everything it lacks, while
// the commit reports only what changed since the previous one.
#include <gtest/gtest.h>

#include "wayland/frame_damage.h"

namespace quipix {
namespace {

bool Same(const DamageRect& a, const DamageRect& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

TEST(FrameDamageTest, EachBufferCatchesUpOnWhatChangedSinceItWasLastCommitted) {
    TFrameDamage d;
    d.Reset(100, 50);
    const DamageRect all{0, 0, 100, 50};
    ASSERT_TRUE(d.Pending());
    EXPECT_EQ(d.FreeBuffer(), 0);
    EXPECT_TRUE(Same(d.Missing(0), all));
    d.Committed(0);
    EXPECT_FALSE(d.Pending());

    // Buffer 0 is on screen: the next frame goes into buffer 1, which still lacks all.
    d.Add({5, 10, 95, 20});
    EXPECT_EQ(d.FreeBuffer(), 1);
    EXPECT_TRUE(Same(d.Missing(1), all));
    EXPECT_TRUE(Same(d.PendingArea(), DamageRect{5, 10, 95, 20}));
    d.Committed(1);
    EXPECT_EQ(d.FreeBuffer(), -1) << "both are held: nothing may be written";

    // Buffer 0 comes back having missed the first change and the one after it; the
    // commit reports only the second.
    d.Released(0);
    d.Add({5, 20, 95, 30});
    EXPECT_EQ(d.FreeBuffer(), 0);
    EXPECT_TRUE(Same(d.Missing(0), DamageRect{5, 10, 95, 30}));
    EXPECT_TRUE(Same(d.PendingArea(), DamageRect{5, 20, 95, 30}));

    // With both free, the one with less to catch up is taken.
    d.Released(1);
    EXPECT_EQ(d.FreeBuffer(), 1);
    d.Committed(1);
    EXPECT_TRUE(Same(d.Missing(0), DamageRect{5, 10, 95, 30}));
    EXPECT_TRUE(d.Missing(1).Empty());
}

TEST(FrameDamageTest, ChangesAreClippedAndANewSizeStartsAfresh) {
    TFrameDamage d;
    d.Reset(100, 50);
    d.Committed(0);
    d.Add({-10, 45, 200, 80});
    EXPECT_TRUE(Same(d.PendingArea(), DamageRect{0, 45, 100, 50}));
    d.Add({100, 0, 120, 10});  // wholly outside
    EXPECT_TRUE(Same(d.PendingArea(), DamageRect{0, 45, 100, 50}));
    d.Committed(1);
    d.Reset(40, 30);
    EXPECT_FALSE(d.Held(0));
    EXPECT_FALSE(d.Held(1));
    EXPECT_TRUE(Same(d.Missing(1), DamageRect{0, 0, 40, 30}));
    EXPECT_TRUE(Same(d.PendingArea(), DamageRect{0, 0, 40, 30}));
}

}  // namespace
}  // namespace quipix
