// Test entry: a QApplication on the offscreen platform (unless a display is asked
// for) with the Qt platform services and text engine installed, so canvas text and
// widgets work in tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "qt/qt_text_engine.h"
#include "qt/services.h"
#include "support/test_support.h"

void quipix::test::InstallPlatformTextEngine() { quipix::InstallQtTextEngine(96); }

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    quipix::platform::InstallServices(quipix::platform::QtServices());
    quipix::test::InstallPlatformTextEngine();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
