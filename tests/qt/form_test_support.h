// Shared set-up of the Qt form's tests: the dialog tests' store and recorded
// services (tests/dialog), and access to the form's controls by their names.
#pragma once

#include <QApplication>
#include <QTimer>
#include <stdexcept>
#include <string>

#include "qt/frm_config.h"
#include "dialog/dialog_test_support.h"
#include "modal.h"

namespace quipix::test {

// The control named name, or an exception that fails the test.
template <class T>
T* Control(const QObject& dialog, const char* name) {
    T* control = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!control) throw std::runtime_error(std::string("no control ") + name);
    return control;
}

using DialogTest = DialogControllerTest;

}  // namespace quipix::test
