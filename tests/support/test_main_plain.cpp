// Test entry without Qt (the Windows build): the GDI text engine at 96 dpi, where
// the build has it, so canvas text works as in the Linux tests.
#include <gtest/gtest.h>

#include "support/test_support.h"
#ifdef QUIPIX_HAVE_GDI_TEXT
#include "imaging/win32/gdi_text_engine.h"
#endif

void quipix::test::InstallPlatformTextEngine() {
#ifdef QUIPIX_HAVE_GDI_TEXT
    quipix::InstallGdiTextEngine(96);
#endif
}

int main(int argc, char** argv) {
    quipix::test::InstallPlatformTextEngine();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
