// The GDI text engine. The lines come from our own split (the same explicit breaks as
// every engine); DrawTextW wraps each of them at word boundaries and centres its
// lines, as the text call the program was designed around. Every line is the font's
// full height (tmHeight, no external leading).
//
// Coverage is drawn white on black with greyscale antialiasing (not ClearType, whose
// colour fringes would not be a coverage) into a DIB section and read back from one
// channel.
#include "imaging/text_engine.h"

namespace {
// canvas.h gives the flags Windows' own numbers; windows.h below turns the names into
// macros, so they are taken here first and compared after.
constexpr unsigned kCanvasFlags[] = {quipix::DT_CENTER, quipix::DT_WORDBREAK, quipix::DT_SINGLELINE,
                                     quipix::DT_CALCRECT, quipix::DT_NOPREFIX};
}  // namespace

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "win32/gdi_text_engine.h"

static_assert(kCanvasFlags[0] == DT_CENTER && kCanvasFlags[1] == DT_WORDBREAK &&
              kCanvasFlags[2] == DT_SINGLELINE && kCanvasFlags[3] == DT_CALCRECT &&
              kCanvasFlags[4] == DT_NOPREFIX);
static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace quipix {

namespace {

// Far beyond any screen, small enough that pixel arithmetic stays in int.
constexpr long long kMaxFontPixels = 8192;
// The largest scratch bitmap: a text block of a very large screen.
constexpr long long kMaxBitmapBytes = 256LL << 20;

struct FontDeleter {
    void operator()(HFONT f) const { DeleteObject(f); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct Line {
    std::u16string text;  // empty: a blank line, nothing to draw
    int top = 0;
    int height = 0;  // a whole number of text lines once wrapped
};

int TextLength(const std::u16string& s) { return int(std::min<std::size_t>(s.size(), INT_MAX)); }

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// Selects an object into a DC for one scope, so that nothing of ours is still selected
// when it is deleted.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selection() { SelectObject(dc_, old_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

class GdiTextEngine final : public CachingTextEngine {
public:
    explicit GdiTextEngine(int dpi) : dpi_(dpi), dc_(CreateCompatibleDC(nullptr)) {
        if (dc_) {
            SetBkMode(dc_, TRANSPARENT);
            SetTextColor(dc_, RGB(255, 255, 255));
        }
    }

    ~GdiTextEngine() override {
        if (bitmap_) {
            SelectObject(dc_, defaultBitmap_);
            DeleteObject(bitmap_);
        }
        if (dc_) DeleteDC(dc_);
    }

    GdiTextEngine(const GdiTextEngine&) = delete;
    GdiTextEngine& operator=(const GdiTextEngine&) = delete;

private:
    struct GdiLayout : Layout {
        FontHandle hfont;
        int lineHeight = 0;
        int overhang = 0;  // room around a line's advance for glyph bearings
        std::vector<Line> lines;
    };

    FontHandle MakeFont(const TPGFont& f) const {
        // Points at the engine's DPI, as the character height (a negative height).
        const long long points = std::min<long long>(std::llabs(f.Size), kMaxFontPixels);
        const long long px = std::clamp((points * dpi_ + 36) / 72, 1LL, kMaxFontPixels);
        LOGFONTW lf{};
        lf.lfHeight = -LONG(px);
        lf.lfWeight = f.Bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = f.Italic ? TRUE : FALSE;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfOutPrecision = OUT_TT_PRECIS;
        lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        lf.lfQuality = ANTIALIASED_QUALITY;
        lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
        const std::u16string face = DecodeText(f.Name);
        const std::size_t n = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
        std::memcpy(lf.lfFaceName, face.data(), n * sizeof(char16_t));
        return FontHandle(CreateFontIndirectW(&lf));
    }

    std::unique_ptr<Layout> BuildLayout(const TPGFont& font, std::string_view text, int width,
                                        unsigned flags) override {
        auto l = std::make_unique<GdiLayout>();
        l->hfont = MakeFont(font);
        if (!dc_ || !l->hfont) return l;  // no GDI: no text, rather than a failure per tick
        const Selection selected(dc_, l->hfont.get());
        TEXTMETRICW tm{};
        GetTextMetricsW(dc_, &tm);
        l->lineHeight = int(tm.tmHeight);
        l->overhang = (l->lineHeight + 3) / 4 + int(tm.tmOverhang);

        // Ampersands are always themselves: TextOut and TextWidth measure without
        // DT_NOPREFIX, and no caller wants a prefix underline.
        const unsigned calc = DT_CALCRECT | DT_NOPREFIX | DT_NOCLIP | flags;
        int top = 0;
        for (std::u16string& s : SplitTextLines(DecodeText(text), flags & DT_SINGLELINE)) {
            Line line{std::move(s), top, l->lineHeight};
            if (!line.text.empty()) {
                RECT r{0, 0, std::max(width, 0), 0};
                const int h = DrawTextW(dc_, Wide(line.text), TextLength(line.text), &r, calc);
                line.height = std::max(h, l->lineHeight);
                l->Extent.Width = std::max(l->Extent.Width, int(r.right - r.left));
            }
            // A text of millions of lines cannot overflow the running height.
            if (line.height > INT_MAX - top) break;
            top += line.height;
            l->lines.push_back(std::move(line));
        }
        l->Extent.Height = top;
        return l;
    }

    // Makes the scratch bitmap at least w x h; false when it cannot be had.
    bool Reserve(int w, int h) {
        if (bitmap_ && w <= bitmapWidth_ && h <= bitmapHeight_) return true;
        int bw = std::max(w, bitmapWidth_), bh = std::max(h, bitmapHeight_);
        if ((long long)bw * bh * 4 > kMaxBitmapBytes) bw = w, bh = h;  // a wide one, then a tall one
        if (!dc_ || (long long)bw * bh * 4 > kMaxBitmapBytes) return false;
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = bw;
        bmi.bmiHeader.biHeight = -bh;  // top-down: row 0 first
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP fresh = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!fresh || !bits) return false;
        HGDIOBJ old = SelectObject(dc_, fresh);
        if (bitmap_) {
            DeleteObject(bitmap_);
        } else {
            defaultBitmap_ = old;
        }
        bitmap_ = fresh;
        bits_ = static_cast<std::uint8_t*>(bits);
        bitmapWidth_ = bw;
        bitmapHeight_ = bh;
        return true;
    }

    std::shared_ptr<const TextMask> BuildMask(const Layout& layout, int width, int height,
                                              unsigned flags) override {
        const auto& l = static_cast<const GdiLayout&>(layout);
        auto mask = std::make_shared<TextMask>();
        height = std::min(height, l.Extent.Height);
        if (width <= 0 || height <= 0 || l.lines.empty() || !l.hfont) return mask;

        // Only the band of the rectangle that ink can reach is drawn: every line is
        // centred in the full width, or starts at its left edge.
        const long long inked = (long long)l.Extent.Width + 2LL * l.overhang;
        long long left = (flags & DT_CENTER) ? ((long long)width - l.Extent.Width) / 2 - l.overhang : 0;
        long long right = left + inked;
        left = std::max(left, 0LL);
        right = std::min<long long>(right, width);
        if (right <= left) return mask;
        const int bandLeft = int(left), bandWidth = int(right - left);
        if (!Reserve(bandWidth, height)) return mask;

        GdiFlush();
        const std::size_t stride = std::size_t(bitmapWidth_) * 4;
        for (int y = 0; y < height; ++y)
            std::memset(bits_ + std::size_t(y) * stride, 0, std::size_t(bandWidth) * 4);
        {
            const Selection selected(dc_, l.hfont.get());
            IntersectClipRect(dc_, 0, 0, bandWidth, height);
            const unsigned draw =
                DT_NOPREFIX | DT_NOCLIP | (flags & (DT_WORDBREAK | DT_SINGLELINE | DT_CENTER));
            for (const Line& line : l.lines) {
                if (line.top >= height) break;
                if (line.text.empty()) continue;
                RECT r{-bandLeft, line.top, width - bandLeft, line.top + line.height};
                DrawTextW(dc_, Wide(line.text), TextLength(line.text), &r, draw);
            }
            SelectClipRgn(dc_, nullptr);
        }
        GdiFlush();

        // The coverage is the green channel; the mask is trimmed to the inked box.
        int inkLeft = bandWidth, inkRight = 0, inkTop = height, inkBottom = 0;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = bits_ + std::size_t(y) * stride + 1;
            int a = 0, b = bandWidth;
            while (a < b && row[std::size_t(a) * 4] == 0) ++a;
            while (b > a && row[std::size_t(b - 1) * 4] == 0) --b;
            if (a == b) continue;
            inkLeft = std::min(inkLeft, a);
            inkRight = std::max(inkRight, b);
            inkTop = std::min(inkTop, y);
            inkBottom = y + 1;
        }
        if (inkRight <= inkLeft) return mask;

        mask->Left = bandLeft + inkLeft;
        mask->Top = inkTop;
        mask->Width = inkRight - inkLeft;
        mask->Height = inkBottom - inkTop;
        mask->Coverage.resize(std::size_t(mask->Width) * std::size_t(mask->Height));
        for (int y = 0; y < mask->Height; ++y) {
            const std::size_t sy = std::size_t(inkTop + y);
            const std::uint8_t* src = bits_ + sy * stride + std::size_t(inkLeft) * 4 + 1;
            std::uint8_t* dst = mask->Coverage.data() + std::size_t(y) * std::size_t(mask->Width);
            for (int x = 0; x < mask->Width; ++x) dst[x] = src[std::size_t(x) * 4];
        }
        FindSpans(*mask);
        return mask;
    }

    int dpi_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ defaultBitmap_ = nullptr;
    std::uint8_t* bits_ = nullptr;
    int bitmapWidth_ = 0, bitmapHeight_ = 0;
};

int ScreenDpi() {
    int dpi = 0;
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

// The installed engine: one GDI engine per DPI, the one of the window drawing now. A
// saver window over each monitor draws at that monitor's DPI; each DPI keeps its own
// layouts, so two monitors of different DPI never evict each other's.
class PerDpiTextEngine final : public TextEngine {
public:
    explicit PerDpiTextEngine(int dpi) : defaultDpi_(dpi), dpi_(dpi) {}

    TextExtent Measure(const TPGFont& font, std::string_view text, int width, unsigned flags) override {
        return Current().Measure(font, text, width, flags);
    }
    std::shared_ptr<const TextMask> Render(const TPGFont& font, std::string_view text, int width, int height,
                                           unsigned flags) override {
        return Current().Render(font, text, width, height, flags);
    }
    // Returns the DPI it replaces; 0 goes back to the engine's own.
    int UseDpi(int dpi) {
        const int previous = dpi_;
        dpi_ = dpi > 0 ? std::min(dpi, 4800) : defaultDpi_;
        return previous;
    }

private:
    // A handful of monitors at most; a DPI unused for longest goes first.
    static constexpr std::size_t kMaxEngines = 4;

    TextEngine& Current() {
        for (auto it = engines_.begin(); it != engines_.end(); ++it) {
            if (it->first != dpi_) continue;
            if (it != engines_.begin()) std::rotate(engines_.begin(), it, it + 1);
            return *engines_.front().second;
        }
        if (engines_.size() == kMaxEngines) engines_.pop_back();
        engines_.emplace(engines_.begin(), dpi_, std::make_unique<GdiTextEngine>(dpi_));
        return *engines_.front().second;
    }

    int defaultDpi_;
    int dpi_;
    std::vector<std::pair<int, std::unique_ptr<GdiTextEngine>>> engines_;
};

std::weak_ptr<PerDpiTextEngine>& InstalledEngine() {
    static std::weak_ptr<PerDpiTextEngine> engine;
    return engine;
}

}  // namespace

std::shared_ptr<TextEngine> MakeGdiTextEngine(int dpi) {
    return std::make_shared<GdiTextEngine>(dpi > 0 ? dpi : ScreenDpi());
}

void InstallGdiTextEngine(int dpi) {
    auto engine = std::make_shared<PerDpiTextEngine>(dpi > 0 ? dpi : ScreenDpi());
    InstalledEngine() = engine;
    SetTextEngine(std::move(engine));
}

ScopedTextDpi::ScopedTextDpi(int dpi) {
    const auto engine = InstalledEngine().lock();
    // Another engine installed since (a test's) is left as it is.
    if (!engine || engine.get() != CurrentTextEngine()) return;
    active_ = true;
    previous_ = engine->UseDpi(dpi);
}

ScopedTextDpi::~ScopedTextDpi() {
    if (!active_) return;
    if (const auto engine = InstalledEngine().lock()) engine->UseDpi(previous_);
}

}  // namespace quipix
