// One run: the stop flag, Execute and the per-prefecture driver.
#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>

#include "harvest_steps.h"
#include "path_text.h"

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

void StopFlag::Reset() {
    const std::lock_guard lock(mutex_);
    requested_.store(false, std::memory_order_release);
}

void HarvestRun::Reset(std::filesystem::path output, std::filesystem::path scratch) {
    std::string ignored;
    this->output.Close(ignored);
    fetcher.Close();
    outputPath = std::move(output);
    scratchPath = std::move(scratch);
    outputOptions = OutputOptions{};
    keptCourses = nullptr;
    running = false;
    resultCode = kResultNoRow;
    stop.Reset();
    prefectureCount = 0;
    courseTotal = 0;
    courseIndex = 0;
    currentPrefecture.clear();
    rowsWritten = 0;
    coursesKept = 0;
    downloadFailed = false;
    lastFetchFailure.clear();
    pageFailures.clear();
    failure.clear();
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

void FailRun(HarvestRun& run, const std::string& reason) {
    if (run.failure.empty()) {
        run.failure = reason;
    }
    run.stop.Request();
}

PageRead::Outcome LoadPageBytes(HarvestRun& run, PageRead& read) {
    if (!LoadPage(run.scratchPath, read.page)) {
        FailRun(run, "作業ファイルを読み込めませんでした / could not read the scratch file " +
                         PathText(run.scratchPath));
        return PageRead::Outcome::RunFailed;
    }
    return PageRead::Outcome::Page;
}

// What the attempt just made comes to, or nothing when another one is worth
// making.
std::optional<PageRead::Outcome> OutcomeOfAttempt(HarvestRun& run, PageRead& read,
                                                  const RetryPolicy& policy) {
    const FetchResult& result = read.last;
    if (result.status == FetchStatus::Stopped) {
        return PageRead::Outcome::Stopped;
    }
    if (result.status == FetchStatus::ScratchNotWritten) {
        FailRun(run, "作業ファイルに書き込めませんでした / could not write the scratch file: " +
                         result.reason);
        return PageRead::Outcome::RunFailed;
    }
    if (result.Stored() && IsSuccessStatus(result.httpStatus)) {
        return LoadPageBytes(run, read);
    }
    if (!WorthAnotherAttempt(result) || read.attempts >= policy.attempts) {
        return PageRead::Outcome::NoPage;
    }
    return std::nullopt;
}

// One page, asked for as often as the retry policy allows.
PageRead Attempt(HarvestContext& context, const std::string& url) {
    HarvestRun& run = context.run;
    const RetryPolicy& policy = context.settings.retries;
    FetchOptions options = context.settings.fetch;
    options.caCertificateFile = context.settings.portal.caCertificate;
    PageRead read;
    read.outcome = PageRead::Outcome::Stopped;
    while (!run.stop.Requested() && WaitOutPause(run)) {
        ++read.attempts;
        read.last = run.fetcher.Fetch(url, run.scratchPath, context.agents, options, &run.stop);
        if (const std::optional<PageRead::Outcome> outcome = OutcomeOfAttempt(run, read, policy)) {
            read.outcome = *outcome;
            return read;
        }
        run.stop.SleepFor(WaitAfter(policy, read.attempts, read.last));
    }
    return read;
}

std::string FailureReason(const PageRead& read) {
    std::string reason =
        read.last.Stored() ? "HTTP " + std::to_string(read.last.httpStatus) : read.last.reason;
    if (read.attempts > 1) {
        reason += " (" + std::to_string(read.attempts) + " attempts)";
    }
    return reason;
}

}  // namespace

PageRead ReadPage(HarvestContext& context, const std::string& url,
                  std::chrono::milliseconds pause) {
    HarvestRun& run = context.run;
    PageRead read = Attempt(context, url);
    if (read.outcome == PageRead::Outcome::NoPage && read.last.HostUnreachable()) {
        run.downloadFailed = true;
        run.lastFetchFailure = read.last.reason;
    }
    if (pause.count() > 0 && read.outcome != PageRead::Outcome::RunFailed) {
        run.nextRequestAt = std::chrono::steady_clock::now() + pause;
    }
    return read;
}

bool WaitOutPause(HarvestRun& run) {
    const auto left = run.nextRequestAt - std::chrono::steady_clock::now();
    if (left <= left.zero()) {
        return !run.stop.Requested();
    }
    return run.stop.SleepFor(std::chrono::ceil<std::chrono::milliseconds>(left));
}

void NotePageFailure(HarvestRun& run, PageKind kind, const std::string& subject,
                     const std::string& url, const PageRead& read, int csvLine) {
    PageFailure failure;
    failure.kind = kind;
    failure.subject = subject;
    failure.url = url;
    failure.reason = FailureReason(read);
    failure.httpStatus = read.last.httpStatus;
    failure.csvLine = csvLine;
    run.pageFailures.push_back(std::move(failure));
}

bool WriteCsvLine(HarvestRun& run, const std::string& line) {
    std::string error;
    if (run.output.WriteLine(line, error)) {
        return true;
    }
    FailRun(run, "CSVファイルに書き込めませんでした / could not write the CSV file: " + error);
    return false;
}

}  // namespace detail

namespace {

bool OpenOutputFile(HarvestRun& run) {
    std::string error;
    if (!run.output.Open(run.outputPath, error, run.outputOptions)) {
        run.failure = "CSVファイルを作成できませんでした / could not create the CSV file: " + error;
        return false;
    }
    return true;
}

void CloseOutputFile(HarvestRun& run) {
    std::string error;
    if (!run.output.Close(error) && run.failure.empty()) {
        run.failure = "CSVファイルを閉じられませんでした / could not finish the CSV file: " + error;
    }
}

void DeleteScratchFile(const HarvestRun& run) {
    if (run.scratchPath.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(run.scratchPath, ignored);
}

}  // namespace

void HarvestPrefectures(HarvestContext& context) {
    HarvestRun& run = context.run;
    if (!OpenOutputFile(run)) {
        return;
    }
    // A file that the run adds to holds its header line already.
    if (run.outputOptions.append || detail::WriteCsvLine(run, CsvHeaderLine())) {
        run.prefectureCount = static_cast<int>(context.selection.rows.size());
        context.observer.ProgressStart(run);
        for (std::size_t k = 0; k < context.selection.rows.size(); ++k) {
            run.currentPrefecture = context.selection.displayNames[k];
            const std::string slug = PrefectureSlug(context.selection.rows[k]);
            context.observer.ProgressStep(run);
            CrawlPrefecture(context, slug);
            if (run.stop.Requested()) {
                break;
            }
        }
    }
    CloseOutputFile(run);
}

void Execute(HarvestContext& context) {
    HarvestRun& run = context.run;
    run.running = true;
    run.resultCode = kResultNoRow;
    try {
        if (run.scratchPath.empty()) {
            run.failure = "作業ファイルの場所がありません / no scratch file location";
        } else if (const std::string problem = PortalSettingsProblem(context.settings.portal);
                   !problem.empty()) {
            run.failure = "ポータルの設定が正しくありません / invalid portal setting: " + problem;
        } else {
            HarvestPrefectures(context);
            // The last page's pause is part of the run, as every other one.
            if (run.failure.empty()) {
                detail::WaitOutPause(run);
            }
        }
    } catch (const std::exception& error) {
        run.failure = std::string("取得処理で予期しないエラーが発生しました / unexpected error: ") +
                      error.what();
    } catch (...) {
        run.failure = "取得処理で予期しないエラーが発生しました / unexpected error";
    }
    CloseOutputFile(run);
    run.fetcher.Close();
    DeleteScratchFile(run);
    if (run.rowsWritten == 0 && run.coursesKept == 0 && run.downloadFailed) {
        run.resultCode = kResultSiteUnreachable;
    }
    run.running = false;
    run.stop.Request();
    try {
        context.observer.RunEnded(run);
    } catch (...) {
        // The caller's own failure; the run is over either way.
    }
}

}  // namespace teebasket
