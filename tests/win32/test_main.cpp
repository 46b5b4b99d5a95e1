// Test entry of the Windows build: the GDI text engine at 96 dpi, so canvas text
// works as in the Linux tests.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "win32/gdi_text_engine.h"

void quipix::test::InstallPlatformTextEngine() { quipix::InstallGdiTextEngine(96); }

int main(int argc, char** argv) {
    quipix::test::InstallPlatformTextEngine();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
