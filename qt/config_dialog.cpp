// The configuration dialog on Qt. config/dialog_controller is what it does and
// config/dialog_layout how it looks, without a toolkit, for both front ends;
// frm_config is the Qt form over them (stored layout and widget binding); this file
// is the entry the run modes call.
#include "qt/config_dialog.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/languages.h"
#include "qt/frm_config.h"

namespace quipix {

void RunConfigDialog(platform::WindowId owner) {
    // Qt's own dialogs (colour, font, folder) in the user's language, from Qt's
    // translations.
    QTranslator qtTexts;
    for (const std::string& language : platform::UserLanguages())
        if (qtTexts.load(QString::fromStdString("qtbase_" + language),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QApplication::installTranslator(&qtTexts);
            break;
        }
    {
        TfrmConfig dialog(owner);
        dialog.exec();
    }
    // Closing the dialog ends the program, help window included.
    QApplication::closeAllWindows();
}

}  // namespace quipix
