#pragma once
// The run of a modal dialog from the tray menu.

#include <QDialog>

namespace tolver {

// Prepares the dialog, shows it modally, applies on OK and finishes in every case;
// true when it ended with OK. The tray menu stays usable while a dialog is open, so
// a second call only brings the open dialog forward (false).
template <class Prepare, class Apply, class Finish>
bool RunDialog(QDialog& dialog, Prepare prepare, Apply apply, Finish finish) {
    if (dialog.isVisible()) {
        dialog.raise();
        dialog.activateWindow();
        return false;
    }
    prepare();
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (ok) apply();
    finish(ok);
    return ok;
}

}  // namespace tolver
