// The process-wide Settings record: every persisted choice of the saver and the
// run-time joke values, with LoadSettings and SaveSettings over the registry store.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quipix {

// A Windows colour: 0x00BBGGRR, or a system-colour constant with the high bit set.
using TColor = std::int32_t;

struct TSettings {
    // General
    std::int32_t Speed = 0;
    std::int32_t FadeMode = 0;
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
    std::int32_t BackgroundType = 0;
    // Question
    std::string QuestionFace;
    TColor QuestionColor = 0;
    std::int32_t QuestionSize = 0;
    std::int32_t QuestionSpeed = 0;
    bool QuestionBold = false;
    bool QuestionItalic = false;
    bool Question3D = false;
    // Answer
    std::string AnswerFace;
    TColor AnswerColor = 0;
    std::int32_t AnswerSize = 0;
    std::int32_t AnswerSpeed = 0;
    bool AnswerBold = false;
    bool AnswerItalic = false;
    bool Answer3D = false;
    // General, stored after all of the above: seconds the finished joke stands
    // before its fade.
    std::int32_t Pause = 0;

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

// Fills every persisted field from the store (defaults for what is missing), sets
// the two default texts, clears JokeCounter and reseeds the random source. Stops
// with ERegistryException at a value that is not a string.
void LoadSettings();
// Writes every persisted field; ERegistryException when the store cannot.
void SaveSettings();

}  // namespace quipix
