// The help viewer standing in for WinHelp: one window that shows the HTML topic
// <HelpDirectory()>/<context>.html, or its translation into the user's language
// (HelpTopicPath), with links between topics, back and contents.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include "common/translate.h"
#include "platform/help_topic.h"
#include "platform/languages.h"
#include "qt/services.h"

namespace quipix::platform {

namespace {

QString Shown(std::string_view english) {
    const std::string_view text = Tr(english);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

constexpr int kContentsTopic = 100;

class HelpWindow : public QWidget {
public:
    HelpWindow() {
        setObjectName(QStringLiteral("helpWindow"));
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(Shown(N_("Kelvara Jokes Screen Saver Help")));
        resize(620, 520);
        auto* layout = new QVBoxLayout(this);
        auto* buttons = new QHBoxLayout;
        auto* contents = new QPushButton(Shown(N_("&Contents")), this);
        auto* back = new QPushButton(Shown(N_("&Back")), this);
        buttons->addWidget(contents);
        buttons->addWidget(back);
        buttons->addStretch(1);
        layout->addLayout(buttons);
        browser_ = new QTextBrowser(this);
        browser_->setObjectName(QStringLiteral("helpBrowser"));
        browser_->setOpenExternalLinks(true);
        layout->addWidget(browser_);
        connect(contents, &QPushButton::clicked, this, [this] { ShowTopic(kContentsTopic); });
        connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        back->setEnabled(false);
    }

    void ShowTopic(int context) {
        const QString folder = QString::fromStdString(HelpDirectory());
        const QDir help(folder);
        const QString file = help.filePath(QString::fromStdString(HelpTopicPath(
            context, UserLanguages(), [&help](const std::string& relative) {
                return QFileInfo(help.filePath(QString::fromStdString(relative))).isFile();
            })));
        // Links are relative to the topic shown, so a translated topic leads to translated ones.
        browser_->setSearchPaths({QFileInfo(file).path(), folder});
        if (QFileInfo(file).isFile()) {
            browser_->setSource(QUrl::fromLocalFile(file));
        } else {
            browser_->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p>")
                                  .arg(Shown(N_("Help topic not found")),
                                       Shown(N_("The help topic %1 is missing from %2."))
                                           .arg(context)
                                           .arg(folder.toHtmlEscaped())));
        }
        show();
        raise();
        activateWindow();
    }

private:
    QTextBrowser* browser_;
};

}  // namespace

void ShowHelpWindow(int context) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    static QPointer<HelpWindow> window;
    if (!window) window = new HelpWindow;
    window->ShowTopic(context);
}

}  // namespace quipix::platform
