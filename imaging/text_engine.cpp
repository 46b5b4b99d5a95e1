#include "imaging/text_engine.h"

#include <algorithm>

namespace quipix {

namespace {

std::shared_ptr<TextEngine>& EngineSlot() {
    static std::shared_ptr<TextEngine> engine;
    return engine;
}

// Windows-1252 code points for the bytes 0x80..0x9F; the rest is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Strict UTF-8: no overlong forms, no encoded surrogates, nothing past U+10FFFF, no
// sequence cut short. False leaves `out` half filled.
bool DecodeUtf8(std::string_view bytes, std::u16string& out) {
    std::size_t i = 0;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(char16_t(lead));
            ++i;
            continue;
        }
        int extra;
        char32_t cp, min;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - i <= std::size_t(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += std::size_t(extra) + 1;
    }
    return true;
}

}  // namespace

std::u16string DecodeText(std::string_view bytes) {
    std::u16string s;
    s.reserve(bytes.size());
    if (DecodeUtf8(bytes, s)) return s;
    s.clear();
    for (unsigned char c : bytes) s.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c));
    return s;
}

std::vector<std::u16string> SplitTextLines(std::u16string_view text, bool singleLine) {
    std::vector<std::u16string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c != u'\r' && c != u'\n') {
            lines.back().push_back(c);
        } else if (singleLine) {
            lines.back().push_back(u' ');
        } else {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            lines.emplace_back();
        }
    }
    if (!singleLine && lines.back().empty()) lines.pop_back();
    return lines;
}

namespace {

constexpr unsigned kLayoutFlags = DT_WORDBREAK | DT_SINGLELINE;
constexpr std::size_t kLayoutCacheSize = 8;
constexpr std::size_t kMaskCacheSize = 4;

// Compared field by field, so that a lookup builds no key (and allocates nothing).
bool SameShape(const TPGFont& a, const TPGFont& b) {
    return a.Size == b.Size && a.Bold == b.Bold && a.Italic == b.Italic && a.Name == b.Name;
}

}  // namespace

TextExtent CachingTextEngine::Measure(const TPGFont& font, std::string_view text, int width, unsigned flags) {
    return GetLayout(font, text, width, flags).Extent;
}

std::shared_ptr<const TextMask> CachingTextEngine::Render(const TPGFont& font, std::string_view text,
                                                          int width, int height, unsigned flags) {
    for (auto it = masks_.begin(); it != masks_.end(); ++it) {
        if (SameShape(it->font, font) && it->width == width && it->height == height && it->flags == flags &&
            it->text == text) {
            masks_.splice(masks_.begin(), masks_, it);
            return masks_.front().mask;
        }
    }
    auto mask = BuildMask(GetLayout(font, text, width, flags), width, height, flags);
    masks_.push_front({font, std::string(text), width, height, flags, mask});
    if (masks_.size() > kMaskCacheSize) masks_.pop_back();
    return mask;
}

const CachingTextEngine::Layout& CachingTextEngine::GetLayout(const TPGFont& font, std::string_view text,
                                                              int width, unsigned flags) {
    flags &= kLayoutFlags;
    if (!(flags & DT_WORDBREAK)) width = 0;
    for (auto it = layouts_.begin(); it != layouts_.end(); ++it) {
        const Layout& l = **it;
        if (SameShape(l.Font, font) && l.Width == width && l.Flags == flags && l.Text == text) {
            std::rotate(layouts_.begin(), it, it + 1);
            return *layouts_.front();
        }
    }
    std::unique_ptr<Layout> l = BuildLayout(font, text, width, flags);
    l->Font = font;
    l->Text = std::string(text);
    l->Width = width;
    l->Flags = flags;
    layouts_.push_front(std::move(l));
    if (layouts_.size() > kLayoutCacheSize) layouts_.pop_back();
    return *layouts_.front();
}

void CachingTextEngine::FindSpans(TextMask& mask) {
    mask.SpanStart.assign(std::size_t(mask.Height), 0);
    mask.SpanEnd.assign(std::size_t(mask.Height), 0);
    for (int y = 0; y < mask.Height; ++y) {
        const std::uint8_t* row = mask.Coverage.data() + std::size_t(y) * std::size_t(mask.Width);
        int a = 0, b = mask.Width;
        while (a < b && row[a] == 0) ++a;
        while (b > a && row[b - 1] == 0) --b;
        mask.SpanStart[std::size_t(y)] = a;
        mask.SpanEnd[std::size_t(y)] = b;
    }
}

void SetTextEngine(std::shared_ptr<TextEngine> engine) { EngineSlot() = std::move(engine); }

TextEngine* CurrentTextEngine() { return EngineSlot().get(); }

}  // namespace quipix
