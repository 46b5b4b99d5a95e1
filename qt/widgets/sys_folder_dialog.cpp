// TSysFolderDialog: a directory-mode file dialog.
#include "qt/widgets/sys_folder_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace quipix {

TSysFolderDialog::TSysFolderDialog(QObject* parent) : QObject(parent) {}

QString TSysFolderDialog::FolderPath(const QString& chosen) {
    if (chosen.isEmpty()) return {};
    // A chooser may hand back a URL; only local folders have a path.
    QString path = chosen;
    if (path.contains(QLatin1String("://"))) {
        QUrl url(path);
        if (!url.isLocalFile()) return {};
        path = url.toLocalFile();
    }
    QFileInfo info(path);
    if (!info.isAbsolute() || !info.isDir()) return {};
    path = QDir::cleanPath(info.absoluteFilePath());
    if (!path.endsWith(u'/')) path += u'/';
    return path;
}

bool TSysFolderDialog::Execute(QWidget* parent) {
    QFileDialog dialog(parent, Title);
    dialog.setObjectName(QStringLiteral("folderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(InitialDir.isEmpty() ? QDir::rootPath() : InitialDir);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    directory_ = FolderPath(chosen.isEmpty() ? QString() : chosen.first());
    return true;
}

}  // namespace quipix
