// The catalogues as the program reads them: every language's compiled catalogue
// holds every text of the dialog, in either byte order; a damaged one is refused
// whole; Tr() falls back to English, and what the user reads (the dialog's texts,
// the library's messages, --help) comes through it.
#include <gtest/gtest.h>

#include "app/desktop_options.h"
#include "common/translate.h"
#include "config/dialog_controller.h"
#include "config/dialog_layout.h"
#include "imaging/messages.h"
#include "support/test_support.h"

namespace quipix {
namespace {

using test::CompiledCatalogue;
using test::ScopedCatalogue;

TEST(Catalogues, EveryLanguageTranslatesEveryTextOfTheDialog) {
    std::vector<std::string_view> texts{kDialogCaption, kFolderDialogTitle, kPictureDialogTitle,
                                        kOtherColorCaption, kNoBitmapCaption};
    for (const PageLayout& page : kDialogPages) texts.push_back(page.Caption);
    for (const ControlLayout& c : DialogControls()) {
        if (!c.Caption.empty()) texts.push_back(c.Caption);
        if (c.Radio) texts.insert(texts.end(), c.Radio->Items.begin(), c.Radio->Items.end());
    }
    const std::vector<std::string> languages = test::CatalogueLanguages();
    ASSERT_EQ(languages.size(), 9u);
    for (const std::string& language : languages) {
        const MoCatalogue catalogue(CompiledCatalogue(language));
        ASSERT_TRUE(catalogue.Valid()) << language;
        for (std::string_view text : texts) EXPECT_FALSE(catalogue.Find(text).empty()) << language << ": " << text;
    }
}

TEST(Catalogues, BothByteOrdersAnswerAlike) {
    const MoCatalogue little(CompiledCatalogue("de"));
    const auto bigBytes = test::ReadBytes(QUIPIX_BIG_ENDIAN_CATALOGUE);
    const MoCatalogue big(std::string(bigBytes.begin(), bigBytes.end()));
    ASSERT_TRUE(little.Valid());
    ASSERT_TRUE(big.Valid());
    EXPECT_EQ(little.Size(), big.Size());
    const struct {
        std::string_view english, german;
    } cases[] = {
        {"Cancel", "Abbrechen"},
        {"%S1 failed", "%S1 fehlgeschlagen"},      // the first original in sorted order
        {"xscreensaver module:", "xscreensaver-Modul:"},  // and the last
        {"Settings are kept in %s\n(%s by default).", "Die Einstellungen liegen in %s\n(standardmäßig %s)."},
        {"Cancel ", ""},  // a near miss
        {"", ""},         // the header is no translation
        {"zzz", ""},      // past the last
    };
    for (const auto& c : cases) {
        EXPECT_EQ(little.Find(c.english), c.german) << c.english;
        EXPECT_EQ(big.Find(c.english), c.german) << c.english;
    }
}

TEST(Catalogues, ADamagedCatalogueIsRefusedWhole) {
    const std::string whole = CompiledCatalogue("ja");
    ASSERT_TRUE(MoCatalogue(whole).Valid());
    for (std::size_t size = 0; size < whole.size(); ++size)
        ASSERT_FALSE(MoCatalogue(whole.substr(0, size)).Valid()) << "cut to " << size;
    // A wrong magic number, an offset of the originals' table past the end, a
    // string's length running into the next.
    const auto patched = [&](std::size_t at, char byte) {
        std::string bytes = whole;
        bytes[at] = byte;
        return bytes;
    };
    EXPECT_FALSE(MoCatalogue(patched(0, 0x00)).Valid());
    EXPECT_FALSE(MoCatalogue(patched(15, 0x7F)).Valid());
    const std::size_t originals = std::uint8_t(whole[12]) | std::uint8_t(whole[13]) << 8;
    EXPECT_FALSE(MoCatalogue(patched(originals + 8, 0x7F)).Valid());
}

TEST(Catalogues, WhatTheUserReadsComesThroughTr) {
    {
        ScopedCatalogue german(CompiledCatalogue("de"));
        EXPECT_EQ(Tr("Cancel"), "Abbrechen");
        EXPECT_EQ(Tr("a text no catalogue holds"), "a text no catalogue holds");
        EXPECT_EQ(GetPGLangStr(msg::NotAFile, "BMP"), "Keine BMP-Datei");
        EXPECT_EQ(UsageText(UsageSystem::Posix).substr(0, 15), "Aufruf: quipix ");
        EXPECT_NE(UsageText(UsageSystem::Windows).find("Die Einstellungen liegen in HKEY_CURRENT_USER"),
                  std::string::npos);
    }
    {
        // Japanese puts the arguments where its sentence needs them.
        ScopedCatalogue japanese(CompiledCatalogue("ja"));
        EXPECT_EQ(TrFormat("Cannot save the settings to %s: %s", {"C:\\q.reg", "full"}),
                  "設定を C:\\q.reg に保存できません: full");
        EXPECT_EQ(GetPGLangStr(msg::NotAFile, "BMP"), "BMP ファイルではありません");
    }
    EXPECT_EQ(Tr("Cancel"), "Cancel");
    EXPECT_EQ(TrFormat("Version %s", {"2.1"}), "Version 2.1");
    EXPECT_EQ(TrFormat("Cannot save the settings to %s: %s", {"x"}), "Cannot save the settings to x: %s");
}

}  // namespace
}  // namespace quipix
