// TColorButton: shows its colour; a click drops down a palette of colours and an
// entry that opens the colour dialog for any other colour.
#pragma once

#include <QPushButton>
#include <QString>
#include <vector>

#include "common/settings.h"
#include "config/sys_colors.h"

class QMenu;

namespace quipix {

class TColorButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString ButtonCaption READ ButtonCaption WRITE SetButtonCaption)

public:
    using PaletteEntry = syscolor::PaletteEntry;
    // The drop-down's colours: sixteen plain colours, then system colours.
    static const std::vector<PaletteEntry>& PaletteColors();

    explicit TColorButton(QWidget* parent = nullptr);

    // A Windows colour value; a system-colour constant stays a constant.
    TColor Value() const { return value_; }
    // A different value repaints the button and fires OnChange.
    void SetValue(TColor value);
    // The colour as shown: a system-colour constant resolved to its current colour.
    QColor ShownColor() const;

    QString ButtonCaption() const { return buttonCaption_; }
    void SetButtonCaption(const QString& caption);

    // The drop-down menu (for keyboard users and tests).
    QMenu* DropDown() const { return menu_; }
    // Opens the colour dialog on the current colour; a confirmed choice becomes Value.
    void ChooseOther();

signals:
    void OnChange();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowDropDown();
    void BuildMenu();

    TColor value_ = 0;
    QString buttonCaption_ = QStringLiteral("&Other...");
    QMenu* menu_ = nullptr;
};

QColor ToQColor(TColor color);  // resolves system-colour constants
TColor FromQColor(const QColor& color);

}  // namespace quipix
