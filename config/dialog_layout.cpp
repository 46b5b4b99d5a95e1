// The configuration dialog's control table and the arithmetic the views share on it.
#include "config/dialog_layout.h"

#include <algorithm>
#include <cstdint>

#include "common/translate.h"
#include "config/sys_colors.h"

namespace quipix {

namespace {

using K = ControlKind;
using F = FontRole;

constexpr TColor kNavy = 0x800000, kRed = 0x0000FF;

constexpr std::string_view kBackTypeItems[] = {N_("Solid"), N_("Degraded"), N_("Bitmap")};
constexpr std::string_view kFadeModeItems[] = {N_("Fade to black"), N_("Fade in place")};
// An item's index is the number stored for it.
static_assert(std::size(kBackTypeItems) == background_type::Count);
static_assert(std::size(kFadeModeItems) == fade_mode::Count);
constexpr RadioLayout kBackTypeRadio{kBackTypeItems, 1, 8, 16, 40, 17};
constexpr RadioLayout kFadeModeRadio{kFadeModeItems, 2, 80, 2, 0, 17};

constexpr std::string_view kWarning = N_("Warning: This screen saver works in limited mode on 256 color systems");
constexpr std::string_view kNotice = N_("Copyright \u00A9 Kelvara. Free to use and to share with friends.");

// Labels sized to their text in the classic layout get the sizes that both views
// have always used.
const ControlLayout kControls[] = {
    {"btOk", K::PushButton, "", {8, 256, 75, 25}, N_("OK"), 0},
    {"btCancel", K::PushButton, "", {88, 256, 75, 25}, N_("Cancel"), 1},
    {"Pages", K::PageControl, "", {0, 0, 534, 249}, {}, 2},
    {"btHelp", K::PushButton, "", {168, 256, 75, 25}, N_("Help"), 3},

    {"Label14", K::Label, "tsJokes", {8, 14, 220, 15}, N_("Select the Joke File from the list:")},
    {"Files", K::FileList, "tsJokes", {8, 29, 185, 177}, {}, 0},
    {"Label7", K::Label, "tsJokes", {232, 30, 200, 15}, N_("Default Question:")},
    {"QEdit", K::Edit, "tsJokes", {232, 46, 257, 23}, {}, 1},
    {"Label8", K::Label, "tsJokes", {232, 86, 200, 15}, N_("Default Answer:")},
    {"AEdit", K::Edit, "tsJokes", {232, 102, 257, 23}, {}, 2},
    {"btBrowse", K::PushButton, "tsJokes", {200, 181, 75, 25}, N_("Browse"), 3},
    {"cbRandom", K::CheckBox, "tsJokes", {232, 144, 169, 17}, N_("Change the Joke file after"), 4},
    {"edRand", K::Edit, "tsJokes", {400, 141, 33, 23}, {}, 5},
    {"udRand", K::UpDown, "tsJokes", {433, 141, 15, 23}, {}, 6, F::Dialog, false, "edRand"},
    {"Label15", K::Label, "tsJokes", {456, 145, 40, 15}, N_("Jokes")},

    {"Panel3", K::Panel, "TabSheet1", {265, 16, 241, 185}, {}, 0},
    {"BImg", K::Preview, "Panel3", {6, 6, 229, 173}},
    {"SolidC", K::ColorButton, "TabSheet1", {160, 20, 53, 25}, {}, 1},
    {"FromC", K::ColorButton, "TabSheet1", {128, 60, 53, 25}, {}, 2},
    {"ToC", K::ColorButton, "TabSheet1", {192, 60, 53, 25}, {}, 3},
    {"btBitmap", K::PushButton, "TabSheet1", {16, 140, 225, 25}, N_("Select bitmap ..."), 4, F::Small},
    {"cbTiled", K::CheckBox, "TabSheet1", {96, 176, 65, 17}, N_("Tiled"), 5},
    {"rgBackType",
     K::RadioGroup,
     "TabSheet1",
     {8, 8, 113, 129},
     {},
     6,
     F::RadioItems,
     false,
     {},
     &kBackTypeRadio},

    {"Panel1", K::Panel, "tsQuestions", {265, 16, 241, 185}, {}, 0},
    {"QImg", K::Preview, "Panel1", {6, 6, 229, 173}},
    {"Label1", K::Label, "tsQuestions", {16, 16, 120, 15}, N_("Select Font:")},
    {"QFont", K::FontBox, "tsQuestions", {16, 32, 217, 22}, {}, 1},
    {"Q3D", K::CheckBox, "tsQuestions", {88, 136, 81, 17}, N_("3D effect"), 2},
    {"QBold", K::CheckBox, "tsQuestions", {88, 160, 81, 17}, N_("Bold"), 3},
    {"QItalic", K::CheckBox, "tsQuestions", {88, 184, 81, 17}, N_("Italic"), 4},
    {"Label3", K::Label, "tsQuestions", {16, 69, 78, 15}, N_("Select Size:")},
    {"Qed", K::Edit, "tsQuestions", {96, 64, 41, 23}, {}, 5},
    {"QSize", K::UpDown, "tsQuestions", {137, 64, 15, 23}, {}, 6, F::Dialog, false, "Qed"},
    {"Label2", K::Label, "tsQuestions", {16, 101, 78, 15}, N_("Select Color:")},
    {"QColor", K::ColorButton, "tsQuestions", {96, 100, 53, 25}, {}, 7},

    // The answer page's tab order is its own: the size comes second.
    {"Label4", K::Label, "tsAnswers", {16, 16, 120, 15}, N_("Select Font:")},
    {"AFont", K::FontBox, "tsAnswers", {16, 32, 217, 22}, {}, 0},
    {"Label5", K::Label, "tsAnswers", {16, 69, 78, 15}, N_("Select Size:")},
    {"Aed", K::Edit, "tsAnswers", {96, 64, 41, 23}, {}, 1},
    {"A3D", K::CheckBox, "tsAnswers", {88, 136, 81, 17}, N_("3D effect"), 2},
    {"ABold", K::CheckBox, "tsAnswers", {88, 160, 81, 17}, N_("Bold"), 3},
    {"AItalic", K::CheckBox, "tsAnswers", {88, 184, 81, 17}, N_("Italic"), 4},
    {"Panel2", K::Panel, "tsAnswers", {265, 16, 241, 185}, {}, 5},
    {"AImg", K::Preview, "Panel2", {6, 6, 229, 173}},
    {"ASize", K::UpDown, "tsAnswers", {137, 64, 15, 23}, {}, 6, F::Dialog, false, "Aed"},
    {"Label6", K::Label, "tsAnswers", {16, 101, 78, 15}, N_("Select Color:")},
    {"AColor", K::ColorButton, "tsAnswers", {96, 100, 53, 25}, {}, 7},

    {"Label12", K::Label, "tsSpeed", {192, 8, 40, 15}, N_("Slow")},
    {"Label13", K::Label, "tsSpeed", {464, 8, 40, 15}, N_("Fast")},
    {"Label9", K::Label, "tsSpeed", {32, 47, 160, 15}, N_("Questions moving speed:")},
    {"tbQ", K::TrackBar, "tsSpeed", {200, 31, 289, 45}, {}, 0},
    {"Label10", K::Label, "tsSpeed", {32, 87, 160, 15}, N_("Answers moving speed:")},
    {"tbA", K::TrackBar, "tsSpeed", {200, 79, 289, 45}, {}, 1},
    {"Label11", K::Label, "tsSpeed", {32, 127, 160, 15}, N_("Effects speed:")},
    {"tbF", K::TrackBar, "tsSpeed", {200, 119, 289, 45}, {}, 2},
    {"laColors", K::ShadowLabel, "tsSpeed", {208, 40, 273, 73}, kWarning, -1, F::Warning, true},
    {"rgFadeMode",
     K::RadioGroup,
     "tsSpeed",
     {16, 164, 481, 24},
     {},
     3,
     F::Dialog,
     false,
     {},
     &kFadeModeRadio,
     "4 pixels higher, 24 high instead of 41, items 2 pixels inside instead of 6: the pause row below "
     "needs the room"},
    {"laPause",
     K::Label,
     "tsSpeed",
     {32, 194, 160, 15},
     N_("Pause after the answer:"),
     -1,
     F::Dialog,
     false,
     {},
     nullptr,
     "the pause after the answer is a setting of ours"},
    {"edPause", K::Edit, "tsSpeed", {200, 190, 33, 23}, {}, 4},
    {"udPause", K::UpDown, "tsSpeed", {233, 190, 15, 23}, {}, 5, F::Dialog, false, "edPause"},
    {"laSeconds", K::Label, "tsSpeed", {256, 194, 60, 15}, N_("seconds")},
#if !defined(_WIN32)
    // Windows starts a screen saver itself, after the wait its own settings give.
    // The pause row has the room left, beside "seconds" and up to the page's edge, in
    // the small font.
    {"cbIdle", K::CheckBox, "tsSpeed", {316, 193, 71, 17}, N_("Start after"), 6, F::Small, false, {}, nullptr,
     "starting by itself is ours, on Linux only"},
    {"edIdle", K::Edit, "tsSpeed", {387, 190, 28, 23}, {}, 7},
    {"udIdle", K::UpDown, "tsSpeed", {415, 190, 15, 23}, {}, 8, F::Dialog, false, "edIdle"},
    {"laIdle", K::Label, "tsSpeed", {431, 194, 103, 15}, N_("minutes of inactivity"), -1, F::Small},
#endif

    {"btURL", K::PushButton, "tsAbout", {153, 181, 225, 25}, N_("Navigate to Kelvara home page"), 0},
    {"Panel4", K::Panel, "tsAbout", {8, 8, 312, 132}, {}, 1},
    {"Image1", K::Logo, "Panel4", {6, 6, 300, 120}},
    {"Label3d1", K::Label3d, "tsAbout", {322, 21, 201, 65}, N_("Kelvara Jokes Screen Saver"), -1, F::Title, true},
    {"laVer", K::Label3d, "tsAbout", {336, 96, 169, 29}, N_("Version"), -1, F::Version, true},
    {"Label16", K::Label, "tsAbout", {114, 152, 297, 14}, kNotice, -1, F::Small, true},
};

}  // namespace

const LabelColors kLabel3dColors{kNavy, syscolor::BtnShadow, syscolor::BtnHighlight, 1};
const LabelColors kWarningColors{kRed, kRed, syscolor::BtnShadow, 4};

std::span<const ControlLayout> DialogControls() { return kControls; }

const ControlLayout* FindControl(std::string_view name) {
    for (const ControlLayout& c : kControls)
        if (c.Name == name) return &c;
    return nullptr;
}

int PageIndex(std::string_view name) {
    for (std::size_t i = 0; i < kDialogPages.size(); ++i)
        if (kDialogPages[i].Name == name) return int(i);
    return -1;
}

LayoutRect PlaceInPage(const ControlLayout& control) {
    LayoutRect place = control.Place;
    const ControlLayout* parent = FindControl(control.Parent);
    if (parent && parent->Kind == ControlKind::Panel) {
        place.X += parent->Place.X;
        place.Y += parent->Place.Y;
    }
    return place;
}

LayoutRect RadioItemPlace(const ControlLayout& group, int index) {
    if (!group.Radio || group.Radio->Items.empty()) return {};
    const RadioLayout& r = *group.Radio;
    const int count = int(r.Items.size());
    const int columns = std::max(r.Columns, 1);
    const int rows = (count + columns - 1) / columns;
    const int columnWidth = (group.Place.Width - r.OriginX) / columns;
    const int column = index / rows, row = index % rows;
    return {r.OriginX + column * columnWidth, r.OriginY + row * r.Spacing, columnWidth, r.ItemHeight};
}

int ScaleToDpi(int pixels, int dpi) {
    // Halves round away from zero, as the system's MulDiv does.
    const std::int64_t product = std::int64_t(pixels) * dpi;
    const std::int64_t half = kLayoutDpi / 2;
    return int(product >= 0 ? (product + half) / kLayoutDpi : (product - half) / kLayoutDpi);
}

LayoutRect ScaleToDpi(const LayoutRect& place, int dpi) {
    const int x = ScaleToDpi(place.X, dpi), y = ScaleToDpi(place.Y, dpi);
    return {x, y, ScaleToDpi(place.Right(), dpi) - x, ScaleToDpi(place.Bottom(), dpi) - y};
}

}  // namespace quipix
