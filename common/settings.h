// The process-wide Settings record: every persisted choice of the saver and the
// run-time joke values, with LoadSettings and SaveSettings over the registry store,
// and the table that says of each persisted value where the store keeps it, its
// default, and which control of the configuration dialog shows it.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>

namespace quipix {

// A Windows colour: 0x00BBGGRR, or a system-colour constant with the high bit set.
using TColor = std::int32_t;

// What the stored numbers of BackgroundType and FadeMode mean. The fields stay plain
// integers: the store keeps whatever was written, and each reader says what it makes
// of a number outside these.
namespace background_type {
enum : std::int32_t { Solid = 0, Gradient = 1, Picture = 2, Count };  // the dialog's "Degraded", "Bitmap"
}
namespace fade_mode {
enum : std::int32_t { FadeToBlack = 0, FadeInPlace = 1, Count };
}

// What the question and the answer each keep, under their own subkey with the same
// value names: the look of the text and how fast it slides in.
struct TJokeTextSettings {
    std::string Face;
    TColor Color = 0;
    std::int32_t Size = 0;   // points
    std::int32_t Speed = 0;  // pixels per tick
    bool Bold = false;
    bool Italic = false;
    bool ThreeD = false;  // "3D": the two relief copies (common/joke_text.h)
    bool operator==(const TJokeTextSettings&) const = default;
};

// Every persisted choice, as the store keeps it.
struct TStoredSettings {
    // General
    std::int32_t Speed = 0;     // of the fades
    std::int32_t FadeMode = 0;  // fade_mode
    std::string JokeFile;
    std::string Directory;
    bool Change = false;
    std::int32_t ChangeAfter = 0;
    // Background
    std::string Bitmap;
    TColor SolidColor = 0;
    TColor FromColor = 0;
    TColor ToColor = 0;
    bool Tiled = false;
    std::int32_t BackgroundType = 0;  // background_type
    TJokeTextSettings Question;
    TJokeTextSettings Answer;
    // General, stored after all of the above: seconds the finished joke stands
    // before its fade.
    std::int32_t Pause = 0;
};

struct TSettings : TStoredSettings {
    // Run-time values, never stored.
    std::string DefaultQuestion;
    std::string DefaultAnswer;
    std::string CurrentQuestion;
    std::string CurrentAnswer;
    std::string CurrentDescription;
    std::uint32_t JokeCounter = 0;
};

extern TSettings Settings;

inline constexpr const char* kDefaultQuestionText = "These are the default question and answer";
inline constexpr const char* kDefaultAnswerText =
    "Please ensure that you select a valid joke file to get the most from this screen saver";
inline constexpr const char* kSettingsKey = "Software\\Kelvara\\Quipix";

// A failure of the settings store, carrying the store's message text.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The positions a control of the configuration dialog takes.
struct ControlRange {
    int Min, Max;
};

// How the configuration dialog carries a stored setting into its control and back.
struct TSettingControl {
    enum TTransfer : std::uint8_t {
        AsIs,     // the value itself, both ways
        Clamped,  // pulled to the nearer end of Range, as the control itself would
        // A spinner's 16-bit position: cut to 16 bits with its sign and then clamped;
        // widened back with its sign.
        Position16,
    };
    const char* Name = nullptr;  // nullptr: the dialog carries the value its own way
    TTransfer Transfer = AsIs;
    ControlRange Range{0, 0};

    // The stored value as the control shows it; the control's value as it is stored.
    std::int32_t Shown(std::int32_t stored) const;
    std::int32_t Stored(std::int32_t shown) const;
};

// One persisted setting: where the store keeps it, its default, the field of the
// record that holds it, and the dialog's control for it.
struct TSettingField {
    template <class T>
    using Member = T& (*)(TStoredSettings&);
    const char* Subkey;
    const char* Name;
    std::variant<Member<std::int32_t>, Member<bool>, Member<std::string>> Field;
    std::int32_t DefaultNumber;  // integers and booleans (0 or 1)
    const char* DefaultText;     // texts
    TSettingControl Control;
};

// Every persisted setting, in the order in which they are read and written. A new
// setting is a field of TStoredSettings and one line of this table.
std::span<const TSettingField> SettingFields();

// Fills every persisted field from the store (defaults for what is missing), sets
// the two default texts, clears JokeCounter and reseeds the random source. Stops
// with ERegistryException at a value that is not a string. Writes nothing.
void LoadSettings();
// Why the store exists but cannot be read, naming it and the system's reason; empty
// when it can be read or does not exist yet. Loading then gives the defaults, and
// saving refuses to write them over the store.
std::string SettingsReadFailure();
// Writes every persisted field; ERegistryException when the store cannot, or when
// it cannot be read (with the text of SettingsReadFailure()). A failure's message is
// the one of the value or subkey where saving stopped, and below it, where the
// store tells, the store's place and the system's reason.
void SaveSettings();

}  // namespace quipix
