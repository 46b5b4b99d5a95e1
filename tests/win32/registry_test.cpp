// The settings store on Windows against the real registry, in a scratch key of
// its own so that a run never touches the user's settings: values of every type,
// failures that name the key and the system's reason, a key that cannot be read and
// is therefore never written, and a dialog closed with Escape that leaves no key.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/settings.h"
#include "platform/registry.h"
#include "platform/store_file.h"
#include "support/test_support.h"
#include "test_windows.h"
#include "win32/config_dialog.h"

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

// HKEY_CURRENT_USER of this process made a fresh scratch key, so that the settings'
// own key can be used, with a store of its own.
class ScratchUser : public ::testing::Test {
protected:
    explicit ScratchUser(DWORD options = REG_OPTION_NON_VOLATILE) {
        // Right under the root: new parents of a volatile key would be volatile too.
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &root_,
                        nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, root_);
        InstallRegistry(MakeUserRegistry());
        Settings = TSettings{};
    }
    ~ScratchUser() override {
        InstallRegistry(nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(root_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }
    bool Exists(const std::string& key) const {
        HKEY h = nullptr;
        if (RegOpenKeyExA(root_, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        RegCloseKey(h);
        return true;
    }

    const std::string path_ = "QuipixScratch" + std::to_string(GetCurrentProcessId());
    HKEY root_ = nullptr;
};

// What the configuration dialog showed before the test pressed Escape in it.
struct DialogSeen {
    bool escaped = false;
    int fields = 0;       // edits and lists
    int thinFramed = 0;   // of them, those with a plain border instead of the sunken edge
};
DialogSeen gDialogSeen;

BOOL CALLBACK LookAtField(HWND child, LPARAM) {
    wchar_t name[32] = L"";
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, L"Edit") != 0 && lstrcmpiW(name, L"ListBox") != 0) return TRUE;
    ++gDialogSeen.fields;
    if (!(GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ||
        (GetWindowLongPtrW(child, GWL_STYLE) & WS_BORDER))
        ++gDialogSeen.thinFramed;
    return TRUE;
}

void CALLBACK PressEscapeInTheDialog(HWND, UINT, UINT_PTR, DWORD) {
    const HWND dialog = FindWindowW(nullptr, L"Kelvara Jokes Screen Saver Configuration");
    if (!dialog || gDialogSeen.escaped) return;
    EnumChildWindows(dialog, LookAtField, 0);
    gDialogSeen.escaped = true;
    PostMessageW(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
}

TEST_F(ScratchUser, TheDialogOfANewUserHasSunkenFieldsAndLeavesNoKeyWhenEscaped) {
    QUIPIX_NEEDS_WINDOWS();
    gDialogSeen = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, PressEscapeInTheDialog);
    win32::RunConfigDialog(0);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(gDialogSeen.escaped) << "the dialog was not seen";
    EXPECT_GE(gDialogSeen.fields, 6);  // the joke files, the count, sizes, pause, default texts
    EXPECT_EQ(gDialogSeen.thinFramed, 0);
    EXPECT_FALSE(Exists("Software"));
}

class VolatileScratchUser : public ScratchUser {
protected:
    VolatileScratchUser() : ScratchUser(REG_OPTION_VOLATILE) {}
};

TEST_F(VolatileScratchUser, AFailedSaveNamesTheKeyAndTheSystemsReason) {
    // A volatile key holds only volatile keys: the settings' key cannot be made.
    LoadSettings();
    // The system's words, which differ between Windows and Wine.
    const std::string reason = store_file::ErrorText(ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_NE(reason.find("volatile"), std::string::npos) << reason;
    EXPECT_EQ(test::Thrown<ERegistryException>(SaveSettings),
              "Failed to create key General\nCannot save the settings to "
              "HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General: " +
                  reason);
}

// A key that nobody may read; its owner may still say who may.
void DenyReading(HKEY key, bool deny) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    alignas(DWORD) BYTE buffer[256];
    auto* acl = reinterpret_cast<ACL*>(buffer);
    InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    if (deny) AddAccessDeniedAce(acl, ACL_REVISION, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, everyone);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    FreeSid(everyone);
}

TEST_F(ScratchUser, AKeyThatCannotBeReadIsNeverWritten) {
    HKEY general = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root_, "Software\\Kelvara\\Quipix\\General", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &general, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(general, "Speed", 0, REG_SZ, reinterpret_cast<const BYTE*>("7"), 2);
    DenyReading(general, true);
    LoadSettings();
    const std::string unreadable =
        "The settings key HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General cannot be read (" +
        store_file::ErrorText(ERROR_ACCESS_DENIED) + ") and will not be changed.";
    EXPECT_EQ(SettingsReadFailure(), unreadable);
    EXPECT_EQ(Settings.Speed, 5);
    EXPECT_EQ(test::Thrown<ERegistryException>(SaveSettings), unreadable);
    EXPECT_FALSE(Exists("Software\\Kelvara\\Quipix\\Answer"));
    DenyReading(general, false);
    char speed[8] = "";
    DWORD size = sizeof speed;
    EXPECT_EQ(RegQueryValueExA(general, "Speed", nullptr, nullptr, reinterpret_cast<BYTE*>(speed), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(speed, "7");
    RegCloseKey(general);
}

}  // namespace
}  // namespace quipix::platform
