#include <gtest/gtest.h>

#include "imaging/text_engine.h"

TEST(BuildSmoke, TextEngineSlotStartsEmptyOrInstalled) {
    // The test main installs the Qt engine; the slot is readable either way.
    (void)quipix::CurrentTextEngine();
    SUCCEED();
}
