// TUpDown: a pair of arrow buttons attached to an edit, as the Windows up-down
// control: it writes its position into the edit, and reads the edit's text back
// when asked, keeping its last position when the text is no number in range.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace quipix {

class TUpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Increment READ Increment WRITE SetIncrement)
    Q_PROPERTY(bool Wrap READ Wrap WRITE SetWrap)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return min_; }
    void SetMin(int min);
    int Max() const { return max_; }
    void SetMax(int max);
    int Increment() const { return increment_; }
    void SetIncrement(int increment) { increment_ = increment; }
    bool Wrap() const { return wrap_; }
    void SetWrap(bool wrap) { wrap_ = wrap; }

    // The edit the position shows in; its Up and Down keys step the position.
    void SetAssociate(QLineEdit* edit);
    QLineEdit* Associate() const { return associate_; }

    int Position() const;
    // Clamped to Min..Max; shows in the associate.
    void SetPosition(int position);
    // Moves by steps increments, stopping at the ends unless Wrap is set.
    void StepBy(int steps);

signals:
    // The user moved the position with the arrows or the keys.
    void Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Show();

    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
    bool wrap_ = false;
    mutable int position_ = 0;
    QPointer<QLineEdit> associate_;
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace quipix
