// TRadioGroupBox: a group of radio items.
#include "qt/widgets/radio_group_box.h"

#include <QButtonGroup>
#include <QEvent>
#include <QRadioButton>
#include <algorithm>

namespace quipix {

TRadioGroupBox::TRadioGroupBox(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int) { emit Click(); });
}

void TRadioGroupBox::SetItems(const QStringList& items) {
    items_ = items;
    Rebuild();
}

void TRadioGroupBox::SetColumns(int columns) {
    columns_ = columns < 1 ? 1 : columns;
    Arrange();
}

void TRadioGroupBox::SetItemOrigin(const QPoint& origin) {
    origin_ = origin;
    Arrange();
}

void TRadioGroupBox::SetItemSpacing(int spacing) {
    spacing_ = spacing;
    Arrange();
}

int TRadioGroupBox::ItemIndex() const { return group_->checkedId(); }

void TRadioGroupBox::SetItemIndex(int index) {
    // Out-of-range indices are pulled to the nearest end, as the classic control does.
    index = std::clamp(index, -1, int(items_.size()) - 1);
    if (QRadioButton* button = Button(index)) {
        button->setChecked(true);
        return;
    }
    // No item checked: an exclusive group would refuse to uncheck its last button.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
    group_->setExclusive(true);
}

QRadioButton* TRadioGroupBox::Button(int index) const {
    return qobject_cast<QRadioButton*>(group_->button(index));
}

void TRadioGroupBox::Rebuild() {
    int checked = ItemIndex();
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    for (int i = 0; i < items_.size(); ++i) {
        auto* button = new QRadioButton(items_[i], this);
        button->setObjectName(QStringLiteral("item%1").arg(i));
        group_->addButton(button, i);
        button->show();
    }
    SetItemIndex(checked < items_.size() ? checked : -1);
    Arrange();
}

void TRadioGroupBox::Arrange() {
    const int count = int(items_.size());
    if (count == 0) return;
    const int rows = (count + columns_ - 1) / columns_;
    const int columnWidth = (width() - origin_.x()) / columns_;
    const int rowHeight = spacing_ > 0 ? spacing_ : (height() - origin_.y()) / rows;
    for (int i = 0; i < count; ++i) {
        QRadioButton* button = Button(i);
        // Items fill the rows of the first column before the next column starts.
        const int column = i / rows, row = i % rows;
        const int itemHeight = button->sizeHint().height();
        const int top = origin_.y() + row * rowHeight;
        button->setGeometry(origin_.x() + column * columnWidth, top,
                            std::max(columnWidth, button->sizeHint().width()), itemHeight);
    }
}

void TRadioGroupBox::resizeEvent(QResizeEvent*) { Arrange(); }

void TRadioGroupBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) Arrange();
    QWidget::changeEvent(event);
}

}  // namespace quipix
