// TRadioGroupBox: radio items laid out in columns, with an item index and a click
// event. Frameless: the dialog's groups show only their items.
#pragma once

#include <QPoint>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QRadioButton;

namespace quipix {

class TRadioGroupBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int Columns READ Columns WRITE SetColumns)
    Q_PROPERTY(QPoint ItemOrigin READ ItemOrigin WRITE SetItemOrigin)
    Q_PROPERTY(int ItemSpacing READ ItemSpacing WRITE SetItemSpacing)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)

public:
    explicit TRadioGroupBox(QWidget* parent = nullptr);

    QStringList Items() const { return items_; }
    void SetItems(const QStringList& items);
    int Columns() const { return columns_; }
    void SetColumns(int columns);
    // Where the first item sits inside the group.
    QPoint ItemOrigin() const { return origin_; }
    void SetItemOrigin(const QPoint& origin);
    // Rows apart, in pixels; 0 spreads the rows over the group's height.
    int ItemSpacing() const { return spacing_; }
    void SetItemSpacing(int spacing);

    // The checked item, or -1. Setting pulls an index outside the items to the
    // nearest end (-1 or the last item).
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const;

signals:
    // The user clicked an item (mouse or keyboard).
    void Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Rebuild();
    void Arrange();

    QStringList items_;
    int columns_ = 1;
    QPoint origin_{0, 0};
    int spacing_ = 0;
    QButtonGroup* group_;
};

}  // namespace quipix
