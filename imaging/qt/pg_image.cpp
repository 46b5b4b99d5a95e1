// TPGImage keeps a persistent RGB32 image of its picture and converts only the area
// that each change reports, so the saver's per-tick strip costs a strip, not a
// screen.
#include "imaging/qt/pg_image.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/canvas.h"

namespace quipix {

void ConvertPixelGraphicArea(const TPixelGraphic& picture, QImage& display, int left, int top,
                             int right, int bottom) {
    const TPixelGraphic* pic = &picture;
    const int w = pic->Empty() ? 0 : pic->Width();
    const int h = pic->Empty() ? 0 : pic->Height();
    if (display.width() != w || display.height() != h ||
        (w > 0 && display.format() != QImage::Format_RGB32)) {
        display = w > 0 && h > 0 ? QImage(w, h, QImage::Format_RGB32) : QImage();
        left = 0, top = 0, right = w, bottom = h;  // a new size needs everything
    }
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, w);
    bottom = std::min(bottom, h);
    if (right <= left || bottom <= top) return;

    const TPGPixelFormat format = pic->PixelFormat();
    if (format == pgpf24Bit) {
        // Blue, green, red in memory is already 0x00RRGGBB when read little-endian:
        // four pixels come from three 32-bit loads, or from one 16-byte load whose
        // pixels are moved one, two and three bytes up into their lanes.
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* s = pic->ScanLine(y) + std::size_t(left) * 3;
            auto* d = reinterpret_cast<QRgb*>(display.scanLine(y)) + left;
            int n = right - left;
#if defined(__SSE2__)
            const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
            const __m128i lane0 = _mm_setr_epi32(0xFFFFFF, 0, 0, 0);
            const __m128i lane1 = _mm_setr_epi32(0, 0xFFFFFF, 0, 0);
            const __m128i lane2 = _mm_setr_epi32(0, 0, 0xFFFFFF, 0);
            const __m128i lane3 = _mm_setr_epi32(0, 0, 0, 0xFFFFFF);
            // Six pixels left keep the 16-byte load inside the row.
            for (; n >= 6; n -= 4, s += 12, d += 4) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
                __m128i out = _mm_or_si128(_mm_and_si128(v, lane0),
                                           _mm_and_si128(_mm_slli_si128(v, 1), lane1));
                out = _mm_or_si128(out, _mm_and_si128(_mm_slli_si128(v, 2), lane2));
                out = _mm_or_si128(out, _mm_and_si128(_mm_slli_si128(v, 3), lane3));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(out, alpha));
            }
#endif
            for (; n >= 4; n -= 4, s += 12, d += 4) {
                std::uint32_t w[3];
                std::memcpy(w, s, 12);
                d[0] = 0xFF000000u | (w[0] & 0xFFFFFFu);
                d[1] = 0xFF000000u | (w[0] >> 24) | ((w[1] << 8) & 0xFFFF00u);
                d[2] = 0xFF000000u | (w[1] >> 16) | ((w[2] << 16) & 0xFF0000u);
                d[3] = 0xFF000000u | (w[2] >> 8);
            }
            for (; n > 0; --n, s += 3)
                *d++ = 0xFF000000u | (QRgb(s[2]) << 16) | (QRgb(s[1]) << 8) | QRgb(s[0]);
        }
        return;
    }
    // Palette pictures: values past the palette show entry 0, or black without one.
    std::array<QRgb, 256> lut{};
    const auto& entries = pic->Palette();
    const PGColor fallback = entries.empty() ? 0 : entries[0];
    for (std::size_t i = 0; i < lut.size(); ++i) {
        const PGColor c = i < entries.size() ? entries[i] : fallback;
        lut[i] = qRgb(PGRed(c), PGGreen(c), PGBlue(c));
    }
    for (int y = top; y < bottom; ++y) {
        const std::uint8_t* s = pic->ScanLine(y);
        auto* d = reinterpret_cast<QRgb*>(display.scanLine(y));
        switch (format) {
            case pgpf8Bit:
                for (int x = left; x < right; ++x) d[x] = lut[s[x]];
                break;
            case pgpf4Bit:
                for (int x = left; x < right; ++x)
                    d[x] = lut[(x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4)];
                break;
            case pgpf1Bit:
                for (int x = left; x < right; ++x) d[x] = lut[(s[x >> 3] >> (7 - (x & 7))) & 1];
                break;
            case pgpf24Bit:
                break;
        }
    }
}

void AdoptPictureCopy(std::unique_ptr<TPixelGraphic>& own, const TPixelGraphic& source) {
    if (!own) {
        own = std::make_unique<TPixelGraphic>();
        own->CopyPicture(&source);
        return;
    }
    if (own.get() == &source) return;
    TPixelGraphic& p = *own;
    TPixelGraphic::NotifyEvent onChange = std::move(p.OnChange);
    p.OnChange = nullptr;
    while (p.UpdateCount() > 0) p.EndUpdate();
    // What a new picture starts with and CopyPicture does not set.
    p.OnProgress = nullptr;
    p.OnProgressStartEvent = nullptr;
    p.OnProgressEndEvent = nullptr;
    p.FastDCT = false;
    p.Canvas().Font = TPGFont{};
    p.Canvas().Brush = TPGBrush{};
    p.CopyPicture(&source);
    p.OnChange = std::move(onChange);
}

TPGImage::TPGImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel itself
    setMouseTracking(true);                 // moves without a button are passed on too
}

TPGImage::~TPGImage() {
    if (picture_) picture_->OnChange = nullptr;
}

QColor TPGImage::Color() const {
    return color_.isValid() ? color_ : palette().color(QPalette::Window);
}

void TPGImage::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TPGImage::SetPixelGraphic(const TPixelGraphic* source) {
    if (!source) {
        if (picture_) picture_->OnChange = nullptr;
        picture_.reset();
    } else {
        // Our own copy is refilled in place; its handler is not called meanwhile, the
        // whole picture is converted once below.
        if (picture_) picture_->OnChange = nullptr;
        AdoptPictureCopy(picture_, *source);
        picture_->OnChange = [this](TPixelGraphic& sender) { PictureChanged(sender); };
    }
    // The display image is kept when the size stays, so a hand-over costs no allocation.
    if (picture_)
        ConvertPixelGraphicArea(*picture_, display_, 0, 0, picture_->Width(), picture_->Height());
    else
        display_ = QImage();
    update();
}

void TPGImage::PictureChanged(TPixelGraphic& sender) {
    const QSize before = display_.size();
    const auto& c = sender.LastChange();
    ConvertPixelGraphicArea(sender, display_, c.Left, c.Top, c.Right, c.Bottom);
    if (display_.size() != before) {
        update();
        return;
    }
    const QRect area = QRect(QPoint(c.Left, c.Top), QPoint(c.Right - 1, c.Bottom - 1)) &
                       QRect(QPoint(0, 0), display_.size());
    if (!area.isEmpty()) update(area);
}

void TPGImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect pictureRect(QPoint(0, 0), display_.size());
    const QColor fill = Color();
    for (const QRect& r : event->region()) {
        const QRect shown = r & pictureRect;
        if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), display_, shown);
    }
    for (const QRect& r : event->region() - QRegion(pictureRect)) painter.fillRect(r, fill);
}

void TPGImage::mousePressEvent(QMouseEvent* event) {
    emit mouseDown(event->position().toPoint(), event->button());
}

void TPGImage::mouseMoveEvent(QMouseEvent* event) { emit mouseMove(event->position().toPoint()); }

void TPGImage::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseUp(event->position().toPoint(), event->button());
}

}  // namespace quipix
