// TShadowLabel: text over its own shadow.
#include "qt/widgets/shadow_label.h"

#include <QPainter>

#include "qt/widgets/color_button.h"
#include "config/sys_colors.h"

namespace quipix {

TShadowLabel::TShadowLabel(QWidget* parent) : QLabel(parent), shadow_(syscolor::BtnShadow) {}

void TShadowLabel::SetFontColor(const QColor& color) {
    fontColor_ = color;
    update();
}

void TShadowLabel::SetShadowDepth(int depth) {
    depth_ = depth < 0 ? 0 : depth;
    update();
}

void TShadowLabel::SetShadowColor(TColor color) {
    shadow_ = color;
    update();
}

void TShadowLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    // The face keeps the shadow's room on its right and bottom, so both wrap alike.
    const QRect face = contentsRect().adjusted(0, 0, -depth_, -depth_);
    const int flags = int(alignment()) | (wordWrap() ? int(Qt::TextWordWrap) : 0);
    painter.setPen(ToQColor(shadow_));
    painter.drawText(face.translated(depth_, depth_), flags, text());
    painter.setPen(fontColor_);
    painter.drawText(face, flags, text());
}

}  // namespace quipix
