// TPGImage: a widget that shows its own copy of a TPixelGraphic 1:1 at its top-left
// corner, the rest filled with Color, and repaints only what the copy reports as
// changed. It keeps no display image of its own: what a repaint needs is converted
// band by band while painting, so a change costs nothing until it is painted and a
// full-screen picture is not held twice. Mouse presses, moves and releases are passed on as signals; the control
// itself does nothing with the mouse.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

#include "imaging/pixel_graphic.h"
#include "saver/scene_frame.h"

namespace quipix {

// Converts the area (right and bottom exclusive) of picture into display, an RGB32
// image that is first made the picture's size when it is not (then all of it is
// converted). An empty picture gives a null image.
void ConvertPixelGraphicArea(const TPixelGraphic& picture, QImage& display, int left, int top, int right,
                             int bottom);

// Paints area of frame (in window pixels) at the same place through painter, in
// bands of a few rows converted into band (RGB32), which keeps its memory between calls.
void PaintFrameArea(QPainter& painter, const TSceneFrame& frame, const QRect& area, QImage& band);
// The same for a picture shown 1:1 at the top-left corner; outside it nothing is painted.
void PaintPictureArea(QPainter& painter, const TPixelGraphic& picture, const QRect& area, QImage& band);

class TPGImage : public QWidget {
    Q_OBJECT
public:
    explicit TPGImage(QWidget* parent = nullptr);
    ~TPGImage() override;

    // Takes a copy of source (CopyPicture) and shows it; nullptr shows no picture.
    // Later changes to source do not reach the control.
    void SetPixelGraphic(const TPixelGraphic* source);
    // The control's own copy (nullptr before a picture is handed over). The caller may
    // draw on it; the control stays its owner and repaints what changes.
    TPixelGraphic* PixelGraphic() const { return picture_.get(); }

    // Fill of the area the picture does not cover; invalid means the palette's window
    // colour.
    QColor Color() const;
    void SetColor(const QColor& color);

    // The picture as a repaint shows it, converted afresh; for tests.
    QImage DisplayImage() const;

signals:
    void mouseDown(QPoint pos, Qt::MouseButton button);
    void mouseMove(QPoint pos);
    void mouseUp(QPoint pos, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void PictureChanged(TPixelGraphic& sender);

    std::unique_ptr<TPixelGraphic> picture_;
    QImage band_;  // Format_RGB32, a few rows of the picture's width
    QColor color_;

protected:
    // Asks for a repaint of area (in picture pixels), or of everything when it is null.
    virtual void Invalidate(const QRect& area);
};

}  // namespace quipix
