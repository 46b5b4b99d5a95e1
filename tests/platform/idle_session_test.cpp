// The idle watcher's autostart entry, which is also the dialog's stored switch, and
// its one-per-session lock.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/idle_session.h"
#include "support/test_support.h"

namespace quipix::platform {
namespace {

TEST(IdleSession, TheAutostartEntryIsTheSwitch) {
    test::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.str().c_str(), 1);
    EXPECT_EQ(IdleAutostartPath(), dir.str() + "/autostart/quipix-idle.desktop");
    EXPECT_EQ(ReadIdleAutostart(), 0);
    ASSERT_TRUE(WriteIdleAutostart(600, "/opt/my apps/quipix"));
    EXPECT_EQ(ReadIdleAutostart(), 600);
    // Entries written by hand or by the desktop's own autostart settings.
    const struct {
        const char* text;
        int seconds;
    } entries[] = {
        {"[Desktop Entry]\nExec=quipix --idle 300\n", 300},
        {"[Desktop Entry]\nExec=quipix --idle 300\nHidden=true\n", 0},
        {"[Desktop Entry]\nExec=quipix /s\n", 0},
        {"[Desktop Entry]\nExec=quipix --idle -5\n", 0},
    };
    for (const auto& e : entries) {
        dir.write("autostart/quipix-idle.desktop", e.text);
        EXPECT_EQ(ReadIdleAutostart(), e.seconds) << e.text;
    }
    RemoveIdleAutostart();
    EXPECT_EQ(ReadIdleAutostart(), 0);
    unsetenv("XDG_CONFIG_HOME");
}

TEST(IdleSession, OneWatcherPerDisplay) {
    test::TempDir dir;
    setenv("XDG_RUNTIME_DIR", dir.str().c_str(), 1);
    setenv("WAYLAND_DISPLAY", "wayland-7", 1);
    EXPECT_TRUE(TakeIdleWatcherLock());
    EXPECT_FALSE(TakeIdleWatcherLock());
    setenv("WAYLAND_DISPLAY", "wayland-8", 1);
    EXPECT_TRUE(TakeIdleWatcherLock());
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace quipix::platform
