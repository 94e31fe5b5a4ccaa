// One run: the stop flag, HarvestRun's Execute, the per-prefecture driver and
// the page reads with their retries and pauses.
#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>

#include "RunOutcome.h"
#include "harvest_steps.h"

namespace teebasket {

void StopFlag::Request() {
    {
        const std::lock_guard lock(mutex_);
        requested_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
}

bool StopFlag::SleepFor(std::chrono::milliseconds duration) const {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, duration, [this] { return Requested(); });
}

bool StopFlag::SleepUntil(std::chrono::steady_clock::time_point time) const {
    std::unique_lock lock(mutex_);
    return !wake_.wait_until(lock, time, [this] { return Requested(); });
}

bool IsConnectionFailure(const PageFailure& failure) {
    if (failure.problem != PageProblem::Fetch) {
        return false;
    }
    switch (failure.error) {
        case FetchError::HostNotFound:
        case FetchError::Refused:
        case FetchError::ConnectTimedOut:
        case FetchError::CertificateNotTrusted:
        case FetchError::NameMismatch:
        case FetchError::TrustedFileMissing:
        case FetchError::SecureConnectionFailed:
        case FetchError::TimedOut:
            return true;
        case FetchError::None:
        case FetchError::InvalidAddress:
        case FetchError::ConnectionReset:
        case FetchError::BodyCutShort:
        case FetchError::BrokenAnswer:
        case FetchError::PageTooLarge:
        case FetchError::InsecureRedirect:
        case FetchError::ScratchNotWritten:
        case FetchError::Stopped:
        case FetchError::ClientFailed:
            return false;
    }
    return false;
}

namespace detail {
namespace {

bool IsSuccessStatus(long httpStatus) {
    return httpStatus >= 200 && httpStatus <= 299;
}

// Whether the same request may succeed later: a "try again later" status, or
// a transfer that failed on the way.
bool WorthAnotherAttempt(const FetchResult& result) {
    return result.Stored() ? IsRetryableHttpStatus(result.httpStatus) : result.transient;
}

// The wait before attempt number `attempt` + 1.
std::chrono::milliseconds WaitAfter(const RetryPolicy& policy, int attempt,
                                    const FetchResult& result) {
    if (result.retryAfter) {
        return std::min<std::chrono::milliseconds>(*result.retryAfter, policy.retryAfterCap);
    }
    if (policy.waits.empty()) {
        return std::chrono::milliseconds(0);
    }
    const std::size_t index = std::min<std::size_t>(attempt - 1, policy.waits.size() - 1);
    return policy.waits[index];
}

RunFailure ScratchFailure(const RunState& state, std::error_code error, std::string detail = {}) {
    RunFailure failure = FileFailure(RunFailureKind::ScratchFile, state.request.scratchPath, error);
    failure.detail = std::move(detail);
    return failure;
}

// What the attempt just made comes to, or nothing when another one is worth
// making.
std::optional<PageRead::Outcome> OutcomeOfAttempt(RunState& state, PageRead& read,
                                                  const RetryPolicy& policy) {
    const FetchResult& result = read.last;
    if (result.status == FetchStatus::Stopped) {
        return PageRead::Outcome::Stopped;
    }
    if (result.status == FetchStatus::ScratchNotWritten) {
        FailRun(state,
                ScratchFailure(state, std::error_code(result.systemError, std::generic_category()),
                               result.detail));
        return PageRead::Outcome::RunFailed;
    }
    if (result.Stored() && IsSuccessStatus(result.httpStatus)) {
        if (!LoadPage(state.request.scratchPath, read.page)) {
            FailRun(state, ScratchFailure(state, std::make_error_code(std::errc::io_error)));
            return PageRead::Outcome::RunFailed;
        }
        return PageRead::Outcome::Page;
    }
    if (!WorthAnotherAttempt(result) || read.attempts >= policy.attempts) {
        return PageRead::Outcome::NoPage;
    }
    return std::nullopt;
}

// One page, asked for as often as the retry policy allows.
PageRead Attempt(RunState& state, const std::string& url) {
    const HarvestSettings& settings = state.request.settings;
    FetchOptions options = settings.fetch;
    options.caCertificateFile = settings.portal.caCertificate;
    PageRead read;
    read.outcome = PageRead::Outcome::Stopped;
    while (!state.stop.Requested() && WaitOutPause(state)) {
        ++read.attempts;
        read.last = state.fetcher.Fetch(url, state.request.scratchPath, state.pace.agents, options,
                                        &state.stop);
        if (const std::optional<PageRead::Outcome> outcome =
                OutcomeOfAttempt(state, read, settings.retries)) {
            read.outcome = *outcome;
            return read;
        }
        const std::chrono::milliseconds wait =
            WaitAfter(settings.retries, read.attempts, read.last);
        state.report.retry = {read.attempts, wait, url};
        state.observer.RetryWaiting(state.report);
        state.stop.SleepFor(wait);
    }
    return read;
}

}  // namespace

PageRead ReadPage(RunState& state, const std::string& url, std::chrono::milliseconds pause) {
    PageRead read = Attempt(state, url);
    if (pause.count() > 0 && read.outcome != PageRead::Outcome::RunFailed) {
        state.pace.nextRequestAt = std::chrono::steady_clock::now() + pause;
    }
    return read;
}

bool WaitOutPause(RunState& state) {
    if (std::chrono::steady_clock::now() >= state.pace.nextRequestAt) {
        return !state.stop.Requested();
    }
    return state.stop.SleepUntil(state.pace.nextRequestAt);
}

void NotePageFailure(RunState& state, PageKind kind, const std::string& subject,
                     const std::string& url, const PageRead& read) {
    PageFailure failure;
    failure.kind = kind;
    failure.problem = read.last.Stored() ? PageProblem::HttpStatus : PageProblem::Fetch;
    failure.error = read.last.error;
    failure.httpStatus = read.last.httpStatus;
    failure.detail = read.last.detail;
    failure.attempts = read.attempts;
    failure.subject = subject;
    failure.url = url;
    if (IsConnectionFailure(failure)) {
        state.downloadFailed = true;
        state.report.lastConnectionFailure = failure;
        if (++state.connectionFailuresInARow >= kConnectionFailuresThatEndARun) {
            state.portalGaveUp = true;
            state.stop.Request();
        }
    } else {
        state.connectionFailuresInARow = 0;
    }
    state.report.pageFailures.push_back(std::move(failure));
}

void NotePageAnswered(RunState& state) {
    state.connectionFailuresInARow = 0;
}

bool WriteCourse(RunState& state, const CourseEntry& entry) {
    if (const int error = state.output.WriteCourse(entry); error != 0) {
        FailRun(state, FileFailure(RunFailureKind::OutputNotWritten, state.report.partialPath,
                                   std::error_code(error, std::generic_category())));
        return false;
    }
    if (HistoryNeedsWrittenFacts(state.request)) {
        CourseEntry facts = entry;
        facts.record = CourseRecord();
        state.writtenFacts.insert_or_assign(entry.record[kColumnDetailUrl], std::move(facts));
    }
    return true;
}

void FailRun(RunState& state, RunFailure failure) {
    if (!state.report.failure) {
        state.report.failure = std::move(failure);
    }
    state.stop.Request();
}

void EndWithFailure(HarvestReport& report, RunFailure failure) {
    if (!report.failure) {
        report.failure = std::move(failure);
    }
    report.ending = RunEnding::Failed;
}

}  // namespace detail

void HarvestPrefectures(detail::RunState& state) {
    HarvestReport& report = state.report;
    const Selection& selection = state.request.selection;
    report.prefectureCount = static_cast<int>(selection.rows.size());
    state.observer.ProgressStart(report);
    for (std::size_t k = 0; k < selection.rows.size(); ++k) {
        report.currentPrefecture = selection.displayNames[k];
        state.observer.ProgressStep(report);
        CrawlPrefecture(state, PrefectureSlug(selection.rows[k]));
        if (state.stop.Requested()) {
            break;
        }
    }
}

namespace {

// The portal's course pages, as the output's earlier files name them.
detail::CoursePages CoursePagesOf(const PortalSettings& portal) {
    return {.bookingHost = portal.bookingHost, .detailUrlPrefix = DetailUrl(portal, "")};
}

RunEndFacts EndFactsOf(const HarvestReport& report) {
    return {.ending = report.ending,
            .rowsWritten = report.rowsWritten,
            .coursesKept = report.coursesKept,
            .everyListingRead = report.everyListingRead};
}

}  // namespace

struct HarvestRun::Engine {
    Engine(HarvestRequest request, CrawlPace& pace)
        : request(std::move(request)),
          pace(pace),
          output(this->request.output, CoursePagesOf(this->request.settings.portal)) {}

    void Harvest(HarvestObserver& observer);
    void End(detail::RunState& state, bool began);
    RunEnding Ending(const detail::RunState& state) const;

    HarvestRequest request;
    CrawlPace& pace;
    HarvestReport report;
    StopFlag stop;
    std::atomic<bool> stopAsked{false};  // the caller asked for the stop
    std::atomic<bool> running{true};
    detail::OutputTransaction output;
};

namespace {

RunFailure UnexpectedFailure(std::string detail) {
    RunFailure failure;
    failure.kind = RunFailureKind::Unexpected;
    failure.detail = std::move(detail);
    return failure;
}

// Runs `step`, turning anything it throws into the run's failure.
template <typename Step>
void Guarded(HarvestReport& report, Step&& step) {
    try {
        step();
    } catch (const std::exception& error) {
        detail::EndWithFailure(report, UnexpectedFailure(error.what()));
    } catch (...) {
        detail::EndWithFailure(report, UnexpectedFailure({}));
    }
}

RunFailure SettingsFailure(const HarvestRequest& request) {
    RunFailure failure;
    if (request.scratchPath.empty()) {
        failure.kind = RunFailureKind::NoScratchLocation;
    } else if (std::string problem = PortalSettingsProblem(request.settings.portal);
               !problem.empty()) {
        failure.kind = RunFailureKind::InvalidPortalSetting;
        failure.detail = std::move(problem);
    }
    return failure;
}

void DeleteScratchFile(const std::filesystem::path& scratchPath) {
    if (!scratchPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(scratchPath, ignored);
    }
}

bool AnyListingFailed(const HarvestReport& report) {
    return std::any_of(
        report.pageFailures.begin(), report.pageFailures.end(),
        [](const PageFailure& failure) { return failure.kind == PageKind::Listing; });
}

}  // namespace

void HarvestRun::Engine::Harvest(HarvestObserver& observer) {
    detail::RunState state(request, pace, observer, report, stop, output);
    bool began = false;
    Guarded(report, [&] {
        if ((report.failure = SettingsFailure(request))) {
            return;
        }
        output.RefuseCoursesOutside(request.selection.rows,
                                    [&state](const std::vector<std::string>& wanted) {
                                        return ListSelectionAhead(state, wanted);
                                    });
        if ((report.failure = output.Begin(report))) {
            return;
        }
        began = true;
        HarvestPrefectures(state);
        // The last page's pause is part of the run, as every other one.
        if (!report.failure) {
            detail::WaitOutPause(state);
        }
    });
    End(state, began);
    try {
        observer.RunEnded(report);
    } catch (...) {
        // The caller's own failure; the run is over either way.
    }
}

void HarvestRun::Engine::End(detail::RunState& state, bool began) {
    state.fetcher.Close();
    DeleteScratchFile(request.scratchPath);
    report.everyListingRead = !stop.Requested() && !AnyListingFailed(report);
    report.ending = Ending(state);
    if (began) {
        Guarded(report, [&] {
            if (RunFailure failure = output.Finish(EndFactsOf(report), report)) {
                detail::EndWithFailure(report, std::move(failure));
            }
        });
        // While the output's lock is held, so that no other run replaces
        // the file as it is read.
        detail::KeepInHistory(state);
    }
    output.ReleaseLock();
    // A stop asked for after the end changes nothing.
    stop.Request();
    running.store(false);
}

RunEnding HarvestRun::Engine::Ending(const detail::RunState& state) const {
    if (report.failure) {
        return RunEnding::Failed;
    }
    if (stopAsked.load()) {
        return RunEnding::Stopped;
    }
    if (HasCourses(report)) {
        return state.portalGaveUp ? RunEnding::PortalStoppedAnswering : RunEnding::Finished;
    }
    return state.downloadFailed ? RunEnding::Unreachable : RunEnding::NothingFound;
}

HarvestRun::HarvestRun(HarvestRequest request, CrawlPace& pace)
    : engine_(std::make_unique<Engine>(std::move(request), pace)) {}

HarvestRun::~HarvestRun() = default;

void HarvestRun::Execute(HarvestObserver& observer) {
    engine_->Harvest(observer);
}

void HarvestRun::RequestStop() {
    engine_->stopAsked.store(true);
    engine_->stop.Request();
}

bool HarvestRun::Running() const {
    return engine_->running.load();
}

bool HarvestRun::StopRequested() const {
    return engine_->stop.Requested();
}

void HarvestRun::FinishForExit(std::chrono::milliseconds patience) {
    engine_->output.FinishForExit(patience);
}

const HarvestRequest& HarvestRun::Request() const {
    return engine_->request;
}

const std::filesystem::path& HarvestRun::PartialPath() const {
    return engine_->output.PartialPath();
}

const HarvestReport& HarvestRun::Report() const {
    return engine_->report;
}

}  // namespace teebasket
