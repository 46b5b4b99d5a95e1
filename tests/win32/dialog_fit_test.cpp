// The Win32 dialog holds every language: each translated caption, in the font the
// dialog gives its control, fits the control's rectangle at 96 and at 144 dpi, as
// the GDI measures it, wherever the English caption fits. Labels keep to their
// rectangle (a centred one wraps inside it, less the warning's drop shadow), buttons
// to the inside of their frame, check boxes and radio items to the room beside their
// box, the page tabs to the dialog's width.
// DrawTextW measures as the dialog's own labels draw (native.h leaves it out).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <sstream>

#include "common/translate.h"
#include "config/dialog_controller.h"
#include "config/dialog_layout.h"
#include "support/test_support.h"
#include "win32/owner_draw.h"

namespace quipix {
namespace {

struct Shown {
    std::string text;
    LayoutRect place;  // at 96 dpi, in its page
};

// What each control shows, and where.
std::vector<std::pair<const ControlLayout*, Shown>> Captions() {
    std::vector<std::pair<const ControlLayout*, Shown>> shown;
    for (const ControlLayout& c : DialogControls()) {
        const LayoutRect place = PlaceInPage(c);
        if (c.Radio) {
            for (std::size_t i = 0; i < c.Radio->Items.size(); ++i) {
                LayoutRect item = RadioItemPlace(c, int(i));
                item.X += place.X;
                item.Y += place.Y;
                shown.push_back({&c, {std::string(Tr(c.Radio->Items[i])), item}});
            }
        } else if (c.Name == "laVer") {
            shown.push_back({&c, {TrFormat("Version %s", {kVersionNumber}), place}});
        } else if (!c.Caption.empty()) {
            shown.push_back({&c, {std::string(Tr(c.Caption)), place}});
        }
    }
    return shown;
}

// The size text takes in dc's font: on one line, or wrapped and centred in width.
SIZE Extent(HDC dc, const std::string& text, int width, bool wrapped) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(std::size_t(std::max(
        0, MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), int(wide.size())))));
    RECT r{0, 0, width, 0};
    DrawTextW(dc, wide.c_str(), int(wide.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (wrapped ? DT_WORDBREAK | DT_CENTER : DT_SINGLELINE));
    return {r.right - r.left, r.bottom - r.top};
}

TEST(DialogFit, EveryLanguagesCaptionsFitTheirControlsAt96And144Dpi) {
    std::vector<std::string> languages{"en"};
    for (const std::string& language : test::CatalogueLanguages()) languages.push_back(language);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    // Whether the English caption fits, by DPI and caption: the layout is English's,
    // and where English is cut no translation is blamed.
    std::map<std::pair<int, std::size_t>, bool> englishFits;
    for (const std::string& language : languages) {
        // Wine links the fonts that draw Chinese and Japanese for a Chinese or
        // Japanese system only; elsewhere their fallback would be measured.
        const unsigned codePage = language == "ja" ? 932 : language == "zh_CN" ? 936 : 0;
        if (codePage != 0 && GetACP() != codePage) {
            std::cout << "note: " << language << " is measured only on a system of its own code page\n";
            continue;
        }
        const auto catalogue = language == "en"
                                   ? nullptr
                                   : std::make_unique<test::ScopedCatalogue>(test::CompiledCatalogue(language));
        for (int dpi : {96, 144}) {
            SCOPED_TRACE(language + " at " + std::to_string(dpi) + " dpi");
            win32::DialogFonts fonts;
            fonts.Make(dpi);
            const auto at = [dpi](int pixels) { return ScaleToDpi(pixels, dpi); };
            // A tab is its caption and a margin of 6 pixels each side.
            SelectObject(dc, fonts[FontRole::Dialog]);
            int tabs = 0;
            for (const PageLayout& page : kDialogPages)
                tabs += Extent(dc, std::string(Tr(page.Caption)), 0, false).cx + at(12);
            EXPECT_LE(tabs, at(kDialogClientWidth)) << "the page tabs";
            const auto captions = Captions();
            for (std::size_t index = 0; index < captions.size(); ++index) {
                const auto& [c, shown] = captions[index];
                SelectObject(dc, fonts[c->Font]);
                const LayoutRect place = ScaleToDpi(shown.place, dpi);
                int width = place.Width, height = place.Height;
                switch (c->Kind) {
                case ControlKind::PushButton:
                    width -= at(8);  // the frame and its focus rectangle
                    break;
                case ControlKind::CheckBox:
                case ControlKind::RadioGroup:
                    width -= at(17);  // the box and the gap after it
                    break;
                case ControlKind::ShadowLabel:
                    width -= at(kWarningColors.ShadowDepth);
                    height -= at(kWarningColors.ShadowDepth);
                    break;
                default:
                    break;
                }
                const bool wrapped = c->Centred;
                const SIZE used = Extent(dc, shown.text, width, wrapped);
                const bool fits = used.cx <= width && (!wrapped || used.cy <= height);
                std::ostringstream what;
                what << c->Name << " \"" << shown.text << "\" takes " << used.cx << "x" << used.cy << " of " << width
                     << "x" << height << " at " << dpi << " dpi";
                if (language == "en") {
                    englishFits[{dpi, index}] = fits;
                    if (!fits) std::cout << "note: the English caption is cut: " << what.str() << "\n";
                } else if (englishFits[{dpi, index}]) {
                    EXPECT_TRUE(fits) << what.str();
                }
            }
        }
    }
    DeleteDC(dc);
}

}  // namespace
}  // namespace quipix
