// One run: the stop flag, Execute and the per-prefecture driver.
#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>

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

void StopFlag::Reset() {
    const std::lock_guard lock(mutex_);
    requested_.store(false, std::memory_order_release);
}

namespace detail {

PageText FetchPageLines(HarvestContext& context, const std::string& url,
                        std::chrono::milliseconds pause) {
    HarvestRun& run = context.run;
    FetchOptions options = context.settings.fetch;
    options.caCertificateFile = context.settings.portal.caCertificate;
    const FetchResult result = PageFetcher(url, run.scratchPath, context.agents, options);
    if (result.HostUnreachable()) {
        run.downloadFailed = true;
        run.lastFetchFailure = result.reason;
    }
    if (pause.count() > 0) {
        run.stop.SleepFor(pause);
    }
    PageText page;
    if (result.Stored()) {
        LoadPage(run.scratchPath, page);
    }
    return page;
}

bool WriteCsvLine(HarvestRun& run, const std::string& line) {
    if (run.outputFile == nullptr) {
        return false;
    }
    const bool written = std::fwrite(line.data(), 1, line.size(), run.outputFile) == line.size() &&
                         std::fwrite("\r\n", 1, 2, run.outputFile) == 2 &&
                         std::fflush(run.outputFile) == 0;
    if (!written && run.failure.empty()) {
        run.failure = "CSVファイルに書き込めませんでした / could not write the CSV file: " +
                      std::string(std::strerror(errno));
        run.stop.Request();
    }
    return written;
}

}  // namespace detail

namespace {

bool OpenOutputFile(HarvestRun& run) {
    run.outputFile = std::fopen(run.outputPath.c_str(), "wb");
    if (run.outputFile == nullptr) {
        run.failure = "CSVファイルを作成できませんでした / could not create the CSV file: " +
                      run.outputPath.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void CloseOutputFile(HarvestRun& run) {
    if (run.outputFile == nullptr) {
        return;
    }
    const int closed = std::fclose(run.outputFile);
    run.outputFile = nullptr;
    if (closed != 0 && run.failure.empty()) {
        run.failure = "CSVファイルを閉じられませんでした / could not finish the CSV file: " +
                      std::string(std::strerror(errno));
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
    if (detail::WriteCsvLine(run, CsvHeaderLine())) {
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
        }
    } catch (const std::exception& error) {
        run.failure = std::string("取得処理で予期しないエラーが発生しました / unexpected error: ") +
                      error.what();
    } catch (...) {
        run.failure = "取得処理で予期しないエラーが発生しました / unexpected error";
    }
    CloseOutputFile(run);
    DeleteScratchFile(run);
    if (run.rowsWritten == 0 && run.downloadFailed) {
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
