// LoadSettings and SaveSettings over the registry store. Every value is a string
// in the store, whatever it means; one table drives both directions so that
// load and save handle the fields in the same order.
#include "common/settings.h"

#include "common/convert.h"
#include "common/random.h"
#include "platform/registry.h"

namespace quipix {

TSettings Settings;

namespace {

enum class Kind { Integer, Boolean, Text };

struct Field {
    const char* subkey;
    const char* name;
    Kind kind;
    std::int32_t TSettings::*integer;
    bool TSettings::*boolean;
    std::string TSettings::*text;
    std::int32_t defaultNumber;  // integers and booleans (0 or 1)
    const char* defaultText;
};

constexpr Field Int(const char* subkey, const char* name, std::int32_t TSettings::*m, std::int32_t def) {
    return {subkey, name, Kind::Integer, m, nullptr, nullptr, def, nullptr};
}
constexpr Field Bool(const char* subkey, const char* name, bool TSettings::*m, bool def) {
    return {subkey, name, Kind::Boolean, nullptr, m, nullptr, def ? 1 : 0, nullptr};
}
constexpr Field Text(const char* subkey, const char* name, std::string TSettings::*m, const char* def) {
    return {subkey, name, Kind::Text, nullptr, nullptr, m, 0, def};
}

const Field kFields[] = {
    Int("General", "Speed", &TSettings::Speed, 5),
    Int("General", "Fade Mode", &TSettings::FadeMode, 0),
    Text("General", "JokeFile", &TSettings::JokeFile, ""),
    Text("General", "Directory", &TSettings::Directory, ""),
    Bool("General", "Change", &TSettings::Change, false),
    Int("General", "ChangeAfter", &TSettings::ChangeAfter, 25),
    Text("Background", "Bitmap", &TSettings::Bitmap, ""),
    Int("Background", "Solid Color", &TSettings::SolidColor, 0),
    Int("Background", "From Color", &TSettings::FromColor, 0x800000),
    Int("Background", "To Color", &TSettings::ToColor, 0),
    Bool("Background", "Tiled", &TSettings::Tiled, false),
    Int("Background", "Type", &TSettings::BackgroundType, 0),
    Text("Question", "Face", &TSettings::QuestionFace, "Arial"),
    Int("Question", "Color", &TSettings::QuestionColor, 0x0000FF),
    Int("Question", "Size", &TSettings::QuestionSize, 24),
    Int("Question", "Speed", &TSettings::QuestionSpeed, 5),
    Bool("Question", "Bold", &TSettings::QuestionBold, true),
    Bool("Question", "Italic", &TSettings::QuestionItalic, false),
    Bool("Question", "3D", &TSettings::Question3D, true),
    Text("Answer", "Face", &TSettings::AnswerFace, "Arial"),
    Int("Answer", "Color", &TSettings::AnswerColor, 0xFF0000),
    Int("Answer", "Size", &TSettings::AnswerSize, 24),
    Int("Answer", "Speed", &TSettings::AnswerSpeed, 5),
    Bool("Answer", "Bold", &TSettings::AnswerBold, true),
    Bool("Answer", "Italic", &TSettings::AnswerItalic, false),
    Bool("Answer", "3D", &TSettings::Answer3D, true),
    // Added later, and kept last: a fault in it (a value of the wrong type, a write
    // that fails) still leaves every older value read or written.
    Int("General", "Pause", &TSettings::Pause, 4),
};
static_assert(std::size(kFields) == 27);

std::string SubkeyPath(const Field& f) { return std::string(kSettingsKey) + "\\" + f.subkey; }

std::int32_t ReadInteger(const std::optional<std::string>& text, std::int32_t def) {
    if (!text) return def;
    std::string s = *text;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
    return TryStrToInt(s).value_or(def);
}

}  // namespace

void LoadSettings() {
    Settings.DefaultQuestion = kDefaultQuestionText;
    Settings.DefaultAnswer = kDefaultAnswerText;
    platform::Registry& store = platform::CurrentRegistry();
    store.CreateKey(kSettingsKey);  // a store that cannot be written still reads
    Randomize();
    Settings.JokeCounter = 0;
    for (const Field& f : kFields) {
        std::optional<std::string> text;
        if (auto value = store.ReadValue(SubkeyPath(f), f.name)) {
            if (!value->IsString())
                throw ERegistryException(std::string("Invalid data type for '") + f.name + "'");
            text = value->data.substr(0, value->data.find('\0'));
        }
        switch (f.kind) {
        case Kind::Integer:
            Settings.*f.integer = ReadInteger(text, f.defaultNumber);
            break;
        case Kind::Boolean:
            Settings.*f.boolean = ReadInteger(text, f.defaultNumber) != 0;
            break;
        case Kind::Text:
            Settings.*f.text = text ? *text : f.defaultText;
            break;
        }
    }
}

void SaveSettings() {
    platform::Registry& store = platform::CurrentRegistry();
    // One batch: the store is replaced once, with the whole record or not at all.
    platform::RegistryBatch batch(store);
    store.CreateKey(kSettingsKey);  // a failure shows at the first subkey
    // A batch is stored at its end; when that fails, the message names the first
    // change it held, as it would when every change is written at once.
    std::string firstChange;
    for (const Field& f : kFields) {
        const std::string key = SubkeyPath(f);
        if (firstChange.empty() && !store.KeyExists(key))
            firstChange = std::string("Failed to create key ") + f.subkey;
        if (!store.CreateKey(key)) throw ERegistryException(std::string("Failed to create key ") + f.subkey);
        std::string text;
        switch (f.kind) {
        case Kind::Integer:
            text = std::to_string(Settings.*f.integer);
            break;
        case Kind::Boolean:
            text = Settings.*f.boolean ? "1" : "0";
            break;
        case Kind::Text:
            text = Settings.*f.text;
            break;
        }
        const auto value = platform::RegValue::String(std::move(text));
        const std::string setFailed = std::string("Failed to set data for '") + f.name + "'";
        if (firstChange.empty() && store.ReadValue(key, f.name) != value) firstChange = setFailed;
        if (!store.WriteValue(key, f.name, value)) throw ERegistryException(setFailed);
    }
    if (!batch.End())
        throw ERegistryException(!firstChange.empty()
                                     ? firstChange
                                     : std::string("Failed to set data for '") + kFields[0].name + "'");
}

}  // namespace quipix
