#include "CliRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <system_error>

#include "CliOptions.h"
#include "CliOutcome.h"
#include "HarvestConfig.h"
#include "PrefectureNames.h"
#include "ProgramEnvironment.h"
#include "ProgressReport.h"
#include "ScheduleCommand.h"
#include "SignalStop.h"
#include "SystemText.h"
#include "TerminalStream.h"
#include "path_text.h"

#ifndef TEEBASKET_VERSION
#define TEEBASKET_VERSION "unknown"
#endif

namespace teebasket::cli {

namespace fs = std::filesystem;

namespace {

// How long a second Ctrl-C waits for a row being written to be finished.
constexpr std::chrono::milliseconds kPatienceForTheLastRow{2000};

PreparedRun EndWith(int exitCode, std::string message) {
    PreparedRun prepared;
    prepared.exitCode = exitCode;
    prepared.message = std::move(message);
    return prepared;
}

PreparedRun UsageError(const UsageProblem& problem) {
    return EndWith(kExitUsage, UsageErrorMessage(problem));
}

fs::path FromCurrentFolder(const fs::path& path, const fs::path& currentFolder) {
    return path.is_absolute() ? path : currentFolder / path;
}

// The compare subcommand's files; "-o -" puts the report on standard output.
CompareRequest CompareRequestFor(const CompareArguments& arguments, const fs::path& currentFolder) {
    const auto fromHere = [&currentFolder](const std::string& utf8) {
        return FromCurrentFolder(PathFromUtf8(utf8), currentFolder);
    };
    CompareRequest request;
    request.oldPath = fromHere(arguments.oldFile);
    request.newPath = fromHere(arguments.newFile);
    if (arguments.report && *arguments.report == "-") {
        request.reportToStandardOutput = true;
    } else if (arguments.report) {
        request.reportPath = fromHere(*arguments.report);
    }
    return request;
}

// The settings file: --config (which must exist), otherwise the golf.ini
// that the window uses.
UsageProblem ChooseSettingsFile(const CommandLine& line, const fs::path& executableDir,
                                const fs::path& currentFolder, fs::path& iniFile) {
    if (line.config) {
        iniFile = FromCurrentFolder(ExpandHome(*line.config), currentFolder);
        if (!IsReadableFile(iniFile)) {
            return {"the settings file \"" + PathText(iniFile) + "\" cannot be read",
                    "設定ファイル \"" + PathText(iniFile) + "\" を読み込めません"};
        }
        return {};
    }
    iniFile = DataFolder(executableDir) / kSettingsFileName;
    return {};
}

// Which host of `portal` cannot be used, in Japanese.
std::string PortalHostJapanese(const PortalSettings& portal) {
    const bool listing = !PortalHostProblem(portal.listingHost).empty();
    const std::string& host = listing ? portal.listingHost : portal.bookingHost;
    return std::string(listing ? "一覧のホスト（ListingHost、--listing-host）"
                               : "詳細ページのホスト（BookingHost、--booking-host）") +
           "の \"" + PrintableText(host) +
           "\" は接続先として使えません。ホスト名、または ホスト名:ポート番号 で指定します";
}

// The portal of golf.ini with the command line's overrides. The build's
// default certificate may be missing (the demo portal has not made it yet):
// then only the system's certificates are trusted. A certificate that the
// user named must exist.
UsageProblem ChoosePortal(const CommandLine& line, const fs::path& iniFile,
                          const fs::path& currentFolder, PortalSettings& portal) {
    portal = LoadPortalSettings(iniFile);
    if (line.listingHost) {
        portal.listingHost = *line.listingHost;
    }
    if (line.bookingHost) {
        portal.bookingHost = *line.bookingHost;
    }
    if (std::string problem = PortalSettingsProblem(portal); !problem.empty()) {
        return {problem, PortalHostJapanese(portal)};
    }
    const bool named = line.caCertificate.has_value() ||
                       portal.caCertificate != DefaultPortalSettings().caCertificate;
    if (line.caCertificate) {
        portal.caCertificate = line.caCertificate->empty()
                                   ? fs::path()
                                   : CertificatePath(*line.caCertificate, currentFolder);
    }
    if (!portal.caCertificate.empty() && !IsReadableFile(portal.caCertificate)) {
        if (named) {
            const std::string certificate = "\"" + PathText(portal.caCertificate) + "\"";
            return {"the certificate file " + certificate + " cannot be read",
                    "証明書のファイル " + certificate + " を読み込めません"};
        }
        portal.caCertificate.clear();
    }
    return {};
}

UsageProblem ChooseRows(const CommandLine& line, const fs::path& iniFile, std::vector<int>& rows) {
    if (line.all) {
        rows.resize(kPrefectureCount);
        std::iota(rows.begin(), rows.end(), 0);
        return {};
    }
    if (!line.prefectures.empty()) {
        ResolvedPrefectures resolved = ResolvePrefectures(line.prefectures);
        rows = std::move(resolved.rows);
        return {resolved.error, resolved.errorJapanese};
    }
    rows = LoadSelectedRows(iniFile);
    if (rows.empty()) {
        return {"no prefecture chosen: name some, give --all, or tick them in the window (" +
                    PathText(iniFile) + ")",
                "都道府県が選ばれていません。都道府県を指定するか、--all を付けるか、ウィンドウで"
                "選んでください（" +
                    PathText(iniFile) + "）"};
    }
    return {};
}

fs::path CurrentFolder() {
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? fs::path(".") : folder;
}

// Writes one line to standard error; used after the progress has ended.
void PrintLine(std::FILE* stream, const std::string& line) {
    WriteText(stream, line + "\n");
}

}  // namespace

PreparedRun PrepareRun(const std::vector<std::string>& arguments, const fs::path& executableDir,
                       const fs::path& currentFolder, Language language) {
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        return UsageError({parsed.error, parsed.errorJapanese});
    }
    const CommandLine& line = parsed.values;
    if (line.help) {
        return EndWith(kExitRowsWritten, UsageText(language));
    }
    if (line.version) {
        return EndWith(kExitRowsWritten, std::string("teebasket-cli ") + TEEBASKET_VERSION + "\n");
    }
    if (line.listPrefectures) {
        return EndWith(kExitRowsWritten, PrefectureListText());
    }
    if (line.compare) {
        PreparedRun prepared;
        prepared.compare = CompareRequestFor(*line.compare, currentFolder);
        return prepared;
    }
    if (line.history) {
        fs::path iniFile;
        if (UsageProblem problem = ChooseSettingsFile(line, executableDir, currentFolder, iniFile);
            !problem.empty()) {
            return UsageError(problem);
        }
        PreparedRun prepared;
        prepared.history =
            HistoryRequest{history::HistoryFolderIn(iniFile.parent_path()), line.history->json};
        return prepared;
    }
    if (line.all && !line.prefectures.empty()) {
        return UsageError({"--all and named prefectures exclude each other",
                           "--all と都道府県の指定は一緒に使えません"});
    }
    const bool toStandardOutput = IsStandardOutput(line.output);
    if (toStandardOutput && line.resume) {
        return UsageError(
            {"--resume continues a file, not standard output (-o -)",
             "--resume で続けられるのはファイルで、標準出力（-o -）は続けられません"});
    }

    PreparedRun prepared;
    RunRequest& request = prepared.request;
    fs::path iniFile;
    if (UsageProblem problem = ChooseSettingsFile(line, executableDir, currentFolder, iniFile);
        !problem.empty()) {
        return UsageError(problem);
    }
    if (UsageProblem problem = ChoosePortal(line, iniFile, currentFolder, request.settings.portal);
        !problem.empty()) {
        return UsageError(problem);
    }
    if (line.pauses) {
        const PortalSettings& portal = request.settings.portal;
        if (UsageProblem problem =
                PauseProblem(*line.pauses, portal.listingHost, portal.bookingHost);
            !problem.empty()) {
            return UsageError(problem);
        }
        request.settings.pauses.afterListing = line.pauses->listing;
        request.settings.pauses.afterDetail = line.pauses->detail;
    }
    std::vector<int> rows;
    if (UsageProblem problem = ChooseRows(line, iniFile, rows); !problem.empty()) {
        return UsageError(problem);
    }
    request.selection = MakeSelection(rows);
    request.format = FormatForOutput(line.format, line.output);
    if (toStandardOutput && request.format == OutputFormat::Xlsx) {
        return UsageError(
            {"a workbook is written whole at the end, not to standard output (-o -)",
             "Excelブックは最後にまとめて書くため、標準出力（-o -）には出力できません"});
    }
    request.toStandardOutput = toStandardOutput;
    if (!toStandardOutput) {
        request.outputPath = OutputPathFor(line.output, currentFolder, request.format);
    }
    request.resume = line.resume;
    request.quiet = line.quiet;
    if (!toStandardOutput && !line.noHistory) {
        // The history lives where golf.ini does, the window's or --config's.
        request.historyFolder = history::HistoryFolderIn(iniFile.parent_path());
    }
    return prepared;
}

namespace {

// The terminal's progress, and the notes on the files once the run has begun
// them.
class CliObserver : public HarvestObserver {
  public:
    CliObserver(TerminalProgress& progress, bool quiet) : progress_(progress), quiet_(quiet) {}

    void ProgressStart(const HarvestReport& report) override {
        for (const std::string& note : StartNotes(report, quiet_)) {
            progress_.Note(note);
        }
        progress_.ProgressStart(report);
    }
    void ProgressStep(const HarvestReport& report) override { progress_.ProgressStep(report); }
    void StatusUpdate(const HarvestReport& report) override { progress_.StatusUpdate(report); }
    void RunEnded(const HarvestReport& report) override { progress_.RunEnded(report); }

  private:
    TerminalProgress& progress_;
    bool quiet_;
};

HarvestRequest EngineRequest(const RunRequest& request, const fs::path& scratchFolder) {
    HarvestRequest engine;
    engine.selection = request.selection;
    engine.settings = request.settings;
    engine.output.path = request.outputPath;
    engine.output.toStandardOutput = request.toStandardOutput;
    engine.output.format = request.format;
    engine.output.resume = request.resume;
    engine.output.syncEachLine = true;
    engine.scratchPath = scratchFolder / kScratchFileName;
    engine.historyFolder = request.historyFolder;
    return engine;
}

}  // namespace

int RunTeebasketCli(int argc, char** argv, const ClosedStandardDescriptors& closedAtStart) {
    PrepareProcess();
    const std::vector<std::string> arguments = ArgumentsAsUtf8(argc, argv);
    if (!arguments.empty() && arguments.front() == kScheduleCommandName) {
        return RunScheduleCommand({arguments.begin() + 1, arguments.end()}, closedAtStart);
    }
    const PreparedRun prepared = PrepareRun(arguments, ExecutableFolder(), CurrentFolder());
    if (prepared.exitCode == kExitRowsWritten) {  // --help, --version
        WriteText(stdout, prepared.message);
        return kExitRowsWritten;
    }
    if (prepared.exitCode >= 0) {
        PrintLine(stderr, prepared.message);
        return prepared.exitCode;
    }
    if (prepared.compare) {
        return RunCompare(*prepared.compare, stdout, stderr);
    }
    if (prepared.history) {
        return RunHistoryList(*prepared.history, stdout, ProcessLanguage());
    }
    return ExecuteRun(prepared.request, closedAtStart);
}

int ExecuteRun(const RunRequest& request, const ClosedStandardDescriptors& closedAtStart,
               HarvestReport* finished) {
    if (request.toStandardOutput && closedAtStart.output) {
        // It is the null device now: every row would be lost, and the run
        // would say it wrote them.
        PrintLine(stderr, CannotWriteMessage("standard output (-o -) is closed"));
        return kExitCannotWrite;
    }
    TerminalProgress progress(stderr, IsTerminal(stderr), request.quiet);

    // A folder only this process uses, for the engine's scratch file: the
    // window's tmp.dat may be in use by a run of the window at the same time.
    fs::path scratchFolder;
    if (std::string problem = MakeScratchFolder(scratchFolder); !problem.empty()) {
        PrintLine(stderr, CannotWriteMessage(problem));
        return kExitCannotWrite;
    }
    CrawlPace pace;
    HarvestRun run(EngineRequest(request, scratchFolder), pace);
    // Lives until the program returns: a Ctrl-C after the run, while the
    // closing line waits on a standard error that nobody reads, still ends
    // the program with 2, and never by the signal's default action.
    SignalStop signals(
        [&] {
            run.RequestStop();
            progress.Note(
                "中断します（もう一度 Ctrl-C で即時終了）。 / Stopping after the current "
                "step; press Ctrl-C again to quit at once.");
        },
        [&] {
            // As a kill would, but the row being written is finished, or
            // cut back, so the partial file ends with a whole line.
            run.FinishForExit(kPatienceForTheLastRow);
            std::error_code ignored;
            fs::remove_all(scratchFolder, ignored);
            progress.Note(StoppedAtOnceMessage(run.PartialPath()));
            std::_Exit(kExitStopped);
        });
    CliObserver observer(progress, request.quiet);
    run.Execute(observer);
    std::error_code ignored;
    fs::remove_all(scratchFolder, ignored);

    // Through the notes' way to standard error, which never waits long: a
    // standard error that nobody reads cannot hold up the end either.
    const HarvestReport& report = run.Report();
    for (const PageFailure& failure : report.pageFailures) {
        progress.Note(PageFailureLine(failure));
    }
    const ExitCode code = ExitCodeFor(report);
    if (code != kExitRowsWritten || !request.quiet) {
        for (const std::string& line : OutcomeLines(report)) {
            progress.Note(line);
        }
    }
    if (const std::string warning = HistoryWarning(report); !warning.empty()) {
        progress.Note(warning);
    }
    if (finished != nullptr) {
        *finished = report;
    }
    return code;
}

}  // namespace teebasket::cli
