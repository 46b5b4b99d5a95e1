// TFileListBox: the plain files of one folder that match a mask, sorted by name
// without regard to case, with single selection.
#pragma once

#include <QListWidget>
#include <QString>

namespace quipix {

class TFileListBox : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(QString Mask READ Mask WRITE SetMask)
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)

public:
    explicit TFileListBox(QWidget* parent = nullptr);

    // Patterns separated by ";", e.g. "*.txt" or "*.bmp;*.dib".
    QString Mask() const { return mask_; }
    void SetMask(const QString& mask);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);

    // The current folder, without a trailing separator (except at the root).
    QString Directory() const { return directory_; }
    // Switches to folder; throws std::runtime_error when it does not exist.
    void SetDirectory(const QString& folder);

    // The full path of the selected file, or an empty string.
    QString FileName() const;
    // A folder switches the list to it; a wildcard name sets the mask (and the
    // folder, when one is given); a plain name selects that file. Throws
    // std::runtime_error when the folder or the file does not exist.
    void SetFileName(const QString& path);

    int ItemIndex() const;
    void SetItemIndex(int index);  // -1 clears the selection
    // The row whose text equals name without regard to case, or -1.
    int IndexOf(const QString& name) const;

    // Reads the folder again.
    void Update();

private:
    QString mask_ = QStringLiteral("*.*");
    QString directory_;
    int itemHeight_ = 18;
};

}  // namespace quipix
