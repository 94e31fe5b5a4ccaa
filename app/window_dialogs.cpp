// The real dialogs behind TWindowDialogs, and the production environment.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

#include "DesktopShell.h"
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
constexpr int kDetailsWidth = 480;

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
                                             const QString& caption, unsigned flags,
                                             const QString& detailedText,
                                             const QStringList& buttonTexts) {
    auto box =
        std::make_unique<QMessageBox>(IconFor(flags), caption, text, QMessageBox::NoButton, owner);
    QList<QMessageBox::StandardButton> buttons{QMessageBox::Ok};
    switch (flags & kButtonMask) {
        case kMbYesNo:
            buttons = {QMessageBox::Yes, QMessageBox::No};
            break;
        case kMbYesNoCancel:
            buttons = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
            break;
        default:
            break;
    }
    QMessageBox::StandardButtons shown;
    for (QMessageBox::StandardButton button : buttons) {
        shown |= button;
    }
    box->setStandardButtons(shown);
    for (qsizetype i = 0; i < buttonTexts.size() && i < buttons.size(); ++i) {
        box->button(buttons.at(i))->setText(buttonTexts.at(i));
    }
    if (shown.testFlag(QMessageBox::Cancel)) {
        box->setEscapeButton(QMessageBox::Cancel);  // Escape goes back
    }
    const bool secondIsDefault =
        (flags & kDefaultButtonMask) == kMbDefButton2 && buttons.size() > 1;
    box->setDefaultButton(buttons.at(secondIsDefault ? 1 : 0));
    if (flags & kMbTopmost) {
        box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    if (flags & kMbResultsButton) {
        box->addButton(window::kButtonShowResults, QMessageBox::ActionRole)
            ->setObjectName(QStringLiteral("btnShowResults"));
    }
    box->setTextFormat(Qt::PlainText);
    if (!detailedText.isEmpty()) {
        box->setDetailedText(detailedText);
        // Wide enough for a page's URL on one line.
        if (auto* details = box->findChild<QTextEdit*>()) {
            details->setMinimumWidth(kDetailsWidth);
        }
    }
    return box;
}

int MessageBoxAnswer(int standardButton) {
    switch (standardButton) {
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        case QMessageBox::Cancel:
            return kIdCancel;
        default:
            return kIdOk;
    }
}

unsigned MessageBoxFlags(const flow::Message& message) {
    unsigned flags = kMbOk;
    switch (message.buttons) {
        case flow::Buttons::Ok:
            break;
        case flow::Buttons::YesNo:
            flags = kMbYesNo;
            break;
        case flow::Buttons::YesNoCancel:
            flags = kMbYesNoCancel;
            break;
    }
    switch (message.icon) {
        case flow::Icon::Information:
            flags |= kMbIconInformation;
            break;
        case flow::Icon::Question:
            flags |= kMbIconQuestion;
            break;
        case flow::Icon::Error:
            flags |= kMbIconError;
            break;
    }
    if (message.secondIsDefault) {
        flags |= kMbDefButton2;
    }
    if (message.topmost) {
        flags |= kMbTopmost;
    }
    return flags;
}

flow::Answer MessageBoxAnswerOf(int id) {
    switch (id) {
        case kIdYes:
            return flow::Answer::Yes;
        case kIdNo:
            return flow::Answer::No;
        case kIdCancel:
            return flow::Answer::Cancel;
        default:
            return flow::Answer::Ok;
    }
}

int TQtWindowDialogs::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                 unsigned flags, const QString& detailedText,
                                 const QStringList& buttonTexts) {
    QWidget* active = QApplication::activeWindow();
    std::unique_ptr<QMessageBox> box = BuildMessageBox(active != nullptr ? active : owner, text,
                                                       caption, flags, detailedText, buttonTexts);
    const int pressed = box->exec();
    const QAbstractButton* clicked = box->clickedButton();
    if (clicked != nullptr && clicked->objectName() == QStringLiteral("btnShowResults")) {
        return kIdShowResults;
    }
    return MessageBoxAnswer(pressed);
}

std::unique_ptr<QFileDialog> BuildSaveDialog(QWidget* owner, const TSaveDialogRequest& request) {
    auto dialog = std::make_unique<QFileDialog>(owner, request.title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(request.filters);
    if (!request.filters.isEmpty()) {
        dialog->selectNameFilter(
            request.filters.value(request.filter, request.filters.constFirst()));
    }
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog->setSizeGripEnabled(request.resizable);
    // Qt's save dialog has no read-only box to hide.
    dialog->selectFile(request.fileName);
    // Another type gives the name in the box that type's extension.
    QFileDialog* shown = dialog.get();
    QObject::connect(shown, &QFileDialog::filterSelected, shown,
                     [shown, filters = request.filters](const QString& filter) {
                         auto* name = shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                         if (name != nullptr) {
                             name->setText(WithTypeExtension(name->text(), filters, filter));
                         }
                     });
    return dialog;
}

TSaveDialogAnswer TQtWindowDialogs::SaveFileName(QWidget* owner,
                                                 const TSaveDialogRequest& request) {
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(owner, request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return {};
    }
    return {dialog->selectedFiles().constFirst(),
            static_cast<int>(
                std::max<qsizetype>(0, request.filters.indexOf(dialog->selectedNameFilter())))};
}

void TQtWindowDialogs::Beep() {
    PlayQuestionSound();
}

void TQtWindowDialogs::FlashTaskbarButton(QWidget* window) {
    FlashUntilActivated(window);
}

bool TQtWindowDialogs::OpenWithRegisteredProgram(const QString& path) {
    return OpenWithShell(path);
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
