// The real dialogs behind TWindowDialogs, and the production environment.
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "HarvestConfig.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

constexpr unsigned kButtonMask = 0xF;
constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kDefaultButtonMask = 0xF00;
constexpr unsigned kMbIconWarning = 0x30;

QMessageBox::Icon IconFor(unsigned flags) {
    switch (flags & kIconMask) {
        case kMbIconError:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconWarning:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

std::unique_ptr<QMessageBox> BuildMessageBox(QWidget* owner, const QString& text,
                                             const QString& caption, unsigned flags) {
    auto box =
        std::make_unique<QMessageBox>(IconFor(flags), caption, text, QMessageBox::NoButton, owner);
    QMessageBox::StandardButton first = QMessageBox::Ok;
    QMessageBox::StandardButton second = QMessageBox::NoButton;
    if ((flags & kButtonMask) == kMbYesNo) {
        first = QMessageBox::Yes;
        second = QMessageBox::No;
    }
    box->setStandardButtons(second == QMessageBox::NoButton ? QMessageBox::StandardButtons(first)
                                                            : first | second);
    const bool secondIsDefault =
        (flags & kDefaultButtonMask) == kMbDefButton2 && second != QMessageBox::NoButton;
    box->setDefaultButton(secondIsDefault ? second : first);
    if (flags & kMbTopmost) {
        box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    box->setTextFormat(Qt::PlainText);
    return box;
}

int MessageBoxAnswer(int standardButton) {
    switch (standardButton) {
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        default:
            return kIdOk;
    }
}

int TQtWindowDialogs::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                 unsigned flags) {
    QWidget* active = QApplication::activeWindow();
    std::unique_ptr<QMessageBox> box =
        BuildMessageBox(active != nullptr ? active : owner, text, caption, flags);
    return MessageBoxAnswer(box->exec());
}

std::unique_ptr<QFileDialog> BuildSaveDialog(QWidget* owner, const TSaveDialogRequest& request) {
    auto dialog = std::make_unique<QFileDialog>(owner, request.title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(request.filter);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog->setSizeGripEnabled(request.resizable);
    // Qt's save dialog has no read-only box to hide.
    dialog->selectFile(request.fileName);
    return dialog;
}

QString TQtWindowDialogs::SaveFileName(QWidget* owner, const TSaveDialogRequest& request) {
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(owner, request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog->selectedFiles().constFirst();
}

void TQtWindowDialogs::Beep() {
    QApplication::beep();
}

void TQtWindowDialogs::FlashTaskbarButton(QWidget* window) {
    QApplication::alert(window, 0);  // until the window is activated
}

void TQtWindowDialogs::OpenWithRegisteredProgram(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TQtWindowDialogs::CloseOpenDialogs() {
    // Message boxes and the save dialog are top-level dialogs; so is the
    // overwrite question of the save dialog.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget);
            dialog != nullptr && dialog->isVisible()) {
            dialog->reject();
        }
    }
}

TWindowEnvironment ProductionEnvironment(TWindowDialogs& dialogs) {
    TWindowEnvironment environment;
    environment.dataFolder = DataFolder(ToPath(QCoreApplication::applicationDirPath()));
    environment.settings.portal = LoadPortalSettings(environment.dataFolder / kSettingsFileName);
    environment.dialogs = &dialogs;
    return environment;
}

}  // namespace teebasket
