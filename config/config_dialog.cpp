// config/: the configuration dialog (frm_config: stored layout and handlers) and
// the entry the run modes call.
#include "config/config_dialog.h"

#include <QApplication>

#include "config/frm_config.h"

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
