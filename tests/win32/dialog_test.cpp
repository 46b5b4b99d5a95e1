// The Windows configuration dialog keeps the dialog contract: run modally as the run
// mode runs it, with the test's body inside its message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/dialog_contract.h"
#include "test_windows.h"
#include "win32/native.h"
#include "win32/shown_config_dialog.h"

namespace quipix {
namespace {

using namespace test;  // the dialog contract
using platform::win32::HwndFromId;
using platform::win32::IdFromHwnd;

// The Windows dialog, run modally as the run mode does; the test's body runs inside
// its message loop, and buttons are clicked through their windows.
class Win32DialogDriver {
public:
    static bool Possible() { return TestWindow::Possible(); }
    platform::WindowId Owner() const { return IdFromHwnd(owner_.get()); }
    bool Run(const std::function<void()>& body) {
        return win32::RunConfigDialog(Owner(), [&](win32::ShownConfigDialog& shown) {
            shown_ = &shown;
            body();
            shown_ = nullptr;
        });
    }
    DialogView& View() { return *shown_; }
    std::string Face(int i) const {
        const HWND box = HwndFromId(shown_->ControlWindow("QFont"));
        wchar_t face[LF_FACESIZE] = L"";
        if (SendMessageW(box, CB_GETLBTEXTLEN, i, 0) < LF_FACESIZE)
            SendMessageW(box, CB_GETLBTEXT, i, LPARAM(face));
        return platform::win32::Narrow(face);
    }
    void Press(std::string_view button) { SendMessageW(HwndFromId(shown_->ControlWindow(button)), BM_CLICK, 0, 0); }
    void CloseWindow() {
        SendMessageW(GetAncestor(HwndFromId(shown_->ControlWindow("btOk")), GA_ROOT), WM_CLOSE, 0, 0);
    }

private:
    TestWindow owner_{10, 10};
    win32::ShownConfigDialog* shown_ = nullptr;
};
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, DialogContract, Win32DialogDriver);

}  // namespace
}  // namespace quipix
