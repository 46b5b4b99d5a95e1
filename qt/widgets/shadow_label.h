// TShadowLabel: a label with a drop shadow ShadowDepth pixels down and right.
#pragma once

#include <QColor>
#include <QLabel>

#include "common/settings.h"

namespace quipix {

class TShadowLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(int ShadowDepth READ ShadowDepth WRITE SetShadowDepth)

public:
    explicit TShadowLabel(QWidget* parent = nullptr);

    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& color);
    int ShadowDepth() const { return depth_; }
    void SetShadowDepth(int depth);
    TColor ShadowColor() const { return shadow_; }
    void SetShadowColor(TColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fontColor_ = Qt::black;
    int depth_ = 2;
    TColor shadow_;
};

}  // namespace quipix
