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

constexpr unsigned kErrorNotice = kMbOk | kMbIconInformation | kMbTopmost;
constexpr unsigned kErrorBox = kMbOk | kMbIconError | kMbTopmost;
constexpr unsigned kQuestion = kMbYesNo | kMbIconQuestion | kMbTopmost;
constexpr unsigned kQuestionDefaultNo = kQuestion | kMbDefButton2;
constexpr unsigned kThreeWayQuestion = kMbYesNoCancel | kMbIconQuestion | kMbTopmost;

const HarvestReport& NoReport() {
    static const HarvestReport report;
    return report;
}

// Anything at `path`, a link not followed.
bool SomethingAt(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start

void TFrmMain::btnActionClick() {
    if (phase_ != RunPhase::Idle) {
        return;
    }
    if (TickedCount() == 0) {
        Ask(kTextSelectOne, kCaptionError, kErrorNotice);
        return;
    }
    outputPath_ = kDefaultFileName;
    const TSaveDialogRequest request{kSaveDialogTitle, OutputTypeFilters(), outputPath_};
    const TSaveDialogAnswer chosen = environment_.dialogs->SaveFileName(this, request);
    if (chosen.path.isEmpty()) {
        return;
    }
    const std::vector<TOutputType>& types = OutputTypes();
    const TOutputType& type =
        types.at(chosen.filter >= 0 && static_cast<std::size_t>(chosen.filter) < types.size()
                     ? static_cast<std::size_t>(chosen.filter)
                     : 0);
    outputPath_ = AppendExtension(chosen.path, type.extension());
    if (!ConfirmAppendedName(chosen.path) || phase_ != RunPhase::Idle) {
        return;
    }
    HarvestRequest run = MakeRequest(type.format);
    const std::optional<bool> resume = AskToResume(run);
    // The session may have ended while a question was open.
    if (!resume || phase_ != RunPhase::Idle) {
        return;
    }
    run.output.resume = *resume;
    StartRun(std::move(run));
}

// The dialog asked about the name as chosen; a file under the name with the
// extension added is asked about here. The earlier file stays until the run
// puts its own in place, and only when that loses nothing. False when the
// start has to stop.
bool TFrmMain::ConfirmAppendedName(const QString& confirmedPath) {
    const QFileInfo earlier(outputPath_);
    if (outputPath_ == confirmedPath || earlier.isDir() ||
        !(earlier.exists() || earlier.isSymLink())) {
        return true;
    }
    const QString question = kTextOverwrite.arg(earlier.fileName());
    return Ask(question, kCaptionOverwrite, kQuestionDefaultNo) == kIdYes;
}

HarvestRequest TFrmMain::MakeRequest(OutputFormat format) const {
    HarvestRequest request;
    request.selection = MakeSelection(TickedRows());
    request.settings = environment_.settings;
    request.output.path = ToPath(outputPath_);
    request.output.format = format;
    request.output.headerFileWhenEmpty = true;
    request.scratchPath = environment_.dataFolder / kScratchFileName;
    return request;
}

// Whether the run continues the last one (with the rules of
// teebasket-cli --resume), when there is one to continue; nothing when the
// user went back.
std::optional<bool> TFrmMain::AskToResume(const HarvestRequest& request) {
    if (!LastRunLeftCoursesAt(request)) {
        return false;
    }
    switch (Ask(kTextResume, kCaptionResume, kThreeWayQuestion)) {
        case kIdYes:
            return true;
        case kIdNo:
            return false;
        default:
            return std::nullopt;
    }
}

// The last run that golf.ini remembers wrote this file, in this format, for
// these prefectures, and left courses to be read; and its rows are still
// there, in the partial file or in the file itself.
bool TFrmMain::LastRunLeftCoursesAt(const HarvestRequest& request) {
    const std::optional<LastRunRecord> last = LoadLastRun(settingsPath());
    if (!last || last->output != outputPath_ || last->format != request.output.format ||
        last->area != AreaOfRows(request.selection.rows)) {
        return false;
    }
    return SomethingAt(PartialPathOf(request.output.path)) || SomethingAt(request.output.path);
}

void TFrmMain::StartRun(HarvestRequest request) {
    endCode_ = kEndCompleted;
    threadFailure_.clear();
    closeAsked_ = false;
    // Shared with the thread: the last run's thread may still be on its way
    // out after its final call, and its run has to outlive it.
    harvest_ = std::make_shared<HarvestRun>(std::move(request), pace_);
    // Running from here, so that a Cancel pressed before the thread has begun
    // is taken as the user's request, not as the run's end.
    ChangePhase(RunPhase::Running);

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
    SetStatusCaption(lblStatus2, QString());
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
           (phase_ == RunPhase::Running || phase_ == RunPhase::Stopping);
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
    if (next == phase_) {
        return;
    }
    phase_ = next;
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

// The Cancel button.
void TFrmMain::btnCancelClick() {
    switch (phase_) {
        case RunPhase::Running:
            // Once the run is over, its final call is on its way and shows
            // the end; nothing is asked then.
            if (running() &&
                Ask(kTextCancelQuestion, kCaptionCancelQuestion, kQuestion) == kIdYes) {
                CancelConfirmed();
            }
            break;
        case RunPhase::Stopping:
            harvest_->RequestStop();  // asked again: changes nothing
            break;
        case RunPhase::Idle:
        case RunPhase::Ending:
        case RunPhase::Closed:
            break;
    }
}

void TFrmMain::CancelConfirmed() {
    // The question runs the event loop: the run may have ended meanwhile.
    switch (phase_) {
        case RunPhase::Running:
            endCode_ = kEndCancelled;
            harvest_->RequestStop();
            ChangePhase(RunPhase::Stopping);
            break;
        case RunPhase::Idle:
            endCode_ = kEndCancelled;  // a late answer, which finds no run to stop
            break;
        case RunPhase::Stopping:  // a close confirmed meanwhile goes first
        case RunPhase::Ending:
        case RunPhase::Closed:
            break;
    }
}

void TFrmMain::CloseConfirmed() {
    switch (phase_) {
        case RunPhase::Running:
        case RunPhase::Stopping:
            closeAsked_ = true;
            endCode_ = kEndClosingStopped;
            harvest_->RequestStop();
            ChangePhase(RunPhase::Stopping);
            break;
        case RunPhase::Ending:
            closeAsked_ = true;  // the end being shown closes the window after it
            break;
        case RunPhase::Idle:
            // The run ended while the question was open.
            CloseWindow(kEndClosing);
            break;
        case RunPhase::Closed:
            break;
    }
}

// The run's final call, or its thread gone without one.
void TFrmMain::EndRun() {
    const bool stopAsked = phase_ == RunPhase::Stopping;
    thread_ = nullptr;
    ChangePhase(RunPhase::Ending);
    if (closeAsked_) {
        endCode_ = kEndClosingStopped;
    } else if (!stopAsked) {
        endCode_ = EndCodeOfRun();
    } else {
        endCode_ = EndCodeOfRun() == kEndFailed ? kEndFailed : kEndCancelled;
    }
    RecordLastRun();
    RunFinished(endCode_);
}

void TFrmMain::RunEnded() {
    if (phase_ == RunPhase::Running || phase_ == RunPhase::Stopping) {
        EndRun();
    }
}

void TFrmMain::HarvestThreadFinished(TMyThread* finished) {
    // Normally the final call has already ended the run; a thread that ended
    // without it ends the run all the same.
    if (finished == nullptr || thread_.data() != finished ||
        (phase_ != RunPhase::Running && phase_ != RunPhase::Stopping)) {
        return;
    }
    threadFailure_ = finished->failure().isEmpty() ? kReasonThreadEnded : finished->failure();
    EndRun();
}

// The end code that the run's own ending gives, when nobody stopped it.
std::uint32_t TFrmMain::EndCodeOfRun() const {
    if (!threadFailure_.isEmpty()) {
        return kEndFailed;
    }
    return EndCodeOf(OutcomeOf(report()));
}

// ---------------------------------------------------------------------------
// The end of a run

// golf.ini remembers a run that left courses to be read, and forgets it once
// a run on the same file has read every course.
void TFrmMain::RecordLastRun() {
    const std::filesystem::path ini = settingsPath();
    std::error_code error;
    if (!threadFailure_.isEmpty() || !std::filesystem::is_directory(ini.parent_path(), error)) {
        return;
    }
    const RunOutcome ended = OutcomeOf(report());
    const HarvestRequest& request = harvest_->Request();
    SettingsWriteFailure failure;
    if (ended.coursesLeftToRead) {
        failure = SaveLastRun(
            ini, {outputPath_, AreaOfRows(request.selection.rows), request.output.format});
    } else if (ended.everyCourseInPlace) {
        const std::optional<LastRunRecord> last = LoadLastRun(ini);
        if (last && last->output == outputPath_) {
            failure = ForgetLastRun(ini);
        }
    }
    if (failure) {
        Ask(SettingsNotSavedText(failure), kCaptionError, kErrorBox);
    }
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
            if (Ask(CompletedText(), kCaptionCompleted, kQuestionDefaultNo,
                    PagesNotReadDetails()) == kIdYes) {
                OpenOutputFile();
            }
            break;
        case kEndNothingFound:
            Ask(NothingFoundText(), kCaptionSearchEnded, kErrorNotice, PagesNotReadDetails());
            break;
        case kEndClosing:
        case kEndClosingStopped:
            CloseWindow(code);
            return;
        case kEndUnreachable:
            Ask(UnreachableText(), kCaptionError, kErrorNotice, PagesNotReadDetails());
            break;
        case kEndFailed:
            if (threadFailure_.isEmpty() && report().failure.kind == RunFailureKind::OutputInUse) {
                Ask(kTextFileInUse, kCaptionError, kErrorNotice);
                break;
            }
            if (threadFailure_.isEmpty() &&
                report().failure.kind == RunFailureKind::EarlierFileOtherSelection) {
                Ask(CoursesOutsideText(report().resume.outside, report().failure.path),
                    kCaptionError, kErrorBox);
                break;
            }
            Ask(kTextRunFailed.arg(FailureText()), kCaptionError, kErrorBox, PagesNotReadDetails());
            break;
        case kEndCancelled:
            ShowStoppedRunFiles();
            break;
        default:
            break;
    }
    if (closeAsked_) {
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
        Ask(kTextFileMissing, kCaptionError, kMbOk | kMbIconInformation);
        return;
    }
    if (!environment_.dialogs->OpenWithRegisteredProgram(outputPath_)) {
        Ask(kTextFileNotOpened.arg(QDir::toNativeSeparators(outputPath_)), kCaptionError,
            kErrorNotice);
    }
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

QString TFrmMain::PagesNotReadDetails() const {
    return threadFailure_.isEmpty() ? PagesNotReadText(report().pageFailures) : QString();
}

QString TFrmMain::FailureText() const {
    if (!threadFailure_.isEmpty()) {
        return threadFailure_;
    }
    const RunFailure& failure = report().failure;
    if (failure.kind == RunFailureKind::InvalidPortalSetting && harvest_) {
        const QString problem = PortalSettingsText(harvest_->Request().settings.portal);
        if (!problem.isEmpty()) {
            return QString::fromStdString(
                       FailureHeadline(failure.kind, report().outputFormat, Language::Japanese)) +
                   QStringLiteral(": ") + problem;
        }
    }
    return RunFailureText(failure, report().outputFormat);
}

// A stopped run whose rows stay beside an earlier file says where they are.
void TFrmMain::ShowStoppedRunFiles() {
    const HarvestReport& ended = report();
    if (ended.files != FileOutcome::PartialKept) {
        return;
    }
    // A continued run's partial file holds the earlier run's lines too.
    const int rows = ended.rowsWritten + (ended.resume.resumed ? ended.resume.earlierCourses : 0);
    Ask(kTextStoppedPartialKept.arg(rows).arg(FromPath(ended.partialPath)), kCaptionStopped,
        kMbOk | kMbIconInformation | kMbTopmost, PagesNotReadDetails());
}

// ---------------------------------------------------------------------------
// Progress

void TFrmMain::ProgressStart() {
    if (phase_ == RunPhase::Closed) {
        return;
    }
    prgBar->setValue(0);
    // A range of 0 to 0 would make the bar a busy indicator.
    prgBar->setRange(0, std::max(report().prefectureCount, 1));
    emit progressStarted();
}

void TFrmMain::ProgressStep() {
    if (phase_ == RunPhase::Closed) {
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
    if (phase_ == RunPhase::Closed) {
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

}  // namespace teebasket
