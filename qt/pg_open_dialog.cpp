// TPGOpenDialog: open dialog with picture preview.
#include "qt/pg_open_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "imaging/file_format_reader.h"
#include "imaging/messages.h"
#include "imaging/picture_preview.h"
#include "qt/pg_image.h"
#include "imaging/stream.h"

namespace quipix {

QString PGDefaultFilter() { return QString::fromStdString(PGDialogFilter()); }

QStringList PGQtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        result << parts[i] + QStringLiteral(" (") + parts[i + 1] + u')';
    return result;
}

QStringList PGFilterPatterns(const QString& nameFilter) {
    QString patterns = nameFilter;
    const int open = nameFilter.lastIndexOf(u'(');
    if (open >= 0 && nameFilter.endsWith(u')'))
        patterns = nameFilter.mid(open + 1, nameFilter.size() - open - 2);
    QStringList result;
    for (const QString& part :
         patterns.split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts))
        result << (part == QLatin1String("*.*") ? QStringLiteral("*") : part);
    return result;
}

namespace {

// The pane beside the file list: the picture scaled into a fixed area, and up to
// four information lines below it.
class PreviewPane : public QWidget {
public:
    PreviewPane(QWidget* parent, bool showInfo, TStretchMode stretchMode)
        : QWidget(parent), stretchMode_(stretchMode) {
        setObjectName(QStringLiteral("previewPane"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(4, 0, 0, 0);
        picture_ = new QLabel(this);
        picture_->setObjectName(QStringLiteral("previewPicture"));
        picture_->setFixedSize(kWidth + 4, kHeight + 4);
        picture_->setFrameShape(QFrame::StyledPanel);
        picture_->setFrameShadow(QFrame::Sunken);
        picture_->setAlignment(Qt::AlignCenter);
        layout->addWidget(picture_);
        QFont small = font();
        small.setPixelSize(11);
        for (int i = 0; i < 4; ++i) {
            info_[i] = new QLabel(this);
            info_[i]->setObjectName(QStringLiteral("previewInfo%1").arg(i));
            info_[i]->setFont(small);
            info_[i]->setVisible(showInfo);
            info_[i]->setMaximumWidth(kWidth + 4);
            layout->addWidget(info_[i]);
        }
        layout->addStretch(1);
        timer_.setSingleShot(true);
        timer_.setInterval(150);
        connect(&timer_, &QTimer::timeout, this, [this] { Show(pending_); });
    }

    // Waits a moment after the selection changes, so scrolling through a folder
    // does not decode every picture on the way.
    void Select(const QString& path) {
        pending_ = path;
        timer_.start();
    }

    void Show(const QString& path) {
        picture_->clear();
        for (QLabel* line : info_) line->clear();
        QFileInfo file(path);
        if (path.isEmpty() || !file.isFile()) return;
        PicturePreview preview;
        MakePicturePreview(preview, path.toStdString(), kWidth, kHeight, stretchMode_);
        if (preview.Picture.Width() > 0) {
            QImage shown;
            ConvertPixelGraphicArea(preview.Picture, shown, 0, 0, preview.Picture.Width(),
                                    preview.Picture.Height());
            picture_->setPixmap(QPixmap::fromImage(shown));
        }
        for (std::size_t i = 0; i < preview.Lines.size() && i < 4; ++i)
            info_[i]->setText(QString::fromStdString(preview.Lines[i]));
    }

private:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;
    TStretchMode stretchMode_;
    QLabel* picture_;
    QLabel* info_[4];
    QTimer timer_;
    QString pending_;
};

// Qt cuts a name filter's patterns at spaces only, so "*.bmp;" would match no
// file; the dialog's model gets the patterns without their semicolons.
void ApplyPatterns(QFileDialog* dialog, const QString& nameFilter) {
    if (auto* model = dialog->findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model")))
        model->setNameFilters(PGFilterPatterns(nameFilter));
}

}  // namespace

TPGOpenDialog::TPGOpenDialog(QObject* parent) : QObject(parent) {}

std::unique_ptr<QFileDialog> TPGOpenDialog::CreateDialog(QWidget* parent) {
    if (UseDefaultFilter) Filter = PGDefaultFilter();
    auto dialog = std::make_unique<QFileDialog>(parent, Title);
    dialog->setObjectName(QStringLiteral("pictureOpenDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->resize(780, 460);  // room for the file list beside the preview
    QFileDialog* raw = dialog.get();
    const QStringList filters = PGQtNameFilters(Filter);
    if (!filters.isEmpty()) {
        const bool usable = raw->findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model"));
        if (usable) {
            raw->setNameFilters(filters);
            ApplyPatterns(raw, filters.first());
            QObject::connect(raw, &QFileDialog::filterSelected, raw,
                             [raw](const QString& f) { ApplyPatterns(raw, f); });
        } else {
            // Without access to the model, show the patterns the way Qt reads them.
            QStringList plain;
            for (const QString& f : filters) {
                const int open = f.lastIndexOf(u'(');
                plain << f.left(open + 1) + PGFilterPatterns(f).join(u' ') + u')';
            }
            raw->setNameFilters(plain);
        }
    }
    if (!InitialDir.isEmpty()) raw->setDirectory(InitialDir);
    if (!FileName.isEmpty()) raw->selectFile(FileName);

    if (auto* grid = qobject_cast<QGridLayout*>(raw->layout())) {
        auto* pane = new PreviewPane(raw, ShowInfo, StretchMode);
        grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
        QObject::connect(raw, &QFileDialog::currentChanged, pane, &PreviewPane::Select);
    }
    return dialog;
}

bool TPGOpenDialog::Execute(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog = CreateDialog(parent);
    if (dialog->exec() != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty()) return false;
    FileName = files.first();
    return true;
}

}  // namespace quipix
