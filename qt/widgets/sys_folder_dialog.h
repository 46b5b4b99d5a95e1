// TSysFolderDialog: the folder browser. Runs a directory chooser and gives the
// chosen folder with a trailing separator, or nothing when the choice has no path.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace quipix {

class TSysFolderDialog : public QObject {
    Q_OBJECT

public:
    explicit TSysFolderDialog(QObject* parent = nullptr);

    QString Title;
    // The folder the browser opens on; empty opens on the file-system root.
    QString InitialDir;

    // Runs the browser; true when the user confirmed a choice.
    bool Execute(QWidget* parent);
    // The confirmed folder with a trailing separator, or an empty string when the
    // chosen item has no file-system path.
    QString Directory() const { return directory_; }

    // The rule Directory follows, from what the chooser returned.
    static QString FolderPath(const QString& chosen);

private:
    QString directory_;
};

}  // namespace quipix
