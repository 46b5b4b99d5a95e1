// The dialog's control table: every control sits inside what holds it, tab stops
// run in table order, spinners hold on to an edit beside them, radio items fall where
// both views put them, and places scale to another DPI without gaps.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "config/dialog_layout.h"

namespace quipix {
namespace {

bool Inside(const LayoutRect& inner, const LayoutRect& outer) {
    return inner.X >= 0 && inner.Y >= 0 && inner.Right() <= outer.Width && inner.Bottom() <= outer.Height;
}

TEST(DialogLayout, EveryControlSitsInsideItsParentAndTabsRunInTableOrder) {
    const LayoutRect form{0, 0, kDialogClientWidth, kDialogClientHeight};
    const ControlLayout* pages = FindControl("Pages");
    ASSERT_NE(pages, nullptr);
    std::set<std::string_view> names;
    std::map<std::string_view, int> lastTab;
    for (const ControlLayout& c : DialogControls()) {
        EXPECT_TRUE(names.insert(c.Name).second) << "twice: " << c.Name;
        const ControlLayout* parent = FindControl(c.Parent);
        if (c.Parent.empty()) {
            EXPECT_TRUE(Inside(c.Place, form)) << c.Name;
        } else if (PageIndex(c.Parent) >= 0) {
            // A page is the page control less its tab strip.
            EXPECT_TRUE(Inside(c.Place, pages->Place)) << c.Name;
        } else {
            ASSERT_NE(parent, nullptr) << c.Name << " in " << c.Parent;
            EXPECT_EQ(parent->Kind, ControlKind::Panel) << c.Name;
            EXPECT_TRUE(Inside(c.Place, parent->Place)) << c.Name;
            EXPECT_EQ(PlaceInPage(c).X, parent->Place.X + c.Place.X) << c.Name;
        }
        if (c.Tab >= 0) {
            auto [last, first] = lastTab.emplace(c.Parent, c.Tab);
            if (!first) {
                EXPECT_GT(c.Tab, last->second) << c.Name;
            }
            last->second = c.Tab;
        }
        if (c.Kind == ControlKind::UpDown) {
            // The spinner sits at the right edge of its edit, on the same page.
            const ControlLayout* edit = FindControl(c.Associate);
            ASSERT_NE(edit, nullptr) << c.Name;
            EXPECT_EQ(edit->Kind, ControlKind::Edit);
            EXPECT_EQ(edit->Parent, c.Parent);
            EXPECT_EQ(edit->Place.Right(), c.Place.X) << c.Name;
        }
        if (c.Kind == ControlKind::RadioGroup) {
            ASSERT_NE(c.Radio, nullptr) << c.Name;
            for (int i = 0; i < int(c.Radio->Items.size()); ++i)
                EXPECT_TRUE(Inside(RadioItemPlace(c, i), c.Place)) << c.Name << " item " << i;
        }
    }
    for (const PageLayout& page : kDialogPages) EXPECT_EQ(lastTab.count(page.Name), 1u) << page.Name;
}

TEST(DialogLayout, NoControlCoversAnotherOfItsParent) {
    // Where the layout overlaps on purpose: the palette screens' warning stands where the
    // text speeds are hidden, the effects' track bar shares its tick row with the
    // answers', and the count's edit covers the last pixel of its check box.
    const std::set<std::pair<std::string_view, std::string_view>> meant = {
        {"tbQ", "laColors"}, {"tbA", "laColors"}, {"tbA", "tbF"}, {"cbRandom", "edRand"}};
    const auto controls = DialogControls();
    for (auto a = controls.begin(); a != controls.end(); ++a)
        for (auto b = a + 1; b != controls.end(); ++b) {
            const LayoutRect &p = a->Place, &q = b->Place;
            const bool overlap = a->Parent == b->Parent && p.X < q.Right() && q.X < p.Right() &&
                                 p.Y < q.Bottom() && q.Y < p.Bottom();
            EXPECT_EQ(overlap, meant.count({a->Name, b->Name}) == 1) << a->Name << " and " << b->Name;
        }
}

TEST(DialogLayout, RadioItemsFallInRowsThenColumns) {
    const struct {
        const char* group;
        int index;
        LayoutRect place;
    } cases[] = {
        {"rgBackType", 0, {8, 16, 105, 17}},
        {"rgBackType", 2, {8, 96, 105, 17}},
        {"rgFadeMode", 0, {80, 2, 200, 17}},
        {"rgFadeMode", 1, {280, 2, 200, 17}},
    };
    for (const auto& c : cases) {
        const ControlLayout* group = FindControl(c.group);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(RadioItemPlace(*group, c.index), c.place) << c.group << " " << c.index;
    }
}

TEST(DialogLayout, PlacesScaleByTheirEdges) {
    const struct {
        int pixels, dpi, scaled;
    } lengths[] = {{534, 144, 801}, {288, 144, 432}, {229, 144, 344}, {17, 120, 21},
                   {-3, 144, -5},   {12, 96, 12},    {12, 192, 24}};
    for (const auto& l : lengths)
        EXPECT_EQ(ScaleToDpi(l.pixels, l.dpi), l.scaled) << l.pixels << " " << l.dpi;
    // edRand and udRand meet at 96 dpi and still meet at 144.
    const LayoutRect edit = ScaleToDpi(FindControl("edRand")->Place, 144);
    const LayoutRect spin = ScaleToDpi(FindControl("udRand")->Place, 144);
    EXPECT_EQ(edit.Right(), spin.X);
    EXPECT_EQ(spin, (LayoutRect{650, 212, 22, 34}));
    EXPECT_EQ(ScaleToDpi(LayoutRect{0, 0, kDialogClientWidth, kDialogClientHeight}, 144),
              (LayoutRect{0, 0, 801, 432}));
}

}  // namespace
}  // namespace quipix
