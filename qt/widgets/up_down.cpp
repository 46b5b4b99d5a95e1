// TUpDown: arrow buttons driving a number in an edit.
#include "qt/widgets/up_down.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace quipix {

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setObjectName(QStringLiteral("up"));
    down_->setObjectName(QStringLiteral("down"));
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] {
        StepBy(1);
        emit Click();
    });
    connect(down_, &QToolButton::clicked, this, [this] {
        StepBy(-1);
        emit Click();
    });
    setFocusPolicy(Qt::NoFocus);
}

void TUpDown::SetMin(int min) {
    min_ = min;
    if (max_ < min_) max_ = min_;
    SetPosition(position_);
}

void TUpDown::SetMax(int max) {
    max_ = max;
    if (min_ > max_) min_ = max_;
    SetPosition(position_);
}

void TUpDown::SetAssociate(QLineEdit* edit) {
    if (associate_) associate_->removeEventFilter(this);
    associate_ = edit;
    if (associate_) {
        associate_->installEventFilter(this);
        Show();
    }
}

int TUpDown::Position() const {
    if (associate_) {
        bool ok = false;
        const int typed = associate_->text().trimmed().toInt(&ok);
        if (ok && typed >= min_ && typed <= max_) position_ = typed;
    }
    return position_;
}

void TUpDown::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    Show();
}

void TUpDown::StepBy(int steps) {
    const long long next = (long long)Position() + (long long)steps * increment_;
    if (next > max_) {
        SetPosition(wrap_ ? min_ : max_);
    } else if (next < min_) {
        SetPosition(wrap_ ? max_ : min_);
    } else {
        SetPosition(int(next));
    }
}

void TUpDown::Show() {
    if (!associate_) return;
    const QString text = QString::number(position_);
    if (associate_->text() != text) associate_->setText(text);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == associate_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepBy(key == Qt::Key_Up ? 1 : -1);
            emit Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace quipix
