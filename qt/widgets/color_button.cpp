// TColorButton: colour value with a palette drop-down.
#include "qt/widgets/color_button.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolButton>
#include <QWidgetAction>

#include "common/background.h"
#include "config/sys_colors.h"

namespace quipix {

QColor ToQColor(TColor color) {
    PGColor c = ResolveColor(color);
    return QColor(PGRed(c), PGGreen(c), PGBlue(c));
}

TColor FromQColor(const QColor& color) { return TColor(PGRGB(color.red(), color.green(), color.blue())); }

const std::vector<TColorButton::PaletteEntry>& TColorButton::PaletteColors() {
    static const std::vector<PaletteEntry> colors(syscolor::kColorButtonPalette.begin(),
                                                  syscolor::kColorButtonPalette.end());
    return colors;
}

TColorButton::TColorButton(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    menu_ = new QMenu(this);
    BuildMenu();
    connect(this, &QPushButton::clicked, this, &TColorButton::ShowDropDown);
}

void TColorButton::BuildMenu() {
    menu_->clear();
    auto* grid = new QWidget(menu_);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    const auto& colors = PaletteColors();
    for (std::size_t i = 0; i < colors.size(); ++i) {
        auto* swatch = new QToolButton(grid);
        swatch->setObjectName(QStringLiteral("swatch%1").arg(i));
        swatch->setFixedSize(18, 18);
        swatch->setAutoRaise(true);
        swatch->setToolTip(QString::fromLatin1(colors[i].Name));
        QPixmap pixmap(12, 12);
        pixmap.fill(ToQColor(colors[i].Color));
        QPainter frame(&pixmap);
        frame.setPen(Qt::black);
        frame.drawRect(0, 0, 11, 11);
        frame.end();
        swatch->setIcon(QIcon(pixmap));
        TColor color = colors[i].Color;
        connect(swatch, &QToolButton::clicked, this, [this, color] {
            menu_->close();
            SetValue(color);
        });
        layout->addWidget(swatch, int(i / 8), int(i % 8));
    }
    auto* action = new QWidgetAction(menu_);
    action->setDefaultWidget(grid);
    menu_->addAction(action);
    menu_->addSeparator();
    QAction* other = menu_->addAction(buttonCaption_);
    other->setObjectName(QStringLiteral("otherAction"));
    connect(other, &QAction::triggered, this, &TColorButton::ChooseOther);
}

void TColorButton::SetButtonCaption(const QString& caption) {
    if (caption == buttonCaption_) return;
    buttonCaption_ = caption;
    BuildMenu();
}

void TColorButton::SetValue(TColor value) {
    if (value == value_) return;
    value_ = value;
    update();
    emit OnChange();
}

QColor TColorButton::ShownColor() const { return ToQColor(value_); }

void TColorButton::ShowDropDown() {
    // Swatches of system colours follow the current system colours.
    BuildMenu();
    menu_->popup(mapToGlobal(QPoint(0, height())));
}

void TColorButton::ChooseOther() {
    QColor chosen =
        QColorDialog::getColor(ShownColor(), window(), QString(), QColorDialog::DontUseNativeDialog);
    if (chosen.isValid()) SetValue(FromQColor(chosen));
}

void TColorButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    // The swatch on the left, the drop-down arrow on the right.
    const int arrowWidth = 12;
    QRect inner = rect().adjusted(5, 5, -5, -5);
    QRect swatch = inner.adjusted(0, 0, -arrowWidth - 2, 0);
    if (isDown()) swatch.translate(1, 1);
    painter.fillRect(swatch, isEnabled() ? ShownColor() : palette().color(QPalette::Button));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));

    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = QRect(inner.right() - arrowWidth + 1, inner.top(), arrowWidth, inner.height());
    painter.drawPrimitive(QStyle::PE_IndicatorArrowDown, arrow);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace quipix
