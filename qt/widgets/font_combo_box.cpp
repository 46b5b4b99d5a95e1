// TFontComboBox: installed font families.
#include "qt/widgets/font_combo_box.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <algorithm>

namespace quipix {

TFontComboBox::TFontComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setMaxVisibleItems(16);
    Populate();
    connect(this, &QComboBox::activated, this, [this](int) { emit OnChange(); });
}

void TFontComboBox::SetFontType(TFontType type) {
    if (type == fontType_) return;
    QString current = FontName();
    fontType_ = type;
    Populate();
    SetFontName(current);
}

void TFontComboBox::Populate() {
    QStringList families;
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family)) continue;
        if (fontType_ == ftTrueType && !QFontDatabase::isScalable(family)) continue;
        families << family;
    }
    std::sort(families.begin(), families.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    families.removeDuplicates();
    clear();
    addItems(families);
    setCurrentIndex(-1);
}

QString TFontComboBox::FontName() const { return currentIndex() < 0 ? QString() : currentText(); }

bool TFontComboBox::IsServedAlias(const QString& name) const {
    // The font system answers every request with some family; a name it maps to its
    // last-resort fallback is unknown, one it maps elsewhere is a real alias.
    const QString served = QFontInfo(QFont(name)).family();
    const QString fallback = QFontInfo(QFont(QStringLiteral("quipix-no-such-family"))).family();
    if (served.compare(fallback, Qt::CaseInsensitive) == 0) return false;
    return findText(served, Qt::MatchFixedString) >= 0;
}

void TFontComboBox::SetFontName(const QString& name) {
    int index = name.isEmpty() ? -1 : findText(name, Qt::MatchFixedString);
    if (index < 0 && !name.isEmpty() && IsServedAlias(name)) {
        int at = 0;
        while (at < count() && itemText(at).compare(name, Qt::CaseInsensitive) < 0) ++at;
        insertItem(at, name);
        index = at;
    }
    setCurrentIndex(index);
}

}  // namespace quipix
