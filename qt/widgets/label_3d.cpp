// TLabel3d: raised text.
#include "qt/widgets/label_3d.h"

#include <QPainter>

#include "qt/widgets/color_button.h"
#include "config/sys_colors.h"

namespace quipix {

TLabel3d::TLabel3d(QWidget* parent)
    : QLabel(parent), highlight_(syscolor::BtnHighlight), shadow_(syscolor::BtnShadow) {}

void TLabel3d::SetFontColor(const QColor& color) {
    fontColor_ = color;
    update();
}

void TLabel3d::SetHighlightColor(TColor color) {
    highlight_ = color;
    update();
}

void TLabel3d::SetShadowColor(TColor color) {
    shadow_ = color;
    update();
}

void TLabel3d::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    const QRect area = contentsRect().adjusted(1, 1, -1, -1);
    const int flags = int(alignment()) | (wordWrap() ? int(Qt::TextWordWrap) : 0);
    painter.setPen(ToQColor(highlight_));
    painter.drawText(area.translated(-1, -1), flags, text());
    painter.setPen(ToQColor(shadow_));
    painter.drawText(area.translated(1, 1), flags, text());
    painter.setPen(isEnabled() ? fontColor_ : palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, flags, text());
}

}  // namespace quipix
