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
#include "imaging/canvas.h"

namespace quipix {

namespace fs = std::filesystem;

namespace {

int Clamp(std::int64_t value, ControlRange range) {
    return int(std::clamp<std::int64_t>(value, range.Min, range.Max));
}

// A radio group pulls an index outside its items to the nearest end: -1 (no item)
// or the last item.
int ItemIndex(std::int32_t index, int count) { return int(std::clamp<std::int32_t>(index, -1, count - 1)); }

// Spinners hold 16-bit positions: a stored value is cut to 16 bits with its sign
// before the range applies, and a position goes back widened with its sign.
int SpinnerPosition(std::int32_t stored, ControlRange range) { return Clamp(std::int16_t(stored), range); }

// An absolute, clean folder path without a trailing separator (but at a root).
fs::path CleanFolder(const fs::path& base, const std::string& folder) {
    fs::path path = (base / fs::path(folder)).lexically_normal();
    if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
    return path;
}

static_assert(std::is_same_v<TColor, int>, "a colour button gives its colour as a number");

// Which value each widget holds, in the order the widgets are filled. btBitmap and
// laVer only show; Files also shows the list (ShowFiles).
struct Binding {
    std::string_view Control;
    std::variant<std::string DialogValues::*, bool DialogValues::*, int DialogValues::*> Value;
};
const Binding kBindings[] = {
    {"Pages", &DialogValues::Pages},       {"Files", &DialogValues::FilesIndex},
    {"QEdit", &DialogValues::QEdit},       {"AEdit", &DialogValues::AEdit},
    {"tbF", &DialogValues::tbF},           {"rgFadeMode", &DialogValues::rgFadeMode},
    {"cbRandom", &DialogValues::cbRandom}, {"udRand", &DialogValues::udRand},
    {"udPause", &DialogValues::udPause},   {"rgBackType", &DialogValues::rgBackType},
    {"SolidC", &DialogValues::SolidC},     {"FromC", &DialogValues::FromC},
    {"ToC", &DialogValues::ToC},           {"cbTiled", &DialogValues::cbTiled},
    {"QFont", &DialogValues::QFont},       {"QSize", &DialogValues::QSize},
    {"QColor", &DialogValues::QColor},     {"Q3D", &DialogValues::Q3D},
    {"QBold", &DialogValues::QBold},       {"QItalic", &DialogValues::QItalic},
    {"tbQ", &DialogValues::tbQ},           {"AFont", &DialogValues::AFont},
    {"ASize", &DialogValues::ASize},       {"AColor", &DialogValues::AColor},
    {"A3D", &DialogValues::A3D},           {"ABold", &DialogValues::ABold},
    {"AItalic", &DialogValues::AItalic},   {"tbA", &DialogValues::tbA},
};

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
    if (control == "udRand") return kCountRange;
    if (control == "QSize" || control == "ASize") return kSizeRange;
    if (control == "udPause") return kPauseRange;
    if (control == "tbQ" || control == "tbA" || control == "tbF") return kSpeedRange;
    return std::nullopt;
}

std::string StoredJokeDirectory(const std::string& listFolder) {
    std::error_code ec;
    if (!listFolder.empty() && fs::equivalent(listFolder, platform::BundledJokesDirectory(), ec)) return {};
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
    const int type = values_.rgBackType;
    ControlStates s;
    s.SolidC = type == 0;
    s.FromC = s.ToC = type == 1;
    s.btBitmap = s.cbTiled = type == 2;
    s.edRand = values_.cbRandom;
    s.tbQ = s.tbA = !limited_;
    s.laColors = limited_;
    return s;
}

std::string DialogController::BitmapCaption() const {
    return values_.Bitmap.empty() ? kNoBitmapCaption : values_.Bitmap;
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
    const fs::path base = values_.Directory.empty() ? fs::current_path(ec) : fs::path(values_.Directory);
    const fs::path path = CleanFolder(base, folder);
    if (!fs::is_directory(path, ec)) return false;
    // The folder already shown keeps its list and its selection.
    if (path.string() == values_.Directory) return true;
    values_.Directory = path.string();
    values_.JokeFiles = ListJokeFiles(values_.Directory);
    std::stable_sort(values_.JokeFiles.begin(), values_.JokeFiles.end(),
                     [](const std::string& a, const std::string& b) { return ascii::LessText(a, b); });
    values_.FilesIndex = -1;
    return true;
}

void DialogController::FormCreate() {
    DialogValues& v = values_;
    // 1. The help topics come from the platform's help folder; nothing to set here.
    // 2.
    v.laVer = kVersionText;
    // 3. CleanBackground was sized with the preview; BackgroundPicture starts empty.
    // 4.
    v.Pages = 0;
    // 5. A store that cannot be read is reported; the dialog goes on with what was read.
    loading_ = true;
    try {
        LoadSettings();
    } catch (const std::exception& e) {
        view_.ShowError(e.what());
    }
    const TSettings& s = Settings;
    // 6. An empty folder means the bundled jokes; a folder that is gone leaves the
    // list on the process's current folder, where it starts.
    if (!SetJokeFolder(s.Directory.empty() ? platform::BundledJokesDirectory() : s.Directory)) {
        std::error_code ec;
        SetJokeFolder(fs::current_path(ec).string());
    }
    // 7.
    v.FilesIndex = -1;
    for (std::size_t i = 0; i < v.JokeFiles.size() && !s.JokeFile.empty(); ++i)
        if (ascii::SameText(v.JokeFiles[i], s.JokeFile)) {
            v.FilesIndex = int(i);
            break;
        }
    // 8. The count box's state (cbRandomClick) follows cbRandom through States().
    v.QEdit = s.DefaultQuestion;
    v.AEdit = s.DefaultAnswer;
    v.tbF = Clamp(s.Speed, kSpeedRange);
    v.rgFadeMode = ItemIndex(s.FadeMode, kFadeModeCount);
    v.cbRandom = s.Change;
    v.udRand = SpinnerPosition(s.ChangeAfter, kCountRange);
    v.udPause = Clamp(s.Pause, kPauseRange);
    // 9.
    v.Bitmap = s.Bitmap;
    LoadBackgroundPicture(BackgroundPicture, v.Bitmap);
    // 10. btBitmap shows the path through BitmapCaption().
    v.rgBackType = ItemIndex(s.BackgroundType, kBackTypeCount);
    v.SolidC = s.SolidColor;
    v.FromC = s.FromColor;
    v.ToC = s.ToColor;
    v.cbTiled = s.Tiled;
    // 11.
    v.QFont = s.QuestionFace;
    v.QSize = SpinnerPosition(s.QuestionSize, kSizeRange);
    v.QColor = s.QuestionColor;
    v.Q3D = s.Question3D;
    v.QBold = s.QuestionBold;
    v.QItalic = s.QuestionItalic;
    v.tbQ = Clamp(s.QuestionSpeed, kSpeedRange);
    v.AFont = s.AnswerFace;
    v.ASize = SpinnerPosition(s.AnswerSize, kSizeRange);
    v.AColor = s.AnswerColor;
    v.A3D = s.Answer3D;
    v.ABold = s.AnswerBold;
    v.AItalic = s.AnswerItalic;
    v.tbA = Clamp(s.AnswerSpeed, kSpeedRange);
    // 12. Limited mode on palette screens: the texts do not slide there.
    limited_ = platform::PrimaryScreen().ColorDepth <= 8;
    // The widgets show it all before the previews are drawn.
    ShowControls();
    ShowStates();
    // 13.
    loading_ = false;
    BackChange();
}

void DialogController::ShowControls() {
    Showing showing(showing_);
    view_.SetItems("Files", values_.JokeFiles);
    for (const Binding& b : kBindings)
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(values_.*member)>;
                if constexpr (std::is_same_v<T, std::string>)
                    view_.SetText(b.Control, values_.*member);
                else if constexpr (std::is_same_v<T, bool>)
                    view_.SetChecked(b.Control, values_.*member);
                else
                    view_.SetNumber(b.Control, values_.*member);
            },
            b.Value);
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
}

void DialogController::ReadControls() {
    for (const Binding& b : kBindings)
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(values_.*member)>;
                if constexpr (std::is_same_v<T, std::string>)
                    values_.*member = view_.Text(b.Control);
                else if constexpr (std::is_same_v<T, bool>)
                    values_.*member = view_.Checked(b.Control);
                else
                    values_.*member = view_.Number(b.Control);
            },
            b.Value);
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
    TSettings& s = Settings;
    s.Directory = StoredJokeDirectory(v.Directory);
    if (v.FilesIndex >= 0 && std::size_t(v.FilesIndex) < v.JokeFiles.size())
        s.JokeFile = v.JokeFiles[std::size_t(v.FilesIndex)];
    s.DefaultQuestion = v.QEdit;
    s.DefaultAnswer = v.AEdit;
    s.Speed = v.tbF;
    s.FadeMode = v.rgFadeMode;
    s.Change = v.cbRandom;
    s.ChangeAfter = std::int16_t(v.udRand);
    s.BackgroundType = v.rgBackType;
    s.Bitmap = v.Bitmap;
    s.SolidColor = v.SolidC;
    s.FromColor = v.FromC;
    s.ToColor = v.ToC;
    s.Tiled = v.cbTiled;
    s.QuestionFace = v.QFont;
    s.QuestionSize = std::int16_t(v.QSize);
    s.QuestionColor = v.QColor;
    s.Question3D = v.Q3D;
    s.QuestionBold = v.QBold;
    s.QuestionItalic = v.QItalic;
    s.QuestionSpeed = v.tbQ;
    s.AnswerFace = v.AFont;
    s.AnswerSize = std::int16_t(v.ASize);
    s.AnswerColor = v.AColor;
    s.Answer3D = v.A3D;
    s.AnswerBold = v.ABold;
    s.AnswerItalic = v.AItalic;
    s.AnswerSpeed = v.tbA;
    s.Pause = v.udPause;
    try {
        SaveSettings();
    } catch (const std::exception& e) {
        // The dialog stays open so nothing chosen is lost.
        view_.ShowError(e.what());
        return false;
    }
    return true;
}

void DialogController::btHelpClick() const {
    const int page = std::clamp(values_.Pages, 0, int(kDialogPages.size()) - 1);
    platform::ShowHelp(kDialogPages[std::size_t(page)].HelpContext);
}

void DialogController::FormHelp() const { platform::ShowHelp(kFormHelpContext); }

void DialogController::btURLClick() const { platform::OpenAddress(kHomePageAddress); }

void DialogController::btBrowseClick() {
    if (const auto folder = view_.ChooseFolder(values_.Directory)) FolderChosen(*folder);
}

void DialogController::btBitmapClick() {
    if (const auto path = view_.ChoosePicture(PictureFolder())) PictureChosen(*path);
}

void DialogController::FolderChosen(const std::string& folder) {
    if (SetJokeFolder(folder)) ShowFiles();
}

std::string DialogController::PictureFolder() const {
    if (values_.Bitmap.empty()) return {};
    return fs::path(values_.Bitmap).parent_path().string();
}

void DialogController::PictureChosen(const std::string& path) {
    if (path.empty()) return;
    values_.Bitmap = path;
    {
        Showing showing(showing_);
        view_.SetText("btBitmap", BitmapCaption());
    }
    LoadBackgroundPicture(BackgroundPicture, path);
    BackChange();
}

void DialogController::BackChange() {
    const DialogValues& v = values_;
    DrawBackground(CleanBackground, v.rgBackType, v.SolidC, v.FromC, v.ToC, v.cbTiled, BackgroundPicture);
    view_.ShowPreview(Preview::BImg, CleanBackground);
    QChange();
    AChange();
}

void DialogController::QChange() {
    if (loading_) return;
    const DialogValues& v = values_;
    DrawTextPreview(questionPreview_, v.QFont, v.QSize, v.QColor, v.Q3D, v.QBold, v.QItalic, v.QEdit);
    view_.ShowPreview(Preview::QImg, *questionPreview_);
}

void DialogController::AChange() {
    if (loading_) return;
    const DialogValues& v = values_;
    DrawTextPreview(answerPreview_, v.AFont, v.ASize, v.AColor, v.A3D, v.ABold, v.AItalic, v.AEdit);
    view_.ShowPreview(Preview::AImg, *answerPreview_);
}

void DialogController::DrawTextPreview(std::unique_ptr<TPixelGraphic>& picture, const std::string& font,
                                       int size, TColor color, bool threeD, bool bold, bool italic,
                                       const std::string& text) {
    // Each redraw starts again from the background, with a fresh canvas font.
    AdoptPictureCopy(picture, CleanBackground);
    TPGCanvas& canvas = picture->Canvas();
    canvas.Brush.Style = TBrushStyle::Clear;
    if (!font.empty()) canvas.Font.Name = font;
    canvas.Font.Size = size;
    canvas.Font.Bold = bold;
    canvas.Font.Italic = italic;

    const int w = picture->Width(), h = picture->Height();
    const unsigned flags = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    // The preview's 3-D look: a light copy up-left and a dark copy down-right,
    // both under the text itself.
    if (threeD) {
        TRect light{4, 4, w - 6, h - 6};
        canvas.Font.Color = AdjustColor(color, 30);
        canvas.DrawText(text, light, flags);
        TRect dark{6, 6, w - 4, h - 4};
        canvas.Font.Color = AdjustColor(color, -50);
        canvas.DrawText(text, dark, flags);
    }
    TRect face{5, 5, w - 5, h - 5};
    canvas.Font.Color = ResolveColor(color);
    canvas.DrawText(text, face, flags);
}

}  // namespace quipix
