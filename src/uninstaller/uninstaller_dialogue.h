#pragma once

#include "uninstaller/uninstaller.h"

#include <QString>

#include <functional>
#include <memory>

class QMessageBox;

namespace vxr {

struct AlertText {
    QString message;
    QString informativeText;
    bool operator==(const AlertText&) const = default;
};

[[nodiscard]] AlertText confirmationText();
[[nodiscard]] AlertText resultText(const UninstallResult& result);

// The whole dialogue: ask, and only when the answer is yes remove and show the result.
// done() runs once at the end, after a cancel as after the result. The two alerts are
// behind callbacks so tests drive the dialogue without clicking.
void confirmAndRun(Uninstaller& uninstaller, std::function<bool()> confirm,
                   std::function<void(const AlertText&)> showResult, std::function<void()> done);

// The two alerts as the program shows them.
[[nodiscard]] std::unique_ptr<QMessageBox> makeConfirmationBox();
[[nodiscard]] std::unique_ptr<QMessageBox> makeResultBox(const AlertText& text);

} // namespace vxr
