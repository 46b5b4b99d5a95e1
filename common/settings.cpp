// The table of the persisted settings, and LoadSettings and SaveSettings over the
// registry store. Every value is a string in the store, whatever it means. One table
// drives both directions, so that load and save handle the fields in the same order,
// and the dialog's transfer, so that a setting, its default and its control's range
// are written once.
#include "common/settings.h"

#include <algorithm>
#include <type_traits>

#include "common/convert.h"
#include "common/random.h"
#include "common/translate.h"
#include "platform/registry.h"

namespace quipix {

TSettings Settings;

namespace {

using S = TStoredSettings;
using J = TJokeTextSettings;

// The field Member of a record, or the field Member of its joke text Text.
template <auto Member>
auto& At(S& s) {
    return s.*Member;
}
template <auto Text, auto Member>
auto& At(S& s) {
    return (s.*Text).*Member;
}

using Control = TSettingControl;
// The value itself in the control of that name.
constexpr Control Shows(const char* name) { return {name, Control::AsIs}; }
// A track bar, the pause spinner.
constexpr Control Range(const char* name, int min, int max) { return {name, Control::Clamped, {min, max}}; }
// A radio group of count items: index -1 (none) to count - 1.
constexpr Control Items(const char* name, int count) { return {name, Control::Clamped, {-1, count - 1}}; }
// A spinner of the classic dialog, with 16-bit positions.
constexpr Control Spinner(const char* name, int min, int max) {
    return {name, Control::Position16, {min, max}};
}
// No control of its own: the dialog carries the value its own way.
constexpr Control Own() { return {}; }

TSettingField Int(const char* subkey, const char* name, TSettingField::Member<std::int32_t> field,
                  std::int32_t def, Control control) {
    return {subkey, name, field, def, nullptr, control};
}
TSettingField Bool(const char* subkey, const char* name, TSettingField::Member<bool> field, bool def,
                   Control control) {
    return {subkey, name, field, def ? 1 : 0, nullptr, control};
}
TSettingField Text(const char* subkey, const char* name, TSettingField::Member<std::string> field,
                   const char* def, Control control) {
    return {subkey, name, field, 0, def, control};
}

const TSettingField kFields[] = {
    Int("General", "Speed", At<&S::Speed>, 5, Range("tbF", 1, 10)),
    Int("General", "Fade Mode", At<&S::FadeMode>, fade_mode::FadeToBlack,
        Items("rgFadeMode", fade_mode::Count)),
    Text("General", "JokeFile", At<&S::JokeFile>, "", Own()),    // the list's selection
    Text("General", "Directory", At<&S::Directory>, "", Own()),  // the list's folder
    Bool("General", "Change", At<&S::Change>, false, Shows("cbRandom")),
    Int("General", "ChangeAfter", At<&S::ChangeAfter>, 25, Spinner("udRand", 1, 100)),
    Text("Background", "Bitmap", At<&S::Bitmap>, "", Own()),  // the working picture path
    Int("Background", "Solid Color", At<&S::SolidColor>, 0, Shows("SolidC")),
    Int("Background", "From Color", At<&S::FromColor>, 0x800000, Shows("FromC")),
    Int("Background", "To Color", At<&S::ToColor>, 0, Shows("ToC")),
    Bool("Background", "Tiled", At<&S::Tiled>, false, Shows("cbTiled")),
    Int("Background", "Type", At<&S::BackgroundType>, background_type::Solid,
        Items("rgBackType", background_type::Count)),
    Text("Question", "Face", At<&S::Question, &J::Face>, "Arial", Shows("QFont")),
    Int("Question", "Color", At<&S::Question, &J::Color>, 0x0000FF, Shows("QColor")),
    Int("Question", "Size", At<&S::Question, &J::Size>, 24, Spinner("QSize", 12, 96)),
    Int("Question", "Speed", At<&S::Question, &J::Speed>, 5, Range("tbQ", 1, 10)),
    Bool("Question", "Bold", At<&S::Question, &J::Bold>, true, Shows("QBold")),
    Bool("Question", "Italic", At<&S::Question, &J::Italic>, false, Shows("QItalic")),
    Bool("Question", "3D", At<&S::Question, &J::ThreeD>, true, Shows("Q3D")),
    Text("Answer", "Face", At<&S::Answer, &J::Face>, "Arial", Shows("AFont")),
    Int("Answer", "Color", At<&S::Answer, &J::Color>, 0xFF0000, Shows("AColor")),
    Int("Answer", "Size", At<&S::Answer, &J::Size>, 24, Spinner("ASize", 12, 96)),
    Int("Answer", "Speed", At<&S::Answer, &J::Speed>, 5, Range("tbA", 1, 10)),
    Bool("Answer", "Bold", At<&S::Answer, &J::Bold>, true, Shows("ABold")),
    Bool("Answer", "Italic", At<&S::Answer, &J::Italic>, false, Shows("AItalic")),
    Bool("Answer", "3D", At<&S::Answer, &J::ThreeD>, true, Shows("A3D")),
    // Added later, and kept last: a fault in it (a value of the wrong type, a write
    // that fails) still leaves every older value read or written.
    Int("General", "Pause", At<&S::Pause>, 4, Range("udPause", 0, 30)),
};
static_assert(std::size(kFields) == 27);

std::string SubkeyPath(const TSettingField& f) { return std::string(kSettingsKey) + "\\" + f.Subkey; }

std::int32_t ReadInteger(const std::optional<std::string>& text, std::int32_t def) {
    if (!text) return def;
    std::string s = *text;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
    return TryStrToInt(s).value_or(def);
}

}  // namespace

std::int32_t TSettingControl::Shown(std::int32_t stored) const {
    if (Transfer == Position16) stored = std::int16_t(stored);
    if (Transfer == AsIs) return stored;
    return std::clamp<std::int32_t>(stored, Range.Min, Range.Max);
}

std::int32_t TSettingControl::Stored(std::int32_t shown) const {
    return Transfer == Position16 ? std::int16_t(shown) : shown;
}

std::span<const TSettingField> SettingFields() { return kFields; }

void LoadSettings() {
    Settings.DefaultQuestion = kDefaultQuestionText;
    Settings.DefaultAnswer = kDefaultAnswerText;
    // Loading only reads: a dialog closed with Cancel leaves no trace in the store.
    platform::Registry& store = platform::CurrentRegistry();
    Randomize();
    Settings.JokeCounter = 0;
    for (const TSettingField& f : kFields) {
        std::optional<std::string> text;
        if (auto value = store.ReadValue(SubkeyPath(f), f.Name)) {
            if (!value->IsString())
                throw ERegistryException(TrFormat(N_("Invalid data type for '%s'"), {f.Name}));
            text = value->data.substr(0, value->data.find('\0'));
        }
        std::visit(
            [&](auto field) {
                auto& value = field(Settings);
                using T = std::remove_reference_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::string>)
                    value = text ? *text : f.DefaultText;
                else if constexpr (std::is_same_v<T, bool>)
                    value = ReadInteger(text, f.DefaultNumber) != 0;
                else
                    value = ReadInteger(text, f.DefaultNumber);
            },
            f.Field);
    }
}

std::string SettingsReadFailure() { return platform::CurrentRegistry().ReadFailure(); }

void SaveSettings() {
    platform::Registry& store = platform::CurrentRegistry();
    // A store that exists but cannot be read holds values this program never saw;
    // the record written over it would hold defaults in their place.
    if (std::string unreadable = store.ReadFailure(); !unreadable.empty())
        throw ERegistryException(unreadable);
    // The message of the failure, and below it the store's own words: where it is,
    // and the system's reason.
    const auto failure = [&store](std::string message) {
        if (const std::string why = store.WriteFailure(); !why.empty()) message += "\n" + why;
        return ERegistryException(message);
    };
    // One batch: the store is replaced once, with the whole record or not at all.
    platform::RegistryBatch batch(store);
    store.CreateKey(kSettingsKey);  // a failure shows at the first subkey
    // A batch is stored at its end; when that fails, the message names the first
    // change it held, as it would when every change is written at once.
    std::string firstChange;
    for (const TSettingField& f : kFields) {
        const std::string key = SubkeyPath(f);
        if (firstChange.empty() && !store.KeyExists(key))
            firstChange = TrFormat(N_("Failed to create key %s"), {f.Subkey});
        if (!store.CreateKey(key)) throw failure(TrFormat(N_("Failed to create key %s"), {f.Subkey}));
        const std::string text = std::visit(
            [&](auto field) -> std::string {
                const auto& value = field(Settings);
                using T = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::string>)
                    return value;
                else if constexpr (std::is_same_v<T, bool>)
                    return value ? "1" : "0";
                else
                    return std::to_string(value);
            },
            f.Field);
        const auto value = platform::RegValue::String(text);
        const std::string setFailed = TrFormat(N_("Failed to set data for '%s'"), {f.Name});
        if (firstChange.empty() && store.ReadValue(key, f.Name) != value) firstChange = setFailed;
        if (!store.WriteValue(key, f.Name, value)) throw failure(setFailed);
    }
    if (!batch.End())
        throw failure(!firstChange.empty() ? firstChange
                                           : TrFormat(N_("Failed to set data for '%s'"), {kFields[0].Name}));
}

}  // namespace quipix
