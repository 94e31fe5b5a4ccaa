// Runs a program of the CLI tests to its end: in a folder, with its standard
// output and error caught in files there, and the teebasket-cli under test
// (through Wine's launcher for the Windows build).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace teebasket::test {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `command` (its first word looked up in PATH) in `folder` with
// `environment`, or this process's environment when none is given, and waits
// for it (a failure after two minutes, when it is killed).
ProgramRun RunInFolder(const std::filesystem::path& folder, std::vector<std::string> command,
                       const std::optional<std::vector<std::string>>& environment = std::nullopt);

// The words that start the teebasket-cli under test: the launcher of
// TEEBASKET_TEST_CLI_LAUNCHER, when set, and TEEBASKET_TEST_CLI or the
// build's own program.
std::vector<std::string> CliCommand();

// The Wine prefix of the launcher, as scripts/run-under-wine chooses it.
std::filesystem::path WinePrefix();

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace teebasket::test
