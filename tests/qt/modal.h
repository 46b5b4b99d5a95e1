// Answers modal windows that a test opens by clicking: the action runs once, as soon
// as the window is open. A window still open five seconds later is rejected and the
// test fails, so a stuck dialog never hangs the suite.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

namespace quipix::test {

inline void WhenModal(std::function<void(QWidget*)> action) {
    struct State {
        QPointer<QWidget> window;
        bool acted = false;
        int ticks = 0;
    };
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto state = std::make_shared<State>();
    QObject::connect(timer, &QTimer::timeout, [timer, action, state] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!state->acted) {
            if (!modal) return;
            state->window = modal;
            state->acted = true;
            action(modal);
            return;
        }
        if (state->window && modal == state->window && ++state->ticks < 500) return;
        if (state->window && modal == state->window) {
            ADD_FAILURE() << "a modal window did not close";
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}

// Confirms path in a file dialog as typed by the user. Typing does not depend on
// the dialog's folder listing, which loads in the background.
inline void ChooseInFileDialog(QFileDialog* dialog, const QString& path) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit) {
        edit->setText(path);
    } else {
        dialog->selectFile(path);
    }
    static_cast<QDialog*>(dialog)->accept();
}

}  // namespace quipix::test
