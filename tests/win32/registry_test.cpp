// The settings store on Windows against the real registry, in a scratch key of
// its own so that a run never touches the user's settings.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/registry.h"

namespace quipix::platform {
namespace {

class WindowsRegistryTest : public ::testing::Test {
protected:
    const std::string key_ = "Software\\Kelvara\\QuipixTest" + std::to_string(GetCurrentProcessId());
    std::shared_ptr<Registry> store_ = MakeUserRegistry();
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
};

TEST_F(WindowsRegistryTest, ValuesOfEveryTypeComeBackAsWritten) {
    ASSERT_FALSE(store_->KeyExists(key_));
    EXPECT_FALSE(store_->WriteValue(key_, "Speed", RegValue::String("5")));  // no key yet
    ASSERT_TRUE(store_->CreateKey(key_ + "\\General"));
    EXPECT_TRUE(store_->KeyExists(key_));
    const RegValue values[] = {RegValue::String("Arial"), RegValue::String(""),
                               RegValue::ExpandString("%TEMP%\\x"), RegValue::DWord(0x12345678),
                               RegValue{3, std::string("\0\1\2", 3)}};
    for (const RegValue& v : values) {
        ASSERT_TRUE(store_->WriteValue(key_ + "\\General", "Value", v));
        // Key and value names match regardless of letter case, as in the registry.
        EXPECT_EQ(store_->ReadValue(key_ + "\\GENERAL", "value"), v);
    }
    EXPECT_FALSE(store_->ReadValue(key_ + "\\General", "Missing"));
    EXPECT_FALSE(store_->ReadValue(key_ + "\\Missing", "Value"));
}

TEST_F(WindowsRegistryTest, StringsWrittenByOthersWithoutTheirTerminatorRead) {
    ASSERT_TRUE(store_->CreateKey(key_));
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
    RegSetValueExA(h, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("Times"), 5);
    RegSetValueExA(h, "Large", 0, REG_BINARY, reinterpret_cast<const BYTE*>(std::string(70000, 'x').data()),
                   70000);
    RegCloseKey(h);
    EXPECT_EQ(store_->ReadValue(key_, "Bare"), RegValue::String("Times"));
    EXPECT_EQ(store_->ReadValue(key_, "Large"), (RegValue{REG_BINARY, std::string(70000, 'x')}));
}

}  // namespace
}  // namespace quipix::platform
