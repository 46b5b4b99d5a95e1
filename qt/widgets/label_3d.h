// TLabel3d: a label whose text is drawn three times, a highlight copy one pixel up
// and left, a shadow copy one pixel down and right, and the face on top.
#pragma once

#include <QColor>
#include <QLabel>

#include "common/settings.h"

namespace quipix {

class TLabel3d : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)

public:
    explicit TLabel3d(QWidget* parent = nullptr);

    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& color);
    // Windows colours; system-colour constants follow the current system colours.
    TColor HighlightColor() const { return highlight_; }
    void SetHighlightColor(TColor color);
    TColor ShadowColor() const { return shadow_; }
    void SetShadowColor(TColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fontColor_ = Qt::black;
    TColor highlight_;
    TColor shadow_;
};

}  // namespace quipix
