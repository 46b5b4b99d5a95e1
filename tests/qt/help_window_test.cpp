// The help topics: one HTML page per help context, links that lead somewhere, and
// the help window that shows them when no other help service is installed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTextBrowser>

#include "platform/platform.h"

namespace quipix {
namespace {

const int kContexts[] = {100, 1000, 2000, 3000, 4000, 5000, 6000};

QString Topic(int context) {
    return QString::fromStdString(platform::HelpDirectory()) + QStringLiteral("/%1.html").arg(context);
}

TEST(HelpTopics, EveryContextHasAPageAndEveryLinkATarget) {
    for (int context : kContexts) {
        QFile file(Topic(context));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << context;
        const QString html = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(html.contains("<h1>")) << context;
        if (context != 100) {
            EXPECT_TRUE(html.contains("href=\"100.html\"")) << context;
        }
        const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\""));
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFile::exists(QString::fromStdString(platform::HelpDirectory()) + "/" + target))
                << context << " links to " << target.toStdString();
        }
    }
}

TEST(HelpTopics, TheHelpWindowShowsTheTopicAsked) {
    platform::ShowHelp(6000);
    QTextBrowser* browser = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "helpWindow") browser = w->findChild<QTextBrowser*>("helpBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->source().toLocalFile().endsWith("/6000.html"));
    EXPECT_TRUE(browser->toPlainText().contains("Degraded"));

    platform::ShowHelp(12345);  // a missing topic says so in the same window
    EXPECT_TRUE(browser->toPlainText().contains("12345"));
    browser->window()->close();
}

}  // namespace
}  // namespace quipix
