// The configuration dialog on Qt. config/dialog_controller is what it does and
// config/dialog_layout how it looks, without a toolkit, for both front ends;
// frm_config is the Qt form over them (stored layout and widget binding); this file
// is the entry the run modes call.
#include "qt/config_dialog.h"

#include <QApplication>

#include "qt/frm_config.h"

namespace quipix {

void RunConfigDialog(platform::WindowId owner) {
    {
        TfrmConfig dialog(owner);
        dialog.exec();
    }
    // Closing the dialog ends the program, help window included.
    QApplication::closeAllWindows();
}

}  // namespace quipix
