// CliRun: teebasket-cli from its arguments to its exit code: reads the
// settings, resolves the prefectures, runs the harvest engine with the
// terminal's progress and Ctrl-C handling, and says how the run ended.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "CompareCommand.h"
#include "HarvestConfig.h"
#include "HistoryCommand.h"
#include "Language.h"
#include "Unithread.h"
#include "standard_descriptors.h"

namespace teebasket::cli {

// Everything a run needs, taken from the command line and golf.ini.
struct RunRequest {
    Selection selection;
    HarvestSettings settings;
    std::filesystem::path outputPath;  // empty when toStandardOutput
    // "-o -": the records go to standard output, and only there; progress
    // and messages stay on standard error. Never with resume.
    bool toStandardOutput = false;
    OutputFormat format = OutputFormat::Csv;  // --format, or from the output's extension
    bool resume = false;  // continue from the partial file, or else the output file
    bool quiet = false;
    // The history of runs beside golf.ini that keeps the run; empty with
    // --no-history and for standard output.
    std::filesystem::path historyFolder;
};

struct PreparedRun {
    RunRequest request;
    // The compare subcommand to run instead of a harvest, its paths resolved.
    std::optional<CompareRequest> compare;
    // The history subcommand to run instead of a harvest.
    std::optional<HistoryRequest> history;
    int exitCode = -1;  // >= 0: the program ends with it before any run
    // The text for that ending: the help or version text (stdout, with its
    // line end) for 0, otherwise one line for stderr.
    std::string message;
};

// Turns the arguments (after the program name) into a run, into the compare
// or history subcommand's request, or into an early ending: --help, --version,
// --list-prefectures, or a usage or settings error (exit 64). Runs nothing.
// `executableDir` locates the default golf.ini, `currentFolder` resolves
// relative paths; `language` is that of the help.
PreparedRun PrepareRun(const std::vector<std::string>& arguments,
                       const std::filesystem::path& executableDir,
                       const std::filesystem::path& currentFolder,
                       Language language = ProcessLanguage());

// Runs the harvest that `request` asks for, with the terminal's progress and
// Ctrl-C handling, and says how it ended on standard error; returns the exit
// code, and the run's report in `finished` when given.
int ExecuteRun(const RunRequest& request, const ClosedStandardDescriptors& closedAtStart,
               HarvestReport* finished = nullptr);

// The whole program; returns its exit code. `closedAtStart` says which
// standard descriptors the program was started without: a run to standard
// output (-o -) that was closed is refused before any request.
int RunTeebasketCli(int argc, char** argv, const ClosedStandardDescriptors& closedAtStart = {});

}  // namespace teebasket::cli
