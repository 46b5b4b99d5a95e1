// The configuration dialog's layout and look, written once for every view: each
// control with its kind, its parent, its place in pixels at 96 dpi, its caption and
// its tab stop, the pages with their help topics, and the fonts and colours the views
// share. The Win32 dialog builds its controls from this table, scaled to the DPI of
// its monitor; the Qt form keeps its stored layout (.ui) and a test holds the two
// together.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "common/settings.h"
#include "common/translate.h"

namespace quipix {

inline constexpr std::string_view kDialogCaption = N_("Kelvara Jokes Screen Saver Configuration");
inline constexpr int kDialogClientWidth = 534, kDialogClientHeight = 288;
// The places and font sizes below are pixels at this many dots per inch.
inline constexpr int kLayoutDpi = 96;

inline constexpr std::string_view kFolderDialogTitle = N_("Select the folder where the Joke files are located");
inline constexpr std::string_view kPictureDialogTitle = N_("Select a background bitmap");
// The height of each item of Files.
inline constexpr int kFileListItemHeight = 18;
// The free-choice entry of every colour button's drop-down.
inline constexpr std::string_view kOtherColorCaption = N_("&Other...");

struct LayoutRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
    int Right() const { return X + Width; }
    int Bottom() const { return Y + Height; }
    bool operator==(const LayoutRect&) const = default;
};

enum class ControlKind {
    PageControl,
    Label,
    Edit,
    CheckBox,
    PushButton,
    UpDown,  // attached to the edit named by Associate
    TrackBar,
    RadioGroup,  // frameless: only its items show
    ColorButton,
    FontBox,
    FileList,
    Panel,    // sunken, holding a preview or the logo
    Preview,  // an image control showing one of the live previews
    Logo,
    Label3d,      // raised look: kLabel3dColors
    ShadowLabel,  // drop shadow: kWarningColors
};

enum class FontRole { Dialog, Small, RadioItems, Warning, Title, Version };

struct FontLook {
    std::string_view Family;
    std::string_view Fallback;  // where Family is not installed; empty: the system's choice
    int Pixels;                 // character height at kLayoutDpi
    bool Bold;
};

// In the order of FontRole.
inline constexpr std::array<FontLook, 6> kDialogFonts{{
    {"Arial", "", 12, false},               // the form, and every control not named below
    {"Arial", "", 11, false},               // btBitmap, Label16
    {"MS Sans Serif", "Arial", 11, false},  // the items of rgBackType
    {"Arial", "", 19, true},                // laColors
    {"Arial", "", 24, true},                // Label3d1
    {"Arial", "", 19, true},                // laVer
}};
inline const FontLook& DialogFont(FontRole role) { return kDialogFonts[std::size_t(role)]; }

// Colours of the drawn labels, as Windows colours (system-colour constants stay
// constants). The raised labels draw Highlight one pixel up and left and Shadow one
// pixel down and right under the face; the warning has no highlight and draws Shadow
// ShadowDepth pixels down and right.
struct LabelColors {
    TColor Face, Highlight, Shadow;
    int ShadowDepth;
};
extern const LabelColors kLabel3dColors;
extern const LabelColors kWarningColors;

// The items of a radio group: item i sits in column i / rows, row i % rows, from
// Origin inside the group, Spacing apart vertically and (width - Origin.x) / Columns
// apart horizontally.
struct RadioLayout {
    std::span<const std::string_view> Items;
    int Columns;
    int OriginX, OriginY;
    int Spacing;
    int ItemHeight;  // for views whose items take a height from the layout
};

struct ControlLayout {
    std::string_view Name;
    ControlKind Kind;
    std::string_view Parent;        // "" the form, a page's name, or a panel's
    LayoutRect Place;               // relative to Parent
    std::string_view Caption = {};  // UTF-8, English: shown through Tr()
    int Tab = -1;                   // tab stop among its parent's controls, -1 none
    FontRole Font = FontRole::Dialog;
    bool Centred = false;             // the text is centred (and wrapped when the label is high enough)
    std::string_view Associate = {};  // an up-down spinner's edit
    const RadioLayout* Radio = nullptr;
    // Why this place differs from the classic layout, where it does.
    std::string_view Departure = {};
};

struct PageLayout {
    std::string_view Name;
    std::string_view Caption;
    int HelpContext;  // the page's Tag: its topic in the help
};
inline constexpr std::array<PageLayout, 6> kDialogPages{{
    {"tsJokes", N_("Joke File Selection"), 1000},
    {"TabSheet1", N_("Background"), 6000},
    {"tsQuestions", N_("Questions"), 2000},
    {"tsAnswers", N_("Answers"), 3000},
    {"tsSpeed", N_("Speed"), 4000},
    {"tsAbout", N_("About this Screen Saver"), 5000},
}};
// The dialog's own topic, for F1.
inline constexpr int kFormHelpContext = 100;

// Every control, the form's first, then each page's in tab order (controls without a
// tab stop sit beside the one they label or hold).
std::span<const ControlLayout> DialogControls();
// The control of that name, or nullptr.
const ControlLayout* FindControl(std::string_view name);
// The index of the page of that name in kDialogPages, or -1.
int PageIndex(std::string_view name);

// Where control sits in its page (or the form): a control inside a panel is moved by
// the panel's place.
LayoutRect PlaceInPage(const ControlLayout& control);
// The place of item index of a radio group, relative to the group.
LayoutRect RadioItemPlace(const ControlLayout& group, int index);

// A length at kLayoutDpi scaled to dpi, rounded to the nearest pixel.
int ScaleToDpi(int pixels, int dpi);
// A place scaled by its edges, so that controls that meet at 96 dpi meet at any DPI.
LayoutRect ScaleToDpi(const LayoutRect& place, int dpi);

}  // namespace quipix
