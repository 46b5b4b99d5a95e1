// Opening an address (the Windows shell's "open" verb): the installed service when
// there is one, else the desktop's handler for the address.
#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "platform/platform.h"

namespace quipix::platform {

void OpenAddress(const std::string& address) {
    if (const auto& service = CurrentServices().openAddress) {
        service(address);
        return;
    }
    // The result is ignored: a desktop without a browser simply shows nothing.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

}  // namespace quipix::platform
