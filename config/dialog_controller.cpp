// DialogController: the configuration dialog's toolkit-free part, shared by the Qt
// form (frm_config) and the Win32 dialog: the transfer of the Settings into the
// widgets and back, what each click or change runs, the enabling rules, the help
// topics and the previews.
#include "config/dialog_controller.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/ascii.h"
#include "common/background.h"
#include "common/joke_library.h"
#include "common/joke_text.h"
#include "common/translate.h"
#include "imaging/canvas.h"

namespace quipix {

namespace fs = std::filesystem;

namespace {

// Where the face of a text preview lies inside the preview, on every side.
constexpr int kPreviewTextInset = 5;

// An absolute, clean folder path without a trailing separator (but at a root).
fs::path CleanFolder(const fs::path& base, const std::string& folder) {
    fs::path path = (base / fs::path(folder)).lexically_normal();
    if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
    return path;
}

static_assert(std::is_same_v<TColor, int>, "a colour button gives its colour as a number");

// Widgets of each kind of value.
void Show(DialogView& view, std::string_view control, const std::string& text) {
    view.SetText(control, text);
}
void Show(DialogView& view, std::string_view control, bool checked) { view.SetChecked(control, checked); }
void Show(DialogView& view, std::string_view control, int number) { view.SetNumber(control, number); }
void Read(const DialogView& view, std::string_view control, std::string& text) { text = view.Text(control); }
void Read(const DialogView& view, std::string_view control, bool& checked) {
    checked = view.Checked(control);
}
void Read(const DialogView& view, std::string_view control, int& number) { number = view.Number(control); }

// The controls of the dialog's own values; btBitmap and laVer only show, and Files
// also shows the list (ShowFiles).
struct Binding {
    std::string_view Control;
    std::variant<std::string DialogValues::*, bool DialogValues::*, int DialogValues::*> Value;
};
const Binding kOwnBindings[] = {
    {"Pages", &DialogValues::Pages},
    {"Files", &DialogValues::FilesIndex},
    {"QEdit", &DialogValues::QEdit},
    {"AEdit", &DialogValues::AEdit},
    {"cbIdle", &DialogValues::IdleOn},
    {"udIdle", &DialogValues::IdleMinutes},
};

// Runs use(control, value) for every control that holds a value: the dialog's own,
// then the stored settings' in the order of the settings table.
template <class Use>
void ForEachControlValue(DialogValues& values, Use use) {
    for (const Binding& b : kOwnBindings)
        // A control this platform's layout leaves out holds nothing.
        if (FindControl(b.Control)) std::visit([&](auto member) { use(b.Control, values.*member); }, b.Value);
    for (const TSettingField& f : SettingFields())
        if (f.Control.Name)
            std::visit([&](auto field) { use(std::string_view(f.Control.Name), field(values.Chosen)); },
                       f.Field);
}

// Every stored number of s as its control shows it (toControls) or back as it is
// stored.
void Transfer(TStoredSettings& s, bool toControls) {
    for (const TSettingField& f : SettingFields())
        if (const auto* field = std::get_if<TSettingField::Member<std::int32_t>>(&f.Field)) {
            std::int32_t& value = (*field)(s);
            value = toControls ? f.Control.Shown(value) : f.Control.Stored(value);
        }
}

// What a change of a control runs; nullptr: only the states follow. Qed and Aed
// change when their spinners move.
struct ChangeEvent {
    std::string_view Control;
    void (DialogController::*Runs)();
};
const ChangeEvent kChangeEvents[] = {
    {"cbRandom", nullptr},
    {"rgBackType", &DialogController::BackChange},
    {"SolidC", &DialogController::BackChange},
    {"FromC", &DialogController::BackChange},
    {"ToC", &DialogController::BackChange},
    {"cbTiled", &DialogController::BackChange},
    {"QFont", &DialogController::QChange},
    {"Qed", &DialogController::QChange},
    {"QColor", &DialogController::QChange},
    {"Q3D", &DialogController::QChange},
    {"QBold", &DialogController::QChange},
    {"QItalic", &DialogController::QChange},
    {"AFont", &DialogController::AChange},
    {"Aed", &DialogController::AChange},
    {"AColor", &DialogController::AChange},
    {"A3D", &DialogController::AChange},
    {"ABold", &DialogController::AChange},
    {"AItalic", &DialogController::AChange},
};

// Runs the rest of the caller with showing set, so that what the widgets report
// while they are being filled runs nothing.
class Showing {
public:
    explicit Showing(bool& flag) : flag_(flag), was_(std::exchange(flag, true)) {}
    ~Showing() { flag_ = was_; }
    Showing(const Showing&) = delete;
    Showing& operator=(const Showing&) = delete;

private:
    bool& flag_;
    bool was_;
};

}  // namespace

std::optional<ControlRange> ValueRange(std::string_view control) {
    if (control == "udIdle") return kIdleMinutesRange;
    for (const TSettingField& f : SettingFields())
        if (f.Control.Name && f.Control.Name == control && f.Control.Transfer != TSettingControl::AsIs)
            return f.Control.Range;
    return std::nullopt;
}

std::string StoredJokeDirectory(const std::string& listFolder) {
    std::error_code ec;
    if (!listFolder.empty() && fs::equivalent(listFolder, BundledJokeDirectory(), ec)) return {};
    return listFolder;
}

DialogController::DialogController(DialogView& view, platform::WindowId owner, int previewWidth,
                                   int previewHeight)
    : view_(view), owner_(owner) {
    // The previews are not drawn before FormCreate; only their size is known here.
    CleanBackground.SetSize(std::max(previewWidth, 1), std::max(previewHeight, 1), pgpf24Bit);
}

DialogController::~DialogController() = default;

ControlStates DialogController::States() const {
    const int type = values_.Chosen.BackgroundType;
    ControlStates s;
    s.SolidC = type == background_type::Solid;
    s.FromC = s.ToC = type == background_type::Gradient;
    s.btBitmap = s.cbTiled = type == background_type::Picture;
    s.edRand = values_.Chosen.Change;
    s.edIdle = values_.IdleOn;
    s.tbQ = s.tbA = !limited_;
    s.laColors = limited_;
    return s;
}

std::string DialogController::BitmapCaption() const {
    return values_.Chosen.Bitmap.empty() ? std::string(Tr(kNoBitmapCaption)) : values_.Chosen.Bitmap;
}

const TPixelGraphic& DialogController::PreviewPicture(Preview which) const {
    const TPixelGraphic* picture = &CleanBackground;
    if (which == Preview::QImg && questionPreview_) picture = questionPreview_.get();
    if (which == Preview::AImg && answerPreview_) picture = answerPreview_.get();
    return *picture;
}

bool DialogController::SetJokeFolder(const std::string& folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    std::string& shown = values_.Chosen.Directory;
    const fs::path base = shown.empty() ? fs::current_path(ec) : fs::path(shown);
    const fs::path path = CleanFolder(base, folder);
    if (!fs::is_directory(path, ec)) return false;
    // The folder already shown keeps its list and its selection.
    if (path.string() == shown) return true;
    shown = path.string();
    values_.JokeFiles = ListJokeFiles(shown);
    std::stable_sort(values_.JokeFiles.begin(), values_.JokeFiles.end(),
                     [](const std::string& a, const std::string& b) { return ascii::LessText(a, b); });
    values_.FilesIndex = -1;
    return true;
}

void DialogController::FormCreate() {
    DialogValues& v = values_;
    // The help topics come from the platform's help folder, and CleanBackground was
    // sized with the preview: nothing to set for either here.
    v.laVer = TrFormat(N_("Version %s"), {kVersionNumber});
    v.Pages = 0;
    // A store that cannot be read is reported once; the dialog goes on with what was
    // read, or with the defaults, which OK then does not save over the store.
    loading_ = true;
    std::string problem;
    try {
        LoadSettings();
    } catch (const std::exception& e) {
        problem = e.what();
    }
    if (std::string unreadable = SettingsReadFailure(); !unreadable.empty()) problem = std::move(unreadable);
    if (!problem.empty()) view_.ShowError(problem);
    // Every stored setting as its control shows it; the folder, the joke file and the
    // picture below start from three of them. The count box follows cbRandom through
    // ShowStates(); btBitmap shows the working picture path through BitmapCaption().
    v.Chosen = Settings;
    Transfer(v.Chosen, true);
    v.QEdit = Settings.DefaultQuestion;
    v.AEdit = Settings.DefaultAnswer;
    // An empty folder means the bundled jokes; a folder that is gone leaves the list
    // on the process's current folder, where it starts.
    const std::string folder = std::exchange(v.Chosen.Directory, std::string());
    if (!SetJokeFolder(folder.empty() ? BundledJokeDirectory() : folder)) {
        std::error_code ec;
        SetJokeFolder(fs::current_path(ec).string());
    }
    // The stored joke file is selected where the folder lists it.
    v.FilesIndex = -1;
    for (std::size_t i = 0; i < v.JokeFiles.size() && !v.Chosen.JokeFile.empty(); ++i)
        if (ascii::SameText(v.JokeFiles[i], v.Chosen.JokeFile)) {
            v.FilesIndex = int(i);
            break;
        }
    // Starting by itself (Linux only) is stored as the watcher's autostart entry.
    const int idleSeconds = platform::IdleAutostartSeconds();
    v.IdleOn = idleSeconds > 0;
    v.IdleMinutes = std::clamp(v.IdleOn ? (idleSeconds + 59) / 60 : kIdleMinutesDefault, kIdleMinutesRange.Min,
                               kIdleMinutesRange.Max);
    // Limited mode on palette screens: the texts do not slide there.
    limited_ = platform::PrimaryScreen().ColorDepth <= 8;
    // The widgets show it all before the previews are drawn, once loading is over.
    ShowControls();
    ShowStates();
    loading_ = false;
    BackChange();
}

void DialogController::ShowControls() {
    Showing showing(showing_);
    view_.SetItems("Files", values_.JokeFiles);
    ForEachControlValue(values_,
                        [&](std::string_view control, const auto& value) { Show(view_, control, value); });
    view_.SetText("btBitmap", BitmapCaption());
    view_.SetText("laVer", values_.laVer);
}

void DialogController::ShowFiles() {
    Showing showing(showing_);
    view_.SetItems("Files", values_.JokeFiles);
    view_.SetNumber("Files", values_.FilesIndex);
}

void DialogController::ShowStates() {
    const ControlStates s = States();
    const std::pair<std::string_view, bool> shown[] = {
        {"SolidC", s.SolidC},   {"FromC", s.FromC}, {"ToC", s.ToC}, {"btBitmap", s.btBitmap},
        {"cbTiled", s.cbTiled}, {"tbQ", s.tbQ},     {"tbA", s.tbA}, {"laColors", s.laColors}};
    for (const auto& [control, visible] : shown) view_.SetVisible(control, visible);
    view_.SetEnabled("edRand", s.edRand);
    if (FindControl("edIdle")) view_.SetEnabled("edIdle", s.edIdle);
}

void DialogController::ReadControls() {
    ForEachControlValue(values_, [&](std::string_view control, auto& value) { Read(view_, control, value); });
}

bool DialogController::ControlEvent(std::string_view control) {
    if (showing_) return false;
    ReadControls();
    if (control == "btOk") return btOkClick();
    if (control == "btHelp") {
        btHelpClick();
    } else if (control == "btURL") {
        btURLClick();
    } else if (control == "btBrowse") {
        btBrowseClick();
    } else if (control == "btBitmap") {
        btBitmapClick();
    } else {
        for (const ChangeEvent& e : kChangeEvents)
            if (e.Control == control) {
                if (e.Runs) (this->*e.Runs)();
                break;
            }
    }
    ShowStates();
    return false;
}

void DialogController::SetPreviewSize(int width, int height) {
    CleanBackground.SetSize(std::max(width, 1), std::max(height, 1), pgpf24Bit);
    BackChange();
}

void DialogController::FormClose() {
    if (closed_) return;
    closed_ = true;
    if (owner_ != 0) platform::ActivateWindow(owner_);
}

bool DialogController::btOkClick() {
    const DialogValues& v = values_;
    TStoredSettings chosen = v.Chosen;
    Transfer(chosen, false);
    chosen.Directory = StoredJokeDirectory(v.Chosen.Directory);
    if (v.FilesIndex >= 0 && std::size_t(v.FilesIndex) < v.JokeFiles.size())
        chosen.JokeFile = v.JokeFiles[std::size_t(v.FilesIndex)];
    static_cast<TStoredSettings&>(Settings) = chosen;
    Settings.DefaultQuestion = v.QEdit;
    Settings.DefaultAnswer = v.AEdit;
    try {
        SaveSettings();
    } catch (const std::exception& e) {
        // The dialog stays open so nothing chosen is lost.
        view_.ShowError(e.what());
        return false;
    }
    if (FindControl("cbIdle"))
        platform::ChangeIdleAutostart(
            v.IdleOn ? std::clamp(v.IdleMinutes, kIdleMinutesRange.Min, kIdleMinutesRange.Max) * 60 : 0);
    return true;
}

void DialogController::btHelpClick() const {
    const int page = std::clamp(values_.Pages, 0, int(kDialogPages.size()) - 1);
    platform::ShowHelp(kDialogPages[std::size_t(page)].HelpContext);
}

void DialogController::FormHelp() const { platform::ShowHelp(kFormHelpContext); }

void DialogController::btURLClick() const { platform::OpenAddress(kHomePageAddress); }

void DialogController::btBrowseClick() {
    if (const auto folder = view_.ChooseFolder(values_.Chosen.Directory)) FolderChosen(*folder);
}

void DialogController::btBitmapClick() {
    if (const auto path = view_.ChoosePicture(PictureFolder())) PictureChosen(*path);
}

void DialogController::FolderChosen(const std::string& folder) {
    if (SetJokeFolder(folder)) ShowFiles();
}

std::string DialogController::PictureFolder() const {
    if (values_.Chosen.Bitmap.empty()) return {};
    return fs::path(values_.Chosen.Bitmap).parent_path().string();
}

void DialogController::PictureChosen(const std::string& path) {
    if (path.empty()) return;
    values_.Chosen.Bitmap = path;
    {
        Showing showing(showing_);
        view_.SetText("btBitmap", BitmapCaption());
    }
    BackChange();
}

void DialogController::MakeBackgroundPicture() {
    const TStoredSettings& c = values_.Chosen;
    const int w = CleanBackground.Width(), h = CleanBackground.Height();
    if (c.Bitmap == made_.path && c.Tiled == made_.tiled && w == made_.width && h == made_.height) return;
    made_ = {c.Bitmap, c.Tiled, w, h};
    BackgroundPicture.SetSize(0, 0, pgpf24Bit);
    if (!c.Tiled) {
        LoadBackgroundPicture(BackgroundPicture, c.Bitmap, w, h);
        return;
    }
    // Tiles keep the picture's own size: of a picture larger than the preview only
    // the top-left corner shows, and only that is kept.
    TPixelGraphic whole;
    LoadBackgroundPicture(whole, c.Bitmap);
    BackgroundPicture.SetSize(std::min(whole.Width(), w), std::min(whole.Height(), h), pgpf24Bit);
    BackgroundPicture.CopyRect(0, 0, whole, 0, 0, BackgroundPicture.Width(), BackgroundPicture.Height());
}

void DialogController::BackChange() {
    const TStoredSettings& c = values_.Chosen;
    MakeBackgroundPicture();
    DrawBackground(CleanBackground, c.BackgroundType, c.SolidColor, c.FromColor, c.ToColor, c.Tiled,
                   BackgroundPicture);
    view_.ShowPreview(Preview::BImg, CleanBackground);
    QChange();
    AChange();
}

void DialogController::QChange() {
    if (loading_) return;
    DrawTextPreview(questionPreview_, values_.Chosen.Question, values_.QEdit);
    view_.ShowPreview(Preview::QImg, *questionPreview_);
}

void DialogController::AChange() {
    if (loading_) return;
    DrawTextPreview(answerPreview_, values_.Chosen.Answer, values_.AEdit);
    view_.ShowPreview(Preview::AImg, *answerPreview_);
}

void DialogController::DrawTextPreview(std::unique_ptr<TPixelGraphic>& picture, const TJokeTextSettings& look,
                                       const std::string& text) {
    // Each redraw starts again from the background, with a fresh canvas font.
    AdoptPictureCopy(picture, CleanBackground);
    TPGCanvas& canvas = picture->Canvas();
    if (!look.Face.empty()) canvas.Font.Name = look.Face;
    canvas.Font.Size = look.Size;
    canvas.Font.Bold = look.Bold;
    canvas.Font.Italic = look.Italic;
    // The preview is not scaled down: it shows the text at its real size, inset from
    // the preview's edges.
    const int w = picture->Width(), h = picture->Height();
    const TRect face{kPreviewTextInset, kPreviewTextInset, w - kPreviewTextInset, h - kPreviewTextInset};
    DrawJokeTextLayers(canvas, text, face, look.Color, look.ThreeD, kPreviewRelief);
}

}  // namespace quipix
