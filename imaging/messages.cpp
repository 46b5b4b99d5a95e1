// The English message table of the picture library. Every reader builds its
// messages from these texts, after its own prefix ("BMP: ", "JPG: ", ...).
#include "imaging/messages.h"

#include <array>

#include "imaging/exceptions.h"

namespace quipix {

const TPGLangStrEntry PGLangStrEntries[kPGLangStrCount] = {
    {0, ""},
    {1, "X, Y index out of range"},
    {2, "No palette"},
    {3, "Invalid palette index"},
    {4, "Unknown clipboard format"},
    {5, "Invalid temporary file"},
    {6, "Unknown file format"},
    {7, "%S1 invalid"},
    {8, "black and white"},
    {9, "2 colors"},
    {10, "16 shades of gray"},
    {11, "16 system colors"},
    {12, "16 colors"},
    {13, "256 shades of gray"},
    {14, "256 colors"},
    {15, "16.7 million colors"},
    {16, "%S1 is empty"},
    {17,
     "The graphic cannot be saved to a %S1 file with the current color resolution (%S2).\r\r"
     "The graphic will be saved with a different color resolution (%S3)."},
    {18, "The graphic cannot be saved with to a %S1 file with the current color resolution (%S2)"},
    {19, "Unknown file extension \"%S1\""},
    {20, "Invalid value for %S1"},
    {21, "Negative height"},
    {22, "Negative width"},
    {23, "Cannot apply this filter to a source that is identical to the target"},
    {24, "bit"},
    {25, "Image files"},
    {26, "All files"},
    {27, "Invalid size of %S1"},
    {28, "Warning"},
    {29, "Operation aborted on user request"},
    {30, "Not supported subformat"},
    {31, "%S1 failed"},
    {32, "Unexpected end of file"},
    {33, "Unknown subformat"},
    {34, "Not a %S1 file"},
    {35, "Width = 0 or Height = 0"},
    {36, "Invalid color resolution"},
    {37, "Unsupported field type %S1"},
    {38, "Invalid count of bytes in row %S1"},
    {39, "Unsupported Compression"},
    {40, "Saturation=0 and Hue defined"},
    {41, "%S1 out of range"},
    // Captions of the colour-filter dialogs; this program never shows them.
    {42, "OK"},
    {43, "Cancel"},
    {44, "Help"},
    {45, "Preview"},
    {46, "Reset"},
    {47, "RGB Filter"},
    {48, "Red"},
    {49, "Green"},
    {50, "Blue"},
    {51, "HSV Filter"},
    {52, "Hue"},
    {53, "Saturation"},
    {54, "Value"},
    {55, "Brightness/Contrast Filter"},
    {56, "Brightness"},
    {57, "Contrast"},
    {58, "Gamma Filter"},
    {59, "Gamma"},
    {60, "Color Balance Filter"},
    {61, "Shadows"},
    {62, "Midtones"},
    {63, "Highlights"},
    {64, "Cyan"},
    {65, "Magenta"},
    {66, "Yellow"},
    {67, "Grayscale Filter"},
    {68, "Invert Filter"},
    {69, "Posterize Filter"},
    {70, "Levels"},
    {71, "Threshold Filter"},
    {72, "Threshold"},
    {73, "Colorize Filter"},
    {74, "Lightness"},
    {75, "Original"},
    {76, "Result"},
    {77, "Channel"},
    {78, "All channels"},
    {79, "Input levels"},
    {80, "Output levels"},
    {81, "Auto"},
    {82, "Apply to palette"},
    {83, "Apply to image"},
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
    const std::string_view text = PGLangStrEntries[n].Text;
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
