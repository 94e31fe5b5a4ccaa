// The alert of a scheduled run, shown in the status line when the window
// starts: the scheduled run left a marker in the data folder naming its
// change report (or its output).
#include <QLabel>
#include <QProgressBar>

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

}  // namespace teebasket
