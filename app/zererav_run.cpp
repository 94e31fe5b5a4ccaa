// TFrmMain: Start, Cancel, the end of a run and the progress callbacks.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "MECSUtils.h"
#include "W7Taskbar.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

constexpr unsigned kErrorNotice = kMbOk | kMbIconInformation | kMbTopmost;
constexpr unsigned kQuestion = kMbYesNo | kMbIconQuestion | kMbTopmost;
constexpr unsigned kQuestionDefaultNo = kQuestion | kMbDefButton2;

bool HasCsvExtension(const QString& path) {
    const qsizetype separator = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < separator) {
        return false;
    }
    return path.mid(dot).compare(QStringLiteral(".CSV"), Qt::CaseInsensitive) == 0;
}

// An earlier file at `path` that Start has to delete: a file or a link, even
// a dangling one. A folder is no file: nothing is deleted, and the run then
// reports that it cannot create its file there.
bool EarlierFileAt(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        return false;
    }
    return info.exists() || info.isSymLink();
}

}  // namespace

QString AppendCsvExtension(const QString& chosen) {
    return HasCsvExtension(chosen) ? chosen : chosen + QStringLiteral(".csv");
}

void TFrmMain::btnActionClick() {
    if (TickedCount() == 0) {
        Ask(kTextSelectOne, kCaptionError, kErrorNotice);
        return;
    }
    outputPath_ = kDefaultFileName;
    const TSaveDialogRequest request{kSaveDialogTitle, kSaveDialogFilter, outputPath_};
    const QString chosen = environment_.dialogs->SaveFileName(this, request);
    if (chosen.isEmpty()) {
        return;
    }
    outputPath_ = AppendCsvExtension(chosen);
    if (!ClearOutputPath(chosen)) {
        return;
    }
    endCode_ = kEndCompleted;
    EnterRunningState();
    StartThread();
}

// Deletes an earlier file at the output path, which also proves that no other
// program holds it open. False when the start has to stop.
bool TFrmMain::ClearOutputPath(const QString& confirmedPath) {
    if (!EarlierFileAt(outputPath_)) {
        return true;
    }
    // The dialog asked about the name as chosen; a file under the name with
    // ".csv" added has not been confirmed yet.
    if (outputPath_ != confirmedPath) {
        const QString question = kTextOverwrite.arg(QFileInfo(outputPath_).fileName());
        if (Ask(question, kCaptionOverwrite, kQuestionDefaultNo) != kIdYes) {
            return false;
        }
    }
    if (!QFile::remove(outputPath_)) {
        Ask(kTextFileInUse, kCaptionError, kErrorNotice);
        return false;
    }
    return true;
}

void TFrmMain::EnterRunningState() {
    if (!cursorOverridden_) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        cursorOverridden_ = true;
    }
    chkArea->setEnabled(false);
    lstArea->setEnabled(false);
    btnAction->setEnabled(false);
    btnCancel->setEnabled(true);
    prgBar->setValue(prgBar->minimum());
    prgBar->show();
    QPalette text = lblStatus->palette();
    text.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    lblStatus->setPalette(text);
    SetStatusCaption(lblStatus, kStatusFetchingPages);
    SetStatusCaption(lblStatus2, QString());
    repaint();
}

void TFrmMain::StartThread() {
    if (thread_) {
        return;
    }
    run_.Reset(ToPath(outputPath_), environment_.dataFolder / kScratchFileName);
    // Set before the thread starts, so that a Cancel pressed before the thread
    // has begun is taken as the user's request, not as the end of the run.
    run_.running = true;
    finalCallArrived_ = false;

    auto* thread = new TMyThread(*this, run_, MakeSelection(TickedRows()), environment_.settings,
                                 agents_, environment_.harvestBody);
    thread_ = thread;
    liveThread_ = thread;
    connect(thread, &QThread::finished, this, [this, thread] { HarvestThreadFinished(thread); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void TFrmMain::btnCancelClick() {
    if (tearingDown_) {
        return;
    }
    if (run_.running) {
        if (endCode_ == kEndCompleted) {
            if (Ask(kTextCancelQuestion, kCaptionCancelQuestion, kQuestion) == kIdYes) {
                endCode_ = kEndCancelled;
                if (thread_) {
                    run_.stop.Request();
                }
            }
        } else if (endCode_ == kEndClosing) {
            if (thread_) {
                run_.stop.Request();
            }
            endCode_ = kEndClosingStopped;
        } else if (thread_) {
            // A stop is already pending; asking again changes nothing.
            run_.stop.Request();
        }
        return;
    }
    if (thread_ && !finalCallArrived_) {
        // The run has just ended and its final call is on its way: that call
        // shows the outcome, exactly once. A close confirmed meanwhile only
        // makes the end close the window.
        if (endCode_ == kEndClosing) {
            endCode_ = kEndClosingStopped;
        }
        return;
    }
    // The thread's final call (or the close query's click after the run ended).
    thread_ = nullptr;
    if (endCode_ == kEndCompleted) {
        if (run_.resultCode == kResultNoRow) {
            endCode_ = kEndNothingFound;
        } else if (run_.resultCode == kResultSiteUnreachable) {
            endCode_ = kEndUnreachable;
        }
    }
    if (!run_.failure.empty() && endCode_ != kEndClosing && endCode_ != kEndClosingStopped) {
        endCode_ = kEndFailed;
    }
    RunFinished(endCode_);
}

void TFrmMain::HarvestThreadFinished(TMyThread* finished) {
    // Normally RunEnded has already cleared `thread`; if the thread ended
    // without that call, the run is over all the same.
    if (tearingDown_ || thread_.data() != finished || finished == nullptr) {
        return;
    }
    run_.running = false;
    finalCallArrived_ = true;
    if (run_.failure.empty()) {
        run_.failure = kReasonThreadEnded;
    }
    btnCancelClick();
}

void TFrmMain::RunFinished(std::uint32_t code) {
    if (cursorOverridden_) {
        QApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
    }
    switch (code) {
        case kEndCompleted:
            environment_.dialogs->Beep();
            environment_.dialogs->FlashTaskbarButton(this);
            if (Ask(CompletedText(), kCaptionCompleted, kQuestionDefaultNo) == kIdYes) {
                if (QFileInfo(outputPath_).isFile()) {
                    environment_.dialogs->OpenWithRegisteredProgram(outputPath_);
                } else {
                    Ask(kTextFileMissing, kCaptionError, kMbOk | kMbIconInformation);
                }
            }
            break;
        case kEndNothingFound:
            Ask(NothingFoundText(), kCaptionSearchEnded, kErrorNotice);
            break;
        case kEndClosing:
        case kEndClosingStopped:
            btnCancel->setEnabled(false);
            SaveSettings();
            closeApproved_ = true;
            // Queued: this may run inside the close query, which would
            // ignore a nested close.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            emit runFinished(code);
            return;
        case kEndUnreachable:
            Ask(kTextUnreachable, kCaptionError, kErrorNotice);
            break;
        case kEndFailed:
            Ask(kTextRunFailed.arg(QString::fromStdString(run_.failure)), kCaptionError,
                kMbOk | kMbIconError | kMbTopmost);
            break;
        default:
            break;
    }
    LeaveRunningState();
    emit runFinished(code);
}

// The end-of-run texts, with the pages that could not be read when there
// were any.
QString TFrmMain::CompletedText() const {
    const std::size_t notRead = run_.pageFailures.size();
    return notRead == 0 ? kTextCompleted
                        : kTextCompletedWithPagesNotRead.arg(static_cast<qulonglong>(notRead));
}

QString TFrmMain::NothingFoundText() const {
    const std::size_t notRead = run_.pageFailures.size();
    return notRead == 0 ? kTextNothingFound
                        : kTextNothingFound + QStringLiteral("\n") +
                              kTextPagesNotRead.arg(static_cast<qulonglong>(notRead));
}

void TFrmMain::LeaveRunningState() {
    if (taskbarAvailable_) {
        SetTaskbarProgressState(tbpsNone);
    }
    SetStatusCaption(lblStatus, QString());
    SetStatusCaption(lblStatus2, QString());
    prgBar->setValue(prgBar->minimum());
    prgBar->hide();
    chkArea->setEnabled(true);
    lstArea->setEnabled(true);
    btnAction->setEnabled(true);
    btnCancel->setEnabled(false);
}

void TFrmMain::ProgressStart() {
    if (tearingDown_) {
        return;
    }
    prgBar->setValue(0);
    // A range of 0 to 0 would make the bar a busy indicator.
    prgBar->setRange(0, std::max(run_.prefectureCount, 1));
    emit progressStarted();
}

void TFrmMain::ProgressStep() {
    if (tearingDown_) {
        return;
    }
    prgBar->setValue(std::min(prgBar->value() + 1, prgBar->maximum()));
    prgBar->repaint();
    if (taskbarAvailable_) {
        SetTaskbarProgressValue(static_cast<std::uint64_t>(prgBar->value()),
                                static_cast<std::uint64_t>(prgBar->maximum()));
    }
    emit progressStepped();
}

void TFrmMain::StatusUpdate() {
    if (tearingDown_) {
        return;
    }
    const QString prefecture =
        QString::fromStdU16String(AnsiToUTF16(run_.currentPrefecture, kCodePageJapanese));
    SetStatusCaption(lblStatus2, prefecture + kStatusPrefectureSuffix);
    SetStatusCaption(lblStatus, kStatusCoursePrefix + QString::number(run_.courseIndex) +
                                    QStringLiteral("/") + QString::number(run_.courseTotal) +
                                    kStatusCourseSuffix);
    emit statusUpdated();
}

void TFrmMain::RunEnded() {
    finalCallArrived_ = true;
    btnCancelClick();
}

}  // namespace teebasket
