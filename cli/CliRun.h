// CliRun: teebasket-cli from its arguments to its exit code: reads the
// settings, resolves the prefectures, runs the harvest engine with the
// terminal's progress and Ctrl-C handling, and says how the run ended.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "HarvestConfig.h"
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
    // The language of the messages (help, progress, closing lines), from
    // LC_ALL, LC_MESSAGES and LANG.
    Language language = Language::English;
};

struct PreparedRun {
    RunRequest request;
    int exitCode = -1;  // >= 0: the program ends with it before any run
    // The text for that ending: the help or version text (stdout, with its
    // line end) for 0, otherwise one line for stderr.
    std::string message;
};

// Turns the arguments (after the program name) into a run, or into an early
// ending: --help, --version, --list-prefectures, the compare subcommand
// (which runs here, to its end), or a usage or settings error (exit 64).
// `executableDir` locates the default golf.ini, `currentFolder` resolves
// relative paths; `language` is that of the help and the request.
PreparedRun PrepareRun(const std::vector<std::string>& arguments,
                       const std::filesystem::path& executableDir,
                       const std::filesystem::path& currentFolder,
                       Language language = ProcessLanguage());

// How a subcommand ended: its exit code and, when it has one, its text: for
// exit code 0 what goes to standard output, otherwise one line for standard
// error (UTF-8, without its line end).
struct CommandEnding {
    int exitCode = 0;
    std::string message;
};

// `teebasket-cli compare OLD NEW [-o REPORT]`: compares the files of two runs
// and writes the report. Relative paths are taken from `currentFolder`.
CommandEnding RunCompareCommand(const CompareArguments& arguments,
                                const std::filesystem::path& currentFolder, Language language);

// The whole program; returns its exit code. `closedAtStart` says which
// standard descriptors the program was started without: a run to standard
// output (-o -) that was closed is refused before any request.
int RunTeebasketCli(int argc, char** argv, const ClosedStandardDescriptors& closedAtStart = {});

}  // namespace teebasket::cli
