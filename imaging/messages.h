// The library's numbered message table (English), the names of its entries, and its
// look-up.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quipix {

// Each entry of the message table by its meaning; the value is the entry's number,
// which the table keeps. "%S1" and friends are filled in by GetPGLangStr.
namespace msg {
enum Id : int {
    Empty = 0,
    XYIndexOutOfRange = 1,          // "X, Y index out of range"
    NoPalette = 2,                  // "No palette"
    InvalidPaletteIndex = 3,        // "Invalid palette index"
    UnknownClipboardFormat = 4,     // "Unknown clipboard format"
    InvalidTemporaryFile = 5,       // "Invalid temporary file"
    UnknownFileFormat = 6,          // "Unknown file format"
    Invalid = 7,                    // "%S1 invalid"
    BlackAndWhite = 8,              // "black and white"
    TwoColors = 9,                  // "2 colors"
    SixteenGrays = 10,              // "16 shades of gray"
    SixteenSystemColors = 11,       // "16 system colors"
    SixteenColors = 12,             // "16 colors"
    Grays256 = 13,                  // "256 shades of gray"
    Colors256 = 14,                 // "256 colors"
    TrueColors = 15,                // "16.7 million colors"
    IsEmpty = 16,                   // "%S1 is empty"
    SaveWithOtherResolution = 17,   // "The graphic cannot be saved ... (%S3)."
    CannotSaveResolution = 18,      // "The graphic cannot be saved with to a %S1 file ..."
    UnknownFileExtension = 19,      // "Unknown file extension "%S1""
    InvalidValueFor = 20,           // "Invalid value for %S1"
    NegativeHeight = 21,            // "Negative height"
    NegativeWidth = 22,             // "Negative width"
    FilterSourceIsTarget = 23,      // "Cannot apply this filter to a source that is ..."
    Bit = 24,                       // "bit"
    ImageFiles = 25,                // "Image files"
    AllFiles = 26,                  // "All files"
    InvalidSizeOf = 27,             // "Invalid size of %S1"
    Warning = 28,                   // "Warning"
    OperationAborted = 29,          // "Operation aborted on user request"
    NotSupportedSubformat = 30,     // "Not supported subformat"
    Failed = 31,                    // "%S1 failed"
    UnexpectedEndOfFile = 32,       // "Unexpected end of file"
    UnknownSubformat = 33,          // "Unknown subformat"
    NotAFile = 34,                  // "Not a %S1 file"
    WidthOrHeightZero = 35,         // "Width = 0 or Height = 0"
    InvalidColorResolution = 36,    // "Invalid color resolution"
    UnsupportedFieldType = 37,      // "Unsupported field type %S1"
    InvalidRowByteCount = 38,       // "Invalid count of bytes in row %S1"
    UnsupportedCompression = 39,    // "Unsupported Compression"
    SaturationZeroHueDefined = 40,  // "Saturation=0 and Hue defined"
    OutOfRange = 41,                // "%S1 out of range"
    // Captions of the colour-filter dialogs, which this program never shows.
    Ok = 42,
    Cancel,
    Help,
    Preview,
    Reset,
    RGBFilter,
    Red,
    Green,
    Blue,
    HSVFilter,
    Hue,
    Saturation,
    Value,
    BrightnessContrastFilter,
    Brightness,
    Contrast,
    GammaFilter,
    Gamma,
    ColorBalanceFilter,
    Shadows,
    Midtones,
    Highlights,
    Cyan,
    Magenta,
    Yellow,
    GrayscaleFilter,
    InvertFilter,
    PosterizeFilter,
    Levels,
    ThresholdFilter,
    Threshold,
    ColorizeFilter,
    Lightness,
    Original,
    Result,
    Channel,
    AllChannels,
    InputLevels,
    OutputLevels,
    Auto,
    ApplyToPalette,
    ApplyToImage = 83,
    Last = 84,  // the table's closing empty entry
};
}  // namespace msg

constexpr int kPGLangStrCount = 85;  // entries 0..84
static_assert(msg::Last + 1 == kPGLangStrCount);

struct TPGLangStrEntry {
    int Number;
    const char* Text;
};

// The table itself; entry n must carry Number n.
extern const TPGLangStrEntry PGLangStrEntries[kPGLangStrCount];

// Text of entry n with the first "%S1", "%S2", "%S3" replaced by the arguments.
// An n outside the table gives an empty text.
std::string GetPGLangStr(msg::Id n, std::string_view s1 = {}, std::string_view s2 = {},
                         std::string_view s3 = {});
// Raises EPixelGraphic when an entry does not stand at its own number.
void CheckPGLangStrEntries();
void CheckPGLangStrEntries(std::span<const TPGLangStrEntry> entries);

}  // namespace quipix
