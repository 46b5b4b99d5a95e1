// The English message table of the picture library, shown in the user's language.
// Every reader builds its messages from these texts, after its own prefix ("BMP: ",
// "JPG: ", ...).
#include "imaging/messages.h"

#include <array>

#include "common/translate.h"
#include "imaging/exceptions.h"

namespace quipix {

const TPGLangStrEntry PGLangStrEntries[kPGLangStrCount] = {
    {0, ""},
    {1, N_("X, Y index out of range")},
    {2, N_("No palette")},
    {3, N_("Invalid palette index")},
    {4, N_("Unknown clipboard format")},
    {5, N_("Invalid temporary file")},
    {6, N_("Unknown file format")},
    {7, N_("%S1 invalid")},
    {8, N_("black and white")},
    {9, N_("2 colors")},
    {10, N_("16 shades of gray")},
    {11, N_("16 system colors")},
    {12, N_("16 colors")},
    {13, N_("256 shades of gray")},
    {14, N_("256 colors")},
    {15, N_("16.7 million colors")},
    {16, N_("%S1 is empty")},
    {17,
     N_("The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\r"
        "The graphic will be saved with a different color resolution (%S3).")},
    {18, N_("The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)")},
    {19, N_("Unknown file extension \"%S1\"")},
    {20, N_("Invalid value for %S1")},
    {21, N_("Negative height")},
    {22, N_("Negative width")},
    {23, N_("Cannot apply this filter to a source that is identical to the target")},
    {24, N_("bit")},
    {25, N_("Image files")},
    {26, N_("All files")},
    {27, N_("Invalid size of %S1")},
    {28, N_("Warning")},
    {29, N_("Operation aborted on user request")},
    {30, N_("Not supported subformat")},
    {31, N_("%S1 failed")},
    {32, N_("Unexpected end of file")},
    {33, N_("Unknown subformat")},
    {34, N_("Not a %S1 file")},
    {35, N_("Width = 0 or Height = 0")},
    {36, N_("Invalid color resolution")},
    {37, N_("Unsupported field type %S1")},
    {38, N_("Invalid count of bytes in row %S1")},
    {39, N_("Unsupported Compression")},
    {40, N_("Saturation=0 and Hue defined")},
    {41, N_("%S1 out of range")},
    // Captions of the colour-filter dialogs; this program never shows them.
    {42, N_("OK")},
    {43, N_("Cancel")},
    {44, N_("Help")},
    {45, N_("Preview")},
    {46, N_("Reset")},
    {47, N_("RGB Filter")},
    {48, N_("Red")},
    {49, N_("Green")},
    {50, N_("Blue")},
    {51, N_("HSV Filter")},
    {52, N_("Hue")},
    {53, N_("Saturation")},
    {54, N_("Value")},
    {55, N_("Brightness/Contrast Filter")},
    {56, N_("Brightness")},
    {57, N_("Contrast")},
    {58, N_("Gamma Filter")},
    {59, N_("Gamma")},
    {60, N_("Color Balance Filter")},
    {61, N_("Shadows")},
    {62, N_("Midtones")},
    {63, N_("Highlights")},
    {64, N_("Cyan")},
    {65, N_("Magenta")},
    {66, N_("Yellow")},
    {67, N_("Grayscale Filter")},
    {68, N_("Invert Filter")},
    {69, N_("Posterize Filter")},
    {70, N_("Levels")},
    {71, N_("Threshold Filter")},
    {72, N_("Threshold")},
    {73, N_("Colorize Filter")},
    {74, N_("Lightness")},
    {75, N_("Original")},
    {76, N_("Result")},
    {77, N_("Channel")},
    {78, N_("All channels")},
    {79, N_("Input levels")},
    {80, N_("Output levels")},
    {81, N_("Auto")},
    {82, N_("Apply to palette")},
    {83, N_("Apply to image")},
    {84, ""},
};

void CheckPGLangStrEntries(std::span<const TPGLangStrEntry> entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].Number != int(i)) {
            throw EPixelGraphic("PGLangStrEntries order wrong " + std::to_string(i) + " and " +
                                std::to_string(entries[i].Number) + " are not identical");
        }
    }
}

void CheckPGLangStrEntries() { CheckPGLangStrEntries(PGLangStrEntries); }

std::string GetPGLangStr(msg::Id n, std::string_view s1, std::string_view s2, std::string_view s3) {
    if (n < 0 || n >= kPGLangStrCount) return {};
    const std::string_view text = Tr(PGLangStrEntries[n].Text);
    // Placeholders are located in the table text itself, so an argument that happens
    // to contain "%S2" is never substituted again.
    struct Slot {
        std::size_t pos;
        std::string_view value;
    };
    std::array<Slot, 3> slots{Slot{text.find("%S1"), s1}, Slot{text.find("%S2"), s2},
                              Slot{text.find("%S3"), s3}};
    std::string out;
    std::size_t at = 0;
    while (true) {
        const Slot* next = nullptr;
        for (const Slot& s : slots)
            if (s.pos != std::string_view::npos && s.pos >= at && (!next || s.pos < next->pos)) next = &s;
        if (!next) break;
        out.append(text.substr(at, next->pos - at));
        out.append(next->value);
        at = next->pos + 3;
    }
    out.append(text.substr(at));
    return out;
}

}  // namespace quipix
