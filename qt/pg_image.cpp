// TPGImage converts its picture to RGB32 only while painting, and only the area being
// repainted, so changes that come faster than the screen's frames are converted once.
#include "qt/pg_image.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <array>

#include "imaging/canvas.h"

namespace quipix {

void ConvertPixelGraphicArea(const TPixelGraphic& picture, QImage& display, int left, int top, int right,
                             int bottom) {
    const int w = picture.Empty() ? 0 : picture.Width();
    const int h = picture.Empty() ? 0 : picture.Height();
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
    PaletteTable table{};
    if (picture.PixelFormat() != pgpf24Bit) MakePaletteTable(picture, table);
    ConvertPixelGraphicRows(picture, table, left, right, top, bottom,
                            display.scanLine(top) + std::size_t(left) * 4,
                            std::size_t(display.bytesPerLine()));
}

void PaintFrameArea(QPainter& painter, const TSceneFrame& frame, const QRect& area, QImage& band) {
    if (area.isEmpty()) return;
    // Bands of about 256 KiB: small enough to stay in the cache between the
    // conversion and the copy to the window.
    const int rows = std::clamp(int((256 * 1024) / (std::int64_t(area.width()) * 4)), 1, 64);
    if (band.width() < area.width() || band.height() < rows || band.format() != QImage::Format_RGB32)
        band = QImage(std::max(area.width(), band.width()), rows, QImage::Format_RGB32);
    for (int y = area.top(); y <= area.bottom(); y += rows) {
        const int n = std::min(rows, area.bottom() + 1 - y);
        ConvertFrameRows(frame, {area.left(), y, area.right() + 1, y + n}, band.bits(),
                         std::size_t(band.bytesPerLine()));
        painter.drawImage(QPoint(area.left(), y), band, QRect(0, 0, area.width(), n));
    }
}

void PaintPictureArea(QPainter& painter, const TPixelGraphic& picture, const QRect& area, QImage& band) {
    const QRect r = area & QRect(0, 0, picture.Empty() ? 0 : picture.Width(), picture.Height());
    PaintFrameArea(painter, TSceneFrame{&picture}, r, band);
}

TPGImage::TPGImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel itself
    setMouseTracking(true);                 // moves without a button are passed on too
}

TPGImage::~TPGImage() {
    if (picture_) picture_->OnChange = nullptr;
}

QColor TPGImage::Color() const { return color_.isValid() ? color_ : palette().color(QPalette::Window); }

void TPGImage::SetColor(const QColor& color) {
    color_ = color;
    Invalidate(QRect());
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
    Invalidate(QRect());
}

QImage TPGImage::DisplayImage() const {
    QImage display;
    if (picture_) ConvertPixelGraphicArea(*picture_, display, 0, 0, picture_->Width(), picture_->Height());
    return display;
}

void TPGImage::PictureChanged(TPixelGraphic& sender) {
    const auto& c = sender.LastChange();
    if (c.Left == 0 && c.Top == 0 && c.Right == sender.Width() && c.Bottom == sender.Height()) {
        Invalidate(QRect());  // the whole picture, perhaps at a new size
        return;
    }
    const QRect area(QPoint(c.Left, c.Top), QPoint(c.Right - 1, c.Bottom - 1));
    if (!area.isEmpty()) Invalidate(area);
}

void TPGImage::Invalidate(const QRect& area) {
    if (area.isNull())
        update();
    else
        update(area);
}

void TPGImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect pictureRect =
        picture_ && !picture_->Empty() ? QRect(0, 0, picture_->Width(), picture_->Height()) : QRect();
    const QColor fill = Color();
    for (const QRect& r : event->region())
        if (picture_) PaintPictureArea(painter, *picture_, r, band_);
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
