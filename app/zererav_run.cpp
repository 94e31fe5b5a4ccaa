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
#include "SystemText.h"
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

const HarvestReport& NoReport() {
    static const HarvestReport report;
    return report;
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

// The dialog asked about the name as chosen; a file under the name with
// ".csv" added is asked about here. The earlier file stays until the run
// puts its own in place, and only when that loses nothing. False when the
// start has to stop.
bool TFrmMain::ClearOutputPath(const QString& confirmedPath) {
    const QFileInfo earlier(outputPath_);
    if (outputPath_ == confirmedPath || earlier.isDir() ||
        !(earlier.exists() || earlier.isSymLink())) {
        return true;
    }
    const QString question = kTextOverwrite.arg(earlier.fileName());
    return Ask(question, kCaptionOverwrite, kQuestionDefaultNo) == kIdYes;
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
    HarvestRequest request;
    request.selection = MakeSelection(TickedRows());
    request.settings = environment_.settings;
    request.output.path = ToPath(outputPath_);
    request.output.headerFileWhenEmpty = true;
    request.scratchPath = environment_.dataFolder / kScratchFileName;
    harvest_ = std::make_unique<HarvestRun>(std::move(request), pace_);
    // The run counts as running from here, so that a Cancel pressed before
    // the thread has begun is taken as the user's request, not as its end.
    threadGone_ = false;
    finalCallArrived_ = false;
    threadFailure_.clear();

    auto* thread = new TMyThread(*this, *harvest_, environment_.harvestBody);
    thread_ = thread;
    liveThread_ = thread;
    connect(thread, &QThread::finished, this, [this, thread] { HarvestThreadFinished(thread); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

bool TFrmMain::running() const {
    return harvest_ && harvest_->Running() && !threadGone_;
}

const HarvestReport& TFrmMain::report() const {
    return harvest_ ? harvest_->Report() : NoReport();
}

void TFrmMain::btnCancelClick() {
    if (tearingDown_) {
        return;
    }
    if (running()) {
        if (endCode_ == kEndCompleted) {
            if (Ask(kTextCancelQuestion, kCaptionCancelQuestion, kQuestion) == kIdYes) {
                endCode_ = kEndCancelled;
                if (thread_) {
                    harvest_->RequestStop();
                }
            }
        } else if (endCode_ == kEndClosing) {
            if (thread_) {
                harvest_->RequestStop();
            }
            endCode_ = kEndClosingStopped;
        } else if (thread_) {
            // A stop is already pending; asking again changes nothing.
            harvest_->RequestStop();
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
        endCode_ = EndCodeOfRun();
    } else if (endCode_ == kEndCancelled && EndCodeOfRun() == kEndFailed) {
        endCode_ = kEndFailed;
    }
    RunFinished(endCode_);
}

// The end code that the run's own ending gives, when nobody stopped it.
std::uint32_t TFrmMain::EndCodeOfRun() const {
    if (!threadFailure_.isEmpty()) {
        return kEndFailed;
    }
    switch (report().ending) {
        case RunEnding::Finished:
        case RunEnding::Stopped:
            return kEndCompleted;
        case RunEnding::NothingFound:
            return kEndNothingFound;
        case RunEnding::Unreachable:
        case RunEnding::PortalStoppedAnswering:
            return kEndUnreachable;
        case RunEnding::Failed:
            return kEndFailed;
    }
    return kEndCompleted;
}

void TFrmMain::HarvestThreadFinished(TMyThread* finished) {
    // Normally RunEnded has already cleared `thread`; if the thread ended
    // without that call, the run is over all the same.
    if (tearingDown_ || thread_.data() != finished || finished == nullptr) {
        return;
    }
    threadGone_ = true;
    finalCallArrived_ = true;
    threadFailure_ = finished->failure().isEmpty() ? kReasonThreadEnded : finished->failure();
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
            Ask(UnreachableText(), kCaptionError, kErrorNotice);
            break;
        case kEndFailed:
            if (threadFailure_.isEmpty() && report().failure.kind == RunFailureKind::OutputInUse) {
                Ask(kTextFileInUse, kCaptionError, kErrorNotice);
                break;
            }
            Ask(kTextRunFailed.arg(threadFailure_.isEmpty() ? RunFailureText(report().failure)
                                                            : threadFailure_),
                kCaptionError, kMbOk | kMbIconError | kMbTopmost);
            break;
        case kEndCancelled:
            ShowStoppedRunFiles();
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
    const std::size_t notRead = report().pageFailures.size();
    return notRead == 0 ? kTextCompleted
                        : kTextCompletedWithPagesNotRead.arg(static_cast<qulonglong>(notRead));
}

QString TFrmMain::NothingFoundText() const {
    const std::size_t notRead = report().pageFailures.size();
    return notRead == 0 ? kTextNothingFound
                        : kTextNothingFound + QStringLiteral("\n") +
                              kTextPagesNotRead.arg(static_cast<qulonglong>(notRead));
}

// The unreachable text, then the precise reason of the last page that could
// not be connected to.
QString TFrmMain::UnreachableText() const {
    const PageFailure& last = report().lastConnectionFailure;
    if (last.url.empty()) {
        return kTextUnreachable;
    }
    return kTextUnreachable + QStringLiteral("\n") + PageFailureText(last);
}

// A stopped run whose rows stay beside an earlier file says where they are.
void TFrmMain::ShowStoppedRunFiles() {
    const HarvestReport& ended = report();
    if (ended.files != FileOutcome::PartialKept) {
        return;
    }
    Ask(kTextStoppedPartialKept.arg(ended.rowsWritten).arg(FromPath(ended.partialPath)),
        kCaptionStopped, kMbOk | kMbIconInformation | kMbTopmost);
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
    prgBar->setRange(0, std::max(report().prefectureCount, 1));
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
    const HarvestReport& now = report();
    const QString prefecture =
        QString::fromStdString(PrintableText(AnsiToUTF8(now.currentPrefecture)));
    SetStatusCaption(lblStatus2, prefecture + kStatusPrefectureSuffix);
    SetStatusCaption(lblStatus, kStatusCoursePrefix + QString::number(now.courseIndex) +
                                    QStringLiteral("/") + QString::number(now.courseTotal) +
                                    kStatusCourseSuffix);
    emit statusUpdated();
}

void TFrmMain::RunEnded() {
    finalCallArrived_ = true;
    btnCancelClick();
}

}  // namespace teebasket
