// TFrmMain: Start, Cancel, the phases of a run, its end and the progress
// callbacks.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "MECSUtils.h"
#include "RunWording.h"
#include "SystemText.h"
#include "W7Taskbar.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

const HarvestReport& NoReport() {
    static const HarvestReport report;
    return report;
}

const HarvestRequest& NoRequest() {
    static const HarvestRequest request;
    return request;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start

// Shows what Start asks until it starts a run or goes no further.
void TFrmMain::btnActionClick() {
    if (run_.phase != RunPhase::Idle) {
        return;
    }
    if (!saveChoice_) {
        saveChoice_ = flow::LastSaveChoice(settingsPath());
    }
    flow::StartFlow start(settingsPath(), TickedRows(), *saveChoice_);
    for (flow::StartStep step = start.Begin();;) {
        switch (step.kind) {
            case flow::StartStep::Kind::Nothing:
                return;
            case flow::StartStep::Kind::Tell:
                Ask(step.message);
                return;
            case flow::StartStep::Kind::ChooseFile: {
                outputPath_ = QtText(start.output());
                TSaveDialogRequest request{QtText(flow::kSaveDialogTitle), OutputTypeFilters(),
                                           outputPath_};
                // The flow asks about an earlier file, after the offer to
                // continue it.
                request.confirmOverwrite = false;
                request.filter = start.filter();
                const TSaveDialogAnswer chosen = environment_.dialogs->SaveFileName(this, request);
                step = start.FileChosen(Utf8Text(chosen.path), chosen.filter);
                outputPath_ = QtText(start.output());
                break;
            }
            case flow::StartStep::Kind::Ask: {
                const flow::Answer answer = Ask(step.message);
                // The session may have ended while the question was open.
                if (run_.phase != RunPhase::Idle) {
                    return;
                }
                step = start.Answered(answer);
                break;
            }
            case flow::StartStep::Kind::Run: {
                HarvestRequest run = MakeRequest(start.format());
                run.output.resume = start.resume();
                StartRun(std::move(run));
                return;
            }
        }
    }
}

HarvestRequest TFrmMain::MakeRequest(OutputFormat format) const {
    HarvestRequest request;
    request.selection = MakeSelection(TickedRows());
    request.settings = environment_.settings;
    request.output.path = ToPath(outputPath_);
    request.output.format = format;
    request.output.headerFileWhenEmpty = true;
    request.scratchPath = environment_.dataFolder / kScratchFileName;
    request.historyFolder = history::HistoryFolderIn(environment_.dataFolder);
    return request;
}

void TFrmMain::StartRun(HarvestRequest request) {
    threadFailure_.clear();
    // Shared with the thread: the last run's thread may still be on its way
    // out after its final call, and its run has to outlive it.
    harvest_ = std::make_shared<HarvestRun>(std::move(request), pace_);
    // Running from here, so that a Cancel pressed before the thread has begun
    // is taken as the user's request, not as the run's end.
    const flow::RunState started = flow::Started();
    run_.endCode = started.endCode;
    run_.closeAsked = started.closeAsked;
    run_.question = started.question;
    progress_ = flow::ProgressLines();
    runStarted_ = std::chrono::steady_clock::now();
    outcomeLine_.clear();
    ChangePhase(started.phase);

    auto* thread = new TMyThread(*this, harvest_, environment_.harvestBody);
    thread_ = thread;
    liveThread_ = thread;
    connect(thread, &QThread::finished, this, [this, thread] { HarvestThreadFinished(thread); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
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
    lblStatus->setToolTip(QString());
    SetStatusCaption(lblStatus, kStatusFetchingPages);
    SetStatusCaption(lblStatus2, QString());
    SetStatusCaption(lblTimes, QString());
    repaint();
}

void TFrmMain::LeaveRunningState() {
    if (cursorOverridden_) {
        QApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
    }
    if (taskbarAvailable_) {
        SetTaskbarProgressState(tbpsNone);
    }
    // The line above the portal's says how the last run ended.
    SetStatusCaption(lblStatus2, outcomeLine_);
    SetStatusCaption(lblTimes, QString());
    ShowPortalStatus();
    prgBar->setValue(prgBar->minimum());
    prgBar->hide();
    chkArea->setEnabled(true);
    lstArea->setEnabled(true);
    btnAction->setEnabled(true);
    btnCancel->setEnabled(false);
}

bool TFrmMain::running() const {
    return harvest_ && harvest_->Running() &&
           (run_.phase == RunPhase::Running || run_.phase == RunPhase::Stopping);
}

const HarvestRequest* TFrmMain::request() const {
    return harvest_ ? &harvest_->Request() : nullptr;
}

const HarvestReport& TFrmMain::report() const {
    return harvest_ ? harvest_->Report() : NoReport();
}

// ---------------------------------------------------------------------------
// The phases

void TFrmMain::ChangePhase(RunPhase next) {
    if (next == run_.phase) {
        return;
    }
    run_.phase = next;
    portalSettingsAction_->setEnabled(next == RunPhase::Idle);
    switch (next) {
        case RunPhase::Running:
            EnterRunningState();
            break;
        case RunPhase::Idle:
            LeaveRunningState();
            break;
        case RunPhase::Closed:
            btnCancel->setEnabled(false);
            break;
        case RunPhase::Stopping:
        case RunPhase::Ending:
            break;
    }
}

// A transition of the run: its end code and close, the stop it asks for, the
// phase it leads to, and the window's close.
void TFrmMain::Apply(const flow::RunStep& step) {
    run_.endCode = step.state.endCode;
    run_.closeAsked = step.state.closeAsked;
    if (step.stopRun) {
        harvest_->RequestStop();
    }
    ChangePhase(step.state.phase);
    if (step.closeWindow) {
        CloseWindow(*step.closeWindow);
    }
}

// The Cancel button.
void TFrmMain::btnCancelClick() {
    switch (flow::CancelPressed(run_, running())) {
        case flow::CancelAction::Ask:
            if (AskDuringRun(flow::CancelQuestion()) == flow::Answer::Yes) {
                Apply(flow::CancelConfirmed(run_));
            }
            break;
        case flow::CancelAction::RequestAgain:
            harvest_->RequestStop();  // asked again: changes nothing
            break;
        case flow::CancelAction::None:
            break;
    }
}

void TFrmMain::CloseConfirmed() {
    Apply(flow::CloseConfirmed(run_));
}

// The run's final call, or its thread gone without one.
void TFrmMain::EndRun() {
    thread_ = nullptr;
    const flow::RunState over =
        flow::RunOver(run_, flow::EndCodeOfRun(report(), !threadFailure_.isEmpty()));
    run_.endCode = over.endCode;
    run_.question = over.question;
    ChangePhase(over.phase);
    if (run_.question == flow::RunQuestion::ClosedByEnd && !sessionEnding_) {
        // The run's end answers the question still open (the session's end
        // has closed it already): one box at a time.
        environment_.dialogs->CloseOpenDialogs();
    }
    const flow::ClockTime ended = flow::LocalClockTime(std::chrono::system_clock::now());
    ShowOutcome(ended);
    flow::RunTally tally;
    tally.coursesListed = progress_.CoursesListed();
    tally.ended = ended;
    const HarvestRequest& request = harvest_->Request();
    saveChoice_ = {Utf8Text(outputPath_), flow::OutputTypeIndex(request.output.format)};
    const SettingsWriteFailure failure = flow::RecordLastRun(
        settingsPath(), Utf8Text(outputPath_), request, report(), !threadFailure_.isEmpty(), tally);
    if (failure) {
        Ask(flow::SettingsNotSavedMessage(Utf8Text(SettingsNotSavedText(failure))));
    }
    RunFinished(run_.endCode);
}

// The lines say how the run ended, not where it last was; the bar goes.
void TFrmMain::ShowOutcome(const flow::ClockTime& ended) {
    outcomeLine_ = QtText(flow::OutcomeLine(run_.endCode, report(), ended));
    SetStatusCaption(lblStatus2, outcomeLine_);
    SetStatusCaption(lblTimes, QString());
    SetStatusCaption(lblStatus, QString());
    prgBar->setValue(prgBar->minimum());
    prgBar->hide();
}

void TFrmMain::RunEnded() {
    if (run_.phase == RunPhase::Running || run_.phase == RunPhase::Stopping) {
        EndRun();
    }
}

void TFrmMain::HarvestThreadFinished(TMyThread* finished) {
    // Normally the final call has already ended the run; a thread that ended
    // without it ends the run all the same.
    if (finished == nullptr || thread_.data() != finished ||
        (run_.phase != RunPhase::Running && run_.phase != RunPhase::Stopping)) {
        return;
    }
    threadFailure_ =
        finished->failure().isEmpty() ? QtText(flow::kReasonThreadEnded) : finished->failure();
    EndRun();
}

// ---------------------------------------------------------------------------
// The end of a run

// The window's wording of failures, for the end of a run.
flow::FailureWording TFrmMain::Wording() const {
    flow::FailureWording wording;
    wording.pageFailure = [](const PageFailure& failure) {
        return Utf8Text(ConnectionFailureText(failure));
    };
    wording.pagesNotRead = [](const std::vector<PageFailure>& failures) {
        return Utf8Text(PagesNotReadText(failures));
    };
    wording.runFailure = [](const HarvestRequest& request, const HarvestReport& report) {
        const RunFailure& failure = report.failure;
        if (failure.kind == RunFailureKind::InvalidPortalSetting) {
            const QString problem = PortalSettingsText(request.settings.portal);
            if (!problem.isEmpty()) {
                return Utf8Text(QStringLiteral("接続先の設定が正しくありません: ") + problem);
            }
        }
        return Utf8Text(RunFailureText(failure, report.outputFormat));
    };
    wording.coursesOutside = [](const CoursesOutside& outside,
                                const std::filesystem::path& earlier) {
        return Utf8Text(CoursesOutsideText(outside, earlier));
    };
    return wording;
}

void TFrmMain::RunFinished(std::uint32_t code) {
    if (cursorOverridden_) {
        QApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
    }
    const flow::EndOfRun end = flow::EndOfRunFor(code, harvest_ ? harvest_->Request() : NoRequest(),
                                                 report(), Utf8Text(threadFailure_), Wording());
    if (end.closeWindow) {
        CloseWindow(code);
        return;
    }
    if (end.beepAndFlash) {
        environment_.dialogs->Beep();
        environment_.dialogs->FlashTaskbarButton(this);
    }
    if (end.message && end.openOnYes) {
        // A file was put in place: the message also offers its table.
        const int answer =
            Ask(QtText(end.message->text), QtText(end.message->caption),
                MessageBoxFlags(*end.message) | kMbResultsButton, QtText(end.message->details));
        if (answer == kIdShowResults) {
            ShowResults(outputPath_);
        } else if (MessageBoxAnswerOf(answer) == flow::Answer::Yes) {
            OpenOutputFile();
        }
    } else if (end.message) {
        Ask(*end.message);
    }
    if (run_.closeAsked) {
        CloseWindow(code);  // a close was confirmed while the outcome was shown
        return;
    }
    ChangePhase(RunPhase::Idle);
    emit runFinished(code);
}

void TFrmMain::CloseWindow(std::uint32_t code) {
    SaveSettings();
    ChangePhase(RunPhase::Closed);
    // Queued: this may run inside the close query, which would ignore a
    // nested close.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    emit runFinished(code);
}

void TFrmMain::OpenOutputFile() {
    if (!QFileInfo(outputPath_).isFile()) {
        Ask(flow::FileMissingMessage());
        return;
    }
    if (!environment_.dialogs->OpenWithRegisteredProgram(outputPath_)) {
        Ask(flow::FileNotOpenedMessage(Utf8Text(QDir::toNativeSeparators(outputPath_))));
    }
}

// ---------------------------------------------------------------------------
// Progress

void TFrmMain::ProgressStart() {
    if (run_.phase == RunPhase::Closed) {
        return;
    }
    prgBar->setValue(0);
    // A range of 0 to 0 would make the bar a busy indicator.
    prgBar->setRange(0, std::max(report().prefectureCount, 1));
    progress_.Start(report().prefectureCount);
    emit progressStarted();
}

void TFrmMain::ProgressStep() {
    if (run_.phase == RunPhase::Closed) {
        return;
    }
    prgBar->setValue(std::min(prgBar->value() + 1, prgBar->maximum()));
    prgBar->repaint();
    progress_.Step();
    if (taskbarAvailable_) {
        SetTaskbarProgressValue(static_cast<std::uint64_t>(prgBar->value()),
                                static_cast<std::uint64_t>(prgBar->maximum()));
    }
    emit progressStepped();
}

void TFrmMain::StatusUpdate() {
    if (run_.phase == RunPhase::Closed) {
        return;
    }
    const HarvestReport& now = report();
    const QString prefecture =
        QString::fromStdString(PrintableText(AnsiToUTF8(now.currentPrefecture)));
    SetStatusCaption(lblStatus2, prefecture + kStatusPrefectureSuffix);
    SetStatusCaption(lblStatus, kStatusCoursePrefix + QString::number(now.courseIndex) +
                                    QStringLiteral("/") + QString::number(now.courseTotal) +
                                    kStatusCourseSuffix);
    progress_.Status(now.courseIndex, now.courseTotal,
                     std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - runStarted_));
    ShowTimes();
    emit statusUpdated();
}

void TFrmMain::RetryWaiting() {
    if (run_.phase == RunPhase::Closed) {
        return;
    }
    progress_.Retry(report().retry);
    ShowTimes();
    emit retryWaiting();
}

void TFrmMain::ShowTimes() {
    SetStatusCaption(lblTimes, QtText(progress_.TimesLine()));
}

}  // namespace teebasket
