// The help topics: one HTML page per help context in English and in each translation,
// links that lead somewhere, and the help window that shows them when no other help
// service is installed.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextBrowser>

#include "platform/languages.h"
#include "platform/platform.h"

namespace quipix {
namespace {

const int kContexts[] = {100, 1000, 2000, 3000, 4000, 5000, 6000};
// "" is the English set; every translation is a full set of its own.
const std::vector<std::string> kLanguages = [] {
    std::vector<std::string> all{""};
    all.insert(all.end(), platform::kTranslatedLanguages.begin(), platform::kTranslatedLanguages.end());
    return all;
}();

QString Folder(const QString& language) {
    const QString help = QString::fromStdString(platform::HelpDirectory());
    return language.isEmpty() ? help : help + "/" + language;
}

TEST(HelpTopics, EveryLanguageHasEveryTopicAndEveryLinkATarget) {
    // A language folder nobody listed would be shipped but never checked.
    for (const QString& folder : QDir(Folder("")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        EXPECT_TRUE(std::find(kLanguages.begin(), kLanguages.end(), folder.toStdString()) != kLanguages.end())
            << folder.toStdString();
    for (const std::string& language : kLanguages) {
        const QString folder = Folder(QString::fromStdString(language));
        for (int context : kContexts) {
            SCOPED_TRACE(testing::Message() << language << "/" << context);
            QFile file(folder + QStringLiteral("/%1.html").arg(context));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(file.readAll());
            EXPECT_TRUE(html.contains("<h1>"));
            if (!language.empty()) {
                const QString lang = QString::fromStdString(language).replace('_', '-');
                EXPECT_TRUE(html.contains(QStringLiteral("<html lang=\"%1\">").arg(lang)));
            }
            if (context != 100) {
                EXPECT_TRUE(html.contains("href=\"100.html\""));
            }
            const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\""));
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                EXPECT_TRUE(QFile::exists(folder + "/" + target)) << "links to " << target.toStdString();
            }
        }
    }
}

TEST(HelpTopics, TheHelpWindowShowsTheTopicAskedInTheUsersLanguage) {
    // The topic follows the environment at the time it is asked for.
    struct RestoreLocale {
        QByteArray language = qgetenv("LANGUAGE"), all = qgetenv("LC_ALL");
        ~RestoreLocale() {
            qputenv("LANGUAGE", language);
            qputenv("LC_ALL", all);
        }
    } const restore;
    qputenv("LC_ALL", "C");
    platform::ShowHelp(6000);
    QTextBrowser* browser = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "helpWindow") browser = w->findChild<QTextBrowser*>("helpBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->source().toLocalFile().endsWith("/6000.html"));
    EXPECT_TRUE(browser->toPlainText().contains("Degraded"));

    platform::ShowHelp(12345);  // a missing topic says so in the same window
    EXPECT_TRUE(browser->toPlainText().contains("12345"));

    qputenv("LANGUAGE", "de");
    qputenv("LC_ALL", "de_DE.UTF-8");
    platform::ShowHelp(6000);
    EXPECT_TRUE(browser->source().toLocalFile().endsWith("/de/6000.html"));
    EXPECT_TRUE(browser->toPlainText().contains("Farbverlauf"));
    browser->window()->close();
}

}  // namespace
}  // namespace quipix
