#include "CliRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <system_error>

#include "CliOptions.h"
#include "CliOutcome.h"
#include "OutputFiles.h"
#include "PrefectureNames.h"
#include "ProgramEnvironment.h"
#include "ProgressReport.h"
#include "SignalStop.h"
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

PreparedRun UsageError(const std::string& detail) {
    return EndWith(kExitUsage, UsageErrorMessage(detail));
}

fs::path FromCurrentFolder(const fs::path& path, const fs::path& currentFolder) {
    return path.is_absolute() ? path : currentFolder / path;
}

// The settings file: --config (which must exist), otherwise the golf.ini
// that the window uses.
std::string ChooseSettingsFile(const CommandLine& line, const fs::path& executableDir,
                               const fs::path& currentFolder, fs::path& iniFile) {
    if (line.config) {
        iniFile = FromCurrentFolder(ExpandHome(*line.config), currentFolder);
        if (!IsReadableFile(iniFile)) {
            return "the settings file \"" + PathText(iniFile) + "\" cannot be read";
        }
        return {};
    }
    iniFile = DataFolder(executableDir) / kSettingsFileName;
    return {};
}

// The portal of golf.ini with the command line's overrides. The build's
// default certificate may be missing (the demo portal has not made it yet):
// then only the system's certificates are trusted. A certificate that the
// user named must exist.
std::string ChoosePortal(const CommandLine& line, const fs::path& iniFile,
                         const fs::path& currentFolder, PortalSettings& portal) {
    portal = LoadPortalSettings(iniFile);
    if (line.listingHost) {
        portal.listingHost = *line.listingHost;
    }
    if (line.bookingHost) {
        portal.bookingHost = *line.bookingHost;
    }
    if (std::string problem = PortalSettingsProblem(portal); !problem.empty()) {
        return problem;
    }
    const bool named = line.caCertificate.has_value() ||
                       portal.caCertificate != DefaultPortalSettings().caCertificate;
    if (line.caCertificate) {
        portal.caCertificate =
            line.caCertificate->empty()
                ? fs::path()
                : FromCurrentFolder(ExpandHome(*line.caCertificate), currentFolder);
    }
    if (!portal.caCertificate.empty() && !IsReadableFile(portal.caCertificate)) {
        if (named) {
            return "the certificate file \"" + PathText(portal.caCertificate) + "\" cannot be read";
        }
        portal.caCertificate.clear();
    }
    return {};
}

std::string ChooseRows(const CommandLine& line, const fs::path& iniFile, std::vector<int>& rows) {
    if (line.all) {
        rows.resize(kPrefectureCount);
        std::iota(rows.begin(), rows.end(), 0);
        return {};
    }
    if (!line.prefectures.empty()) {
        ResolvedPrefectures resolved = ResolvePrefectures(line.prefectures);
        rows = std::move(resolved.rows);
        return resolved.error;
    }
    rows = LoadSelectedRows(iniFile);
    if (rows.empty()) {
        return "no prefecture chosen: name some, give --all, or tick them in the window (" +
               PathText(iniFile) + ")";
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
        return UsageError(parsed.error);
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
        CommandEnding ending = RunCompareCommand(*line.compare, currentFolder, language);
        return EndWith(ending.exitCode, std::move(ending.message));
    }
    if (line.all && !line.prefectures.empty()) {
        return UsageError("--all and named prefectures exclude each other");
    }
    const bool toStandardOutput = IsStandardOutput(line.output);
    if (toStandardOutput && line.resume) {
        return UsageError("--resume continues a file, not standard output (-o -)");
    }

    PreparedRun prepared;
    RunRequest& request = prepared.request;
    request.language = language;
    fs::path iniFile;
    if (std::string problem = ChooseSettingsFile(line, executableDir, currentFolder, iniFile);
        !problem.empty()) {
        return UsageError(problem);
    }
    if (std::string problem = ChoosePortal(line, iniFile, currentFolder, request.settings.portal);
        !problem.empty()) {
        return UsageError(problem);
    }
    if (line.pauses) {
        const PortalSettings& portal = request.settings.portal;
        if (std::string problem =
                PauseProblem(*line.pauses, portal.listingHost, portal.bookingHost);
            !problem.empty()) {
            return UsageError(problem);
        }
        request.settings.pauses.afterListing = line.pauses->listing;
        request.settings.pauses.afterDetail = line.pauses->detail;
    }
    std::vector<int> rows;
    if (std::string problem = ChooseRows(line, iniFile, rows); !problem.empty()) {
        return UsageError(problem);
    }
    request.selection = MakeSelection(rows);
    request.format = FormatForOutput(line.format, line.output);
    request.toStandardOutput = toStandardOutput;
    if (!toStandardOutput) {
        request.outputPath = OutputPathFor(line.output, currentFolder, request.format);
    }
    request.resume = line.resume;
    request.quiet = line.quiet;
    return prepared;
}

namespace {

// What a resumed run continues.
struct ResumeStart {
    bool resumed = false;  // there was a file to continue
    bool fromPartial = false;
    fs::path earlierPath;
    EarlierFile earlier;
};

int KeepableLines(const EarlierFile& file) {
    int keepable = 0;
    for (const EarlierLine& line : file.lines) {
        keepable += line.holdsPageFacts ? 1 : 0;
    }
    return keepable;
}

// Finds and reads the file to continue, and readies the partial file for the
// run to add to. Returns the exit code to end with at once, or -1.
int StartResume(const RunRequest& request, OutputFiles& files, ResumeStart& start,
                TerminalProgress& progress) {
    std::error_code error;
    start.fromPartial = fs::exists(files.Partial(), error);
    start.earlierPath = start.fromPartial ? files.Partial() : files.Output();
    if (!start.fromPartial && !fs::exists(files.Output(), error)) {
        // Said even when quiet: the run asked for is not the one that starts.
        progress.Note(NothingToResumeMessage(request.outputPath, files.Partial()));
        return -1;
    }
    if (std::string problem = ReadEarlierFile(start.earlierPath, start.earlier); !problem.empty()) {
        PrintLine(stderr, CannotResumeMessage(problem));
        return kExitUsage;
    }
    const std::string& bookingHost = request.settings.portal.bookingHost;
    if (!start.earlier.lines.empty() && !NamesCoursesOn(start.earlier, bookingHost)) {
        PrintLine(stderr,
                  CannotResumeMessage("the course lines of \"" + PathText(start.earlierPath) +
                                      "\" name pages of another portal, not " + bookingHost));
        return kExitUsage;
    }
    if (std::string problem = files.PrepareToAdd(start.earlier, start.fromPartial);
        !problem.empty()) {
        PrintLine(stderr, CannotWriteMessage(problem));
        return kExitCannotWrite;
    }
    start.resumed = true;
    if (!request.quiet) {
        progress.Note(ResumingMessage(start.earlierPath,
                                      static_cast<int>(start.earlier.lines.size()),
                                      KeepableLines(start.earlier)));
    }
    return -1;
}

bool EveryListingRead(const HarvestRun& run, bool stoppedByUser) {
    return !stoppedByUser && std::none_of(run.pageFailures.begin(), run.pageFailures.end(),
                                          [](const PageFailure& failure) {
                                              return failure.kind == PageKind::Listing;
                                          });
}

RunOutcome OutcomeOf(const HarvestRun& run, bool stoppedByUser, const RunRequest& request,
                     const OutputFiles& files, const ResumeStart& start) {
    RunOutcome outcome;
    outcome.resultCode = run.resultCode.load();
    outcome.stoppedByUser = stoppedByUser;
    outcome.failure = run.failure;
    outcome.rowsWritten = run.rowsWritten;
    outcome.lastFetchFailure = run.lastFetchFailure;
    outcome.pageFailures = run.pageFailures;
    outcome.outputPath = request.outputPath;
    outcome.partialPath = files.Partial();
    outcome.resumed = start.resumed;
    outcome.earlierPath = start.earlierPath;
    outcome.earlierCourses = static_cast<int>(start.earlier.lines.size());
    outcome.coursesKept = run.coursesKept;
    return outcome;
}

// Leaves the files as the run's outcome asks, and notes what became of them
// in `outcome`.
void PutFilesInPlace(const OutputFiles& files, const ResumePlan* plan, const HarvestRun& run,
                     RunOutcome& outcome) {
    RunFacts facts;
    facts.resumed = plan != nullptr;
    facts.failed = !run.failure.empty();
    facts.rowsWritten = run.rowsWritten;
    facts.coursesKept = run.coursesKept;
    facts.everyListingRead = EveryListingRead(run, outcome.stoppedByUser);
    facts.earlierHadCourses = plan != nullptr && plan->EarlierHadCourses();
    facts.earlierNamesThisRun = plan != nullptr && plan->EarlierNamesThisRun();
    outcome.ending = ChooseEnding(facts);

    std::string problem;
    switch (outcome.ending) {
        case FileEnding::ReplaceOutput:
            problem = files.ReplaceOutput();
            break;
        case FileEnding::ComposeOutput: {
            EarlierFile journal;
            problem = ReadEarlierFile(files.Partial(), journal);
            if (problem.empty()) {
                const std::vector<std::string> lines =
                    plan->FinishedLines(journal, !facts.everyListingRead);
                outcome.linesInFile = static_cast<int>(lines.size());
                problem = files.ComposeOutput(lines);
            }
            break;
        }
        case FileEnding::KeepPartial:
            break;
        case FileEnding::LeaveAsBefore:
        case FileEnding::AnotherSelection:
        case FileEnding::SelectionUndecided:
            files.LeaveAsBefore();
            break;
    }
    if (!problem.empty()) {
        outcome.ending = FileEnding::KeepPartial;
        outcome.failure =
            "CSVファイルを置き換えられませんでした / could not finish the CSV file: " + problem +
            ".";
    }
}

}  // namespace

int RunTeebasketCli(int argc, char** argv) {
    PrepareProcess();
    const PreparedRun prepared =
        PrepareRun(ArgumentsAsUtf8(argc, argv), ExecutableFolder(), CurrentFolder());
    if (prepared.exitCode == kExitRowsWritten) {  // --help, --version
        WriteText(stdout, prepared.message);
        return kExitRowsWritten;
    }
    if (prepared.exitCode >= 0) {
        PrintLine(stderr, prepared.message);
        return prepared.exitCode;
    }
    const RunRequest& request = prepared.request;
    TerminalProgress progress(stderr, IsTerminal(stderr), request.quiet);

    OutputFiles files(request.outputPath);
    files.RemoveLeftoverComposed();
    ResumeStart start;
    if (request.resume) {
        if (const int code = StartResume(request, files, start, progress); code >= 0) {
            return code;
        }
    } else if (std::error_code error; fs::exists(files.Partial(), error)) {
        progress.Note(PartialReplacedMessage(files.Partial()));  // even when quiet: rows are lost
    }
    std::optional<ResumePlan> plan;
    if (start.resumed) {
        plan.emplace(start.earlier, request.settings.portal);
    }

    // A folder only this process uses, for the engine's scratch file: the
    // window's tmp.dat may be in use by a run of the window at the same time.
    fs::path scratchFolder;
    if (std::string problem = MakeScratchFolder(scratchFolder); !problem.empty()) {
        if (start.resumed) {
            files.LeaveAsBefore();
        }
        PrintLine(stderr, CannotWriteMessage(problem));
        return kExitCannotWrite;
    }

    HarvestRun run;
    run.Reset(files.Partial(), scratchFolder / kScratchFileName);
    run.outputOptions.append = start.resumed;
    run.outputOptions.syncEachLine = true;
    run.keptCourses = plan ? &*plan : nullptr;
    UserAgentGenerator agents;
    std::atomic<bool> stoppedByUser{false};
    // Lives until the program returns: a Ctrl-C after the run, while the
    // closing line waits on a standard error that nobody reads, still ends
    // the program with 2, and never by the signal's default action.
    SignalStop signals(
        [&] {
            stoppedByUser.store(true);
            run.stop.Request();
            progress.Note(
                "中断します（もう一度 Ctrl-C で即時終了）。 / Stopping after the current "
                "step; press Ctrl-C again to quit at once.");
        },
        [&] {
            // As a kill would, but the row being written is finished, or
            // cut back, so the partial file ends with a whole line.
            run.output.FinishForExit(kPatienceForTheLastRow);
            std::error_code ignored;
            fs::remove_all(scratchFolder, ignored);
            progress.Note(StoppedAtOnceMessage(files.Partial()));
            std::_Exit(kExitStopped);
        });
    HarvestContext context{run, request.selection, request.settings, agents, progress};
    Execute(context);
    std::error_code ignored;
    fs::remove_all(scratchFolder, ignored);

    RunOutcome outcome = OutcomeOf(run, stoppedByUser.load(), request, files, start);
    PutFilesInPlace(files, plan ? &*plan : nullptr, run, outcome);

    for (const PageFailure& failure : outcome.pageFailures) {
        PrintLine(stderr, PageFailureLine(failure));
    }
    const ExitCode code = ExitCodeFor(outcome);
    if (code != kExitRowsWritten || !request.quiet) {
        PrintLine(stderr, OutcomeMessage(outcome));
    }
    return code;
}

}  // namespace teebasket::cli
