// DialogController: what the configuration dialog does, whatever toolkit draws it.
// It holds the values of the dialog's controls, fills them from the Settings when
// the dialog is created and copies them back on OK, says which controls are shown
// or enabled, and draws the three live previews. A front end (the Qt form, the
// Win32 dialog) is a DialogView: it shows the values in its controls, writes what
// the user changes back into Values(), and calls the handler the control is bound
// to. The controller never runs a modal dialog of its own: the view runs the folder
// and picture choosers and hands their answers over.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/settings.h"
#include "imaging/pixel_graphic.h"
#include "platform/platform.h"

namespace quipix {

inline constexpr const char* kVersionText = "Version 2.1";
inline constexpr const char* kHomePageAddress = "https://www.kelvara.example/";
inline constexpr const char* kNoBitmapCaption = "Select bitmap ...";

// The ranges of the spinners and track bars; a value from the store outside them is
// pulled to the nearest end, as the controls themselves would.
struct ControlRange {
    int Min, Max;
};
inline constexpr ControlRange kCountRange{1, 100};  // udRand
inline constexpr ControlRange kSizeRange{12, 96};   // QSize, ASize
inline constexpr ControlRange kSpeedRange{1, 10};   // tbQ, tbA, tbF
inline constexpr ControlRange kPauseRange{0, 30};   // udPause
inline constexpr int kBackTypeCount = 3;            // rgBackType: Solid, Degraded, Bitmap
inline constexpr int kFadeModeCount = 2;            // rgFadeMode

// The help context of each page, in tab order, and of the dialog as a whole.
inline constexpr std::array<int, 6> kPageHelpContexts{1000, 6000, 2000, 3000, 4000, 5000};
inline constexpr int kFormHelpContext = 100;

// What each control holds, named after the control.
struct DialogValues {
    int Pages = 0;  // the page shown
    // "Joke File Selection": Files lists JokeFiles, the *.txt files of Directory.
    std::string Directory;  // without a trailing separator (but at a root)
    std::vector<std::string> JokeFiles;
    int FilesIndex = -1;  // the selected item, -1 for none
    std::string QEdit, AEdit;
    bool cbRandom = false;
    int udRand = kCountRange.Min;
    // "Background". Bitmap is the working picture path; btBitmap shows BitmapCaption().
    int rgBackType = 0;
    TColor SolidC = 0, FromC = 0, ToC = 0;
    std::string Bitmap;
    bool cbTiled = false;
    // "Questions" and "Answers". An empty font name: no family selected.
    std::string QFont;
    int QSize = kSizeRange.Min;
    TColor QColor = 0;
    bool Q3D = false, QBold = false, QItalic = false;
    std::string AFont;
    int ASize = kSizeRange.Min;
    TColor AColor = 0;
    bool A3D = false, ABold = false, AItalic = false;
    // "Speed"
    int tbQ = kSpeedRange.Min, tbA = kSpeedRange.Min, tbF = kSpeedRange.Min;
    int rgFadeMode = 0;
    int udPause = kPauseRange.Min;
    // "About this Screen Saver"
    std::string laVer;
};

// Which controls are shown or enabled; the view applies them after every handler.
struct ControlStates {
    bool SolidC = true, FromC = false, ToC = false, btBitmap = false, cbTiled = false;
    bool edRand = false;  // enabled; the spinner beside it always works
    bool tbQ = true, tbA = true, laColors = false;
};

enum class Preview { BImg, QImg, AImg };

class DialogView {
public:
    // The preview control shows its own copy of picture from now on.
    virtual void ShowPreview(Preview which, const TPixelGraphic& picture) = 0;
    // A failure the user must see; the dialog stays as it is.
    virtual void ShowError(const std::string& message) = 0;

protected:
    ~DialogView() = default;
};

class DialogController {
public:
    // owner 0: the dialog has no owner window. The previews are width x height.
    DialogController(DialogView& view, platform::WindowId owner, int previewWidth, int previewHeight);
    ~DialogController();
    DialogController(const DialogController&) = delete;
    DialogController& operator=(const DialogController&) = delete;

    DialogValues& Values() { return values_; }
    const DialogValues& Values() const { return values_; }
    ControlStates States() const;
    std::string BitmapCaption() const;
    const TPixelGraphic& PreviewPicture(Preview which) const;

    // Loads the Settings into Values() and draws the previews. A store that cannot
    // be read is reported through the view; the dialog goes on with what was read.
    void FormCreate();
    // Gives the owner window the foreground back, once, however the dialog closes.
    void FormClose();
    // Copies Values() into the Settings and saves them. False when saving failed: the
    // view has been shown the message and the dialog must stay open.
    bool btOkClick();
    void btHelpClick() const;  // the topic of the page shown
    void FormHelp() const;     // F1: the dialog's own topic
    void btURLClick() const;

    // The folder browser confirmed folder (empty: an item without a file-system
    // path, which changes nothing).
    void FolderChosen(const std::string& folder);
    // The folder the picture chooser opens in: the working picture's, or "" to let
    // the chooser decide.
    std::string PictureFolder() const;
    // The picture chooser confirmed path (empty changes nothing).
    void PictureChosen(const std::string& path);

    // The live previews.
    void BackChange();
    void QChange();
    void AChange();

private:
    bool SetJokeFolder(const std::string& folder);
    void DrawTextPreview(std::unique_ptr<TPixelGraphic>& picture, const std::string& font, int size,
                         TColor color, bool threeD, bool bold, bool italic, const std::string& text);

    DialogView& view_;
    platform::WindowId owner_;
    DialogValues values_;
    bool loading_ = false;
    bool limited_ = false;
    bool closed_ = false;
    TPixelGraphic CleanBackground;
    TPixelGraphic BackgroundPicture;
    std::unique_ptr<TPixelGraphic> questionPreview_, answerPreview_;
};

// The folder the settings store for the list's folder: the bundled jokes folder is
// stored as the empty text, which means that folder wherever the program is
// installed; any other folder as it is.
std::string StoredJokeDirectory(const std::string& listFolder);

}  // namespace quipix
