// Test entry of the Windows build: the Windows platform services and the GDI text
// engine at 96 dpi, so canvas text works as in the Linux tests, and the source tree as the data folder: a test
// program carries no bundled jokes or help topics.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "win32/gdi_text_engine.h"
#include "win32/native.h"

void quipix::test::InstallPlatformTextEngine() { quipix::InstallGdiTextEngine(96); }

int main(int argc, char** argv) {
    quipix::platform::InstallServices(quipix::platform::Win32Services());
    quipix::test::InstallPlatformTextEngine();
    quipix::platform::win32::UseDataFolder(quipix::platform::win32::Widen(QUIPIX_SOURCE_DIR));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
