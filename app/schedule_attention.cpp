// The window's side of scheduled runs: the alert of a scheduled run, shown
// in the status line when the window starts (the scheduled run left a marker
// in the data folder naming its change report or its output), and the
// dialog 定期取得.
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QStandardPaths>

#include "ScheduleDialog.h"
#include "ScheduleState.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

void TFrmMain::ShowScheduleAttention() {
    const std::optional<schedule::AttentionNote> note =
        schedule::ReadAttentionMarker(environment_.dataFolder);
    if (!note) {
        return;
    }
    const QString text = QStringLiteral("要確認: ") + FromPath(note->file);
    QString details = QStringLiteral("定期取得 %1 の要確認: %2")
                          .arg(QString::fromStdString(note->scheduleName), FromPath(note->file));
    for (const std::string& line : note->lines) {
        details += u'\n' + QString::fromStdString(line);
    }
    QPalette red = lblStatus->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblStatus->setPalette(red);
    lblStatus->setToolTip(details);
    SetStatusCaption(lblStatus, lblStatus->fontMetrics().elidedText(text, Qt::ElideMiddle,
                                                                    prgBar->geometry().width()));
}

namespace {

std::filesystem::path CliBesideThisProgram() {
#ifdef _WIN32
    const QString name = QStringLiteral("teebasket-cli.exe");
#else
    const QString name = QStringLiteral("teebasket-cli");
#endif
    return ToPath(QDir(QCoreApplication::applicationDirPath()).filePath(name));
}

// The last file saved to, in a folder: a bare name goes to the documents.
std::string OfferedOutput(const std::string& saved) {
    const QString path = QtText(saved);
    if (path.isEmpty() || QDir::isAbsolutePath(path)) {
        return saved;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return Utf8Text(QDir::toNativeSeparators(QDir(documents).filePath(path)));
}

}  // namespace

void TFrmMain::EditSchedules() {
    TScheduleContext context;
    context.dataFolder = environment_.dataFolder;
    context.iniFile = settingsPath();
    context.cliProgram =
        environment_.cliProgram.empty() ? CliBesideThisProgram() : environment_.cliProgram;
    context.rows = TickedRows();
    const flow::SaveChoice choice =
        saveChoice_ ? *saveChoice_ : flow::LastSaveChoice(settingsPath());
    context.output = OfferedOutput(choice.path);
    context.outputType = choice.filter;
    TScheduleDialog dialog(std::move(context), this);
    dialog.setObjectName(QStringLiteral("scheduleDialog"));
    dialog.exec();
}

}  // namespace teebasket
