// TFontComboBox: a sorted drop-down list of the installed font families; with
// ftTrueType only scalable (outline) families, which is what TrueType-only meant.
#pragma once

#include <QComboBox>
#include <QString>

namespace quipix {

class TFontComboBox : public QComboBox {
    Q_OBJECT

public:
    enum TFontType { ftAll, ftTrueType };

    explicit TFontComboBox(QWidget* parent = nullptr);

    TFontType FontType() const { return fontType_; }
    void SetFontType(TFontType type);

    // The selected family, or an empty string when none is selected.
    QString FontName() const;
    // Selects the family of that name without regard to case, or clears the
    // selection when there is none. A name the font system serves through an alias
    // (Arial served by a metric-compatible family, say) is kept as it is written,
    // so the stored face survives a round trip through the dialog.
    void SetFontName(const QString& name);

signals:
    // The user picked a family.
    void OnChange();

private:
    void Populate();
    bool IsServedAlias(const QString& name) const;

    TFontType fontType_ = ftTrueType;
};

}  // namespace quipix
