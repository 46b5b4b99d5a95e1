// TPGOpenDialog: the picture library's file-open dialog. Its filter is built from
// the registered readers, and a pane beside the file list previews the selected
// picture with the reader's information lines.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "imaging/pixel_graphic.h"

class QFileDialog;
class QWidget;

namespace quipix {

// The filter text from the registry in the form "description|patterns|…": all
// extensions together, one entry per reader sorted by extension, then all files.
QString PGDefaultFilter();
// Turns "description|patterns|…" into Qt name filters "description (patterns)",
// keeping the text as it is, semicolons included.
QStringList PGQtNameFilters(const QString& filter);
// The patterns a filter entry stands for: "*.bmp; *.dib" gives *.bmp and *.dib.
// Qt splits the patterns of a name filter at spaces only; "*.*" means every file.
QStringList PGFilterPatterns(const QString& nameFilter);

class TPGOpenDialog : public QObject {
    Q_OBJECT

public:
    explicit TPGOpenDialog(QObject* parent = nullptr);

    QString Title;
    QString InitialDir;
    QString FileName;  // the chosen file after a successful Execute
    QString Filter;    // "description|patterns|…"; rebuilt by Execute when UseDefaultFilter
    bool UseDefaultFilter = true;
    bool ShowInfo = true;
    TStretchMode StretchMode = smPrecise;

    // Runs the dialog modally; true when the user confirmed a file.
    bool Execute(QWidget* parent);
    // The dialog Execute runs, set up but not shown.
    std::unique_ptr<QFileDialog> CreateDialog(QWidget* parent);
};

}  // namespace quipix
