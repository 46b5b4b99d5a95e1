// TFileListBox: a folder's files filtered by a mask.
#include "qt/widgets/file_list_box.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace quipix {

namespace {

QString WithoutTrailingSeparator(QString folder) {
    folder = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    while (folder.size() > 1 && folder.endsWith(u'/')) folder.chop(1);
    return folder;
}

bool HasWildcard(const QString& name) { return name.contains(u'*') || name.contains(u'?'); }

}  // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    directory_ = WithoutTrailingSeparator(QDir::currentPath());
    Update();
}

void TFileListBox::SetMask(const QString& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    Update();
}

void TFileListBox::SetItemHeight(int height) {
    itemHeight_ = height;
    Update();
}

void TFileListBox::SetDirectory(const QString& folder) {
    QString clean = WithoutTrailingSeparator(QDir(directory_).absoluteFilePath(folder));
    if (folder.isEmpty() || !QFileInfo(clean).isDir())
        throw std::runtime_error("The folder does not exist: " + folder.toStdString());
    if (clean == directory_) return;
    directory_ = clean;
    Update();
}

QString TFileListBox::FileName() const {
    int row = ItemIndex();
    if (row < 0) return {};
    return QDir(directory_).filePath(item(row)->text());
}

void TFileListBox::SetFileName(const QString& path) {
    if (path.isEmpty()) {
        SetItemIndex(-1);
        return;
    }
    QString clean = QDir::fromNativeSeparators(path);
    if (QFileInfo(QDir(directory_).absoluteFilePath(clean)).isDir()) {
        SetDirectory(clean);
        return;
    }
    int slash = clean.lastIndexOf(u'/');
    QString folder = slash < 0 ? QString() : clean.left(slash + 1);
    QString name = clean.mid(slash + 1);
    if (!folder.isEmpty()) SetDirectory(folder);
    if (HasWildcard(name)) {
        SetMask(name);
        return;
    }
    int row = IndexOf(name);
    if (row < 0) throw std::runtime_error("The file does not exist: " + path.toStdString());
    SetItemIndex(row);
}

int TFileListBox::ItemIndex() const {
    QListWidgetItem* current = currentItem();
    return current && current->isSelected() ? row(current) : -1;
}

void TFileListBox::SetItemIndex(int index) {
    if (index < 0 || index >= count()) {
        clearSelection();
        setCurrentRow(-1);
        return;
    }
    setCurrentRow(index);
    scrollToItem(item(index));
}

int TFileListBox::IndexOf(const QString& name) const {
    for (int i = 0; i < count(); ++i)
        if (item(i)->text().compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

void TFileListBox::Update() {
    QStringList patterns;
    for (const QString& part : mask_.split(u';', Qt::SkipEmptyParts)) {
        QString p = part.trimmed();
        // On Windows "*.*" also matches names without a dot.
        if (p == QLatin1String("*.*")) p = QStringLiteral("*");
        if (!p.isEmpty()) patterns << p;
    }
    QDir dir(directory_);
    const QStringList names =
        dir.entryList(patterns, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    clear();
    for (const QString& name : names) {
        auto* entry = new QListWidgetItem(name, this);
        entry->setSizeHint(QSize(0, itemHeight_));
    }
    SetItemIndex(-1);
}

}  // namespace quipix
