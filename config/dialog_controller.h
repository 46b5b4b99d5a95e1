// DialogController: what the configuration dialog does, whatever toolkit draws it.
// It holds the values of the dialog's controls, fills them from the Settings when
// the dialog is created and copies them back on OK, says which controls are shown
// or enabled, and draws the three live previews. A front end (the Qt form, the
// Win32 dialog) is a DialogView: widgets found by their control names, which the
// controller fills and reads back, and the toolkit's choosers and message box. The
// view reports each click or change with ControlEvent; which value lives in which
// widget and which handler a control runs is decided here, once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.h"
#include "config/dialog_layout.h"
#include "imaging/pixel_graphic.h"
#include "platform/platform.h"

namespace quipix {

// What laVer shows, in English; other languages word it as their catalogue says.
inline constexpr const char* kVersionText = "Version 2.1";
inline constexpr std::string_view kVersionNumber = std::string_view(kVersionText).substr(8);
inline constexpr const char* kHomePageAddress = "https://www.kelvara.example/";
inline constexpr const char* kNoBitmapCaption = "Select bitmap ...";

// The idle minutes udIdle offers: up to a day, as --idle takes.
inline constexpr ControlRange kIdleMinutesRange{1, 1440};
inline constexpr int kIdleMinutesDefault = 5;

// The positions the control of that name takes (the settings table holds them); a
// stored value outside them is pulled to the nearest end, as the control itself
// would. Nothing for a control that is no setting's, or shows its value as it is.
std::optional<ControlRange> ValueRange(std::string_view control);

// What the dialog's controls hold.
struct DialogValues {
    int Pages = 0;  // the page shown
    // Every stored setting as its control holds it (SettingFields() says which control
    // that is). Three have none: Directory is the folder that Files lists, without a
    // trailing separator (but at a root); JokeFile is the stored one, which OK replaces
    // with the selected item; Bitmap is the working picture path, which btBitmap shows
    // as BitmapCaption().
    TStoredSettings Chosen;
    // "Joke File Selection": Files lists JokeFiles, the *.txt files of Chosen.Directory.
    std::vector<std::string> JokeFiles;
    int FilesIndex = -1;       // the selected item, -1 for none
    std::string QEdit, AEdit;  // the default texts, which the running program takes but the store never
    // "Speed", on Linux: the saver starts by itself after IdleMinutes of inactivity
    // (its autostart entry is the stored state).
    bool IdleOn = false;
    int IdleMinutes = kIdleMinutesDefault;
    // "About this Screen Saver"
    std::string laVer;
};

// Which controls are shown or enabled; the view applies them after every handler.
struct ControlStates {
    bool SolidC = true, FromC = false, ToC = false, btBitmap = false, cbTiled = false;
    bool edRand = false;  // enabled; the spinner beside it always works
    bool edIdle = false;  // the same
    bool tbQ = true, tbA = true, laColors = false;
};

enum class Preview { BImg, QImg, AImg };

// A view's side of the dialog: its widgets, found by the names of the dialog's layout
// (config/dialog_layout.h), and the toolkit's own choosers and message box. The
// controller decides which widget holds which value and when; the view only reads
// and writes the widget it is asked for.
class DialogView {
public:
    // Text: an edit's text, a label's or button's caption, a font box's family ("" none).
    virtual void SetText(std::string_view control, const std::string& text) = 0;
    virtual std::string Text(std::string_view control) const = 0;
    // Checked: a check box.
    virtual void SetChecked(std::string_view control, bool checked) = 0;
    virtual bool Checked(std::string_view control) const = 0;
    // Number: a spinner's or track bar's position; the selected index of a radio
    // group, a list or the page control (-1 none); a colour button's colour.
    virtual void SetNumber(std::string_view control, int number) = 0;
    virtual int Number(std::string_view control) const = 0;
    // The items of a list, none selected.
    virtual void SetItems(std::string_view control, const std::vector<std::string>& items) = 0;
    virtual void SetVisible(std::string_view control, bool visible) = 0;
    virtual void SetEnabled(std::string_view control, bool enabled) = 0;

    // The preview control shows its own copy of picture from now on.
    virtual void ShowPreview(Preview which, const TPixelGraphic& picture) = 0;
    // A failure the user must see; the dialog stays as it is.
    virtual void ShowError(const std::string& message) = 0;
    // Runs the folder browser from initial: the confirmed folder ("" for an item
    // without a file-system path), or nothing when the user cancels.
    virtual std::optional<std::string> ChooseFolder(const std::string& initial) = 0;
    // Runs the picture open dialog in folder ("": the chooser decides): the confirmed
    // file, or nothing when the user cancels.
    virtual std::optional<std::string> ChoosePicture(const std::string& folder) = 0;

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

    // Loads the Settings into Values(), shows them in the view's widgets and draws
    // the previews. A store that cannot be read is reported through the view; the
    // dialog goes on with what was read.
    void FormCreate();
    // The view's widgets show Values(), and the controls' states. Changes the
    // widgets report meanwhile run nothing.
    void ShowControls();
    void ShowStates();
    // Values() take what the view's widgets hold.
    void ReadControls();
    // The user clicked or changed control (a name of the layout): the controller
    // reads the widgets, runs what the control is bound to and shows what changed.
    // True when the dialog is to close now (OK saved).
    bool ControlEvent(std::string_view control);
    // The previews are now width x height (the dialog moved to a monitor of another
    // DPI): all three are drawn again at that size.
    void SetPreviewSize(int width, int height);

    // Gives the owner window the foreground back, once, however the dialog closes.
    void FormClose();
    // Copies Values() into the Settings and saves them. False when saving failed: the
    // view has been shown the message and the dialog must stay open.
    bool btOkClick();
    void btHelpClick() const;  // the topic of the page shown
    void FormHelp() const;     // F1: the dialog's own topic
    void btURLClick() const;

    // Run the view's folder browser and picture chooser, and take what the user
    // confirmed.
    void btBrowseClick();
    void btBitmapClick();
    // The folder browser confirmed folder (empty: an item without a file-system
    // path, which changes nothing); Files shows the new list.
    void FolderChosen(const std::string& folder);
    // The folder the picture chooser opens in: the working picture's, or "" to let
    // the chooser decide.
    std::string PictureFolder() const;
    // The picture chooser confirmed path (empty changes nothing); btBitmap shows it.
    void PictureChosen(const std::string& path);

    // The live previews.
    void BackChange();
    void QChange();
    void AChange();

private:
    void ShowFiles();
    void MakeBackgroundPicture();
    bool SetJokeFolder(const std::string& folder);
    void DrawTextPreview(std::unique_ptr<TPixelGraphic>& picture, const TJokeTextSettings& look,
                         const std::string& text);

    DialogView& view_;
    platform::WindowId owner_;
    DialogValues values_;
    bool loading_ = false;
    bool limited_ = false;
    bool closed_ = false;
    bool showing_ = false;
    TPixelGraphic CleanBackground;
    // What the background preview needs of the chosen picture, never more than the
    // preview's size of it (MakeBackgroundPicture), and what it was made for.
    TPixelGraphic BackgroundPicture;
    struct {
        std::string path;
        bool tiled = false;
        int width = -1, height = -1;
    } made_;
    std::unique_ptr<TPixelGraphic> questionPreview_, answerPreview_;
};

// The folder the settings store for the list's folder: the bundled jokes folder in
// the user's language is stored as the empty text, which means that folder wherever
// the program is installed; any other folder as it is.
std::string StoredJokeDirectory(const std::string& listFolder);

}  // namespace quipix
