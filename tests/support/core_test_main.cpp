// Test entry of a build without a front end: no window system and no text engine, so
// the canvas draws no text; the suites that measure or draw text are left out there.
#include <gtest/gtest.h>

#include "support/test_support.h"

void quipix::test::InstallPlatformTextEngine() {}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
