// CliRun: teebasket-cli from its arguments to its exit code: reads the
// settings, resolves the prefectures, runs the harvest engine with the
// terminal's progress and Ctrl-C handling, and says how the run ended.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "HarvestConfig.h"
#include "Unithread.h"

namespace teebasket::cli {

// Everything a run needs, taken from the command line and golf.ini.
struct RunRequest {
    Selection selection;
    HarvestSettings settings;
    std::filesystem::path outputPath;
    bool resume = false;  // continue from the partial file, or else the output file
    bool quiet = false;
};

struct PreparedRun {
    RunRequest request;
    int exitCode = -1;  // >= 0: the program ends with it before any run
    // The text for that ending: the help or version text (stdout, with its
    // line end) for 0, otherwise one line for stderr.
    std::string message;
};

// Turns the arguments (after the program name) into a run, or into an early
// ending: --help, --version, or a usage or settings error (exit 64).
// `executableDir` locates the default golf.ini, `currentFolder` resolves
// relative paths.
PreparedRun PrepareRun(const std::vector<std::string>& arguments,
                       const std::filesystem::path& executableDir,
                       const std::filesystem::path& currentFolder);

// The whole program; returns its exit code.
int RunTeebasketCli(int argc, char** argv);

}  // namespace teebasket::cli
