#include "uninstaller/uninstaller_dialogue.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace vxr {

namespace {

// QMessageBox wraps its informative text into a narrow column; give it room for a
// readable line length.
void widen(QMessageBox& box) {
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 48);
}

} // namespace

AlertText confirmationText() {
    return {QStringLiteral("Uninstall ") + QLatin1String(appDisplayName) + QLatin1Char('?'),
            QStringLiteral("This quits the app, moves it to the Trash, and removes its saved "
                           "worker configuration. Your VXR wallet, identity, and other keys "
                           "stored elsewhere on this computer are not touched.")};
}

AlertText resultText(const UninstallResult& result) {
    const QString name = QString::fromLatin1(appDisplayName);
    const QString notes = result.notes.join(QLatin1Char('\n'));
    if (result.removed.isEmpty()) {
        return {QStringLiteral("Nothing to remove"),
                notes.isEmpty()
                    ? name + QStringLiteral(" doesn't appear to be installed on this computer.")
                    : notes};
    }
    QString text =
        QStringLiteral("Removed: ") + result.removed.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (!notes.isEmpty())
        text += QStringLiteral("\n\n") + notes;
    return {name + QStringLiteral(" uninstalled"), text};
}

void confirmAndRun(Uninstaller& uninstaller, std::function<bool()> confirm,
                   std::function<void(const AlertText&)> showResult, std::function<void()> done) {
    if (!confirm()) {
        done();
        return;
    }
    QObject::connect(
        &uninstaller, &Uninstaller::finished, &uninstaller,
        [showResult = std::move(showResult),
         done = std::move(done)](const UninstallResult& result) {
            showResult(resultText(result));
            done();
        },
        Qt::SingleShotConnection);
    uninstaller.performUninstall();
}

std::unique_ptr<QMessageBox> makeConfirmationBox() {
    const AlertText text = confirmationText();
    auto box = std::make_unique<QMessageBox>();
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QLatin1String(appDisplayName));
    box->setTextFormat(Qt::PlainText);
    box->setText(text.message);
    box->setInformativeText(text.informativeText);
    QPushButton* uninstall = box->addButton(QStringLiteral("Uninstall"), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    uninstall->setAccessibleName(QStringLiteral("Uninstall"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    box->setDefaultButton(uninstall);
    box->setEscapeButton(cancel);
    widen(*box);
    return box;
}

std::unique_ptr<QMessageBox> makeResultBox(const AlertText& text) {
    auto box = std::make_unique<QMessageBox>();
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QLatin1String(appDisplayName));
    box->setTextFormat(Qt::PlainText);
    box->setText(text.message);
    box->setInformativeText(text.informativeText);
    box->setStandardButtons(QMessageBox::Ok);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    widen(*box);
    return box;
}

} // namespace vxr
