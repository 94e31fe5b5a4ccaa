// CliOptions: the command line of teebasket-cli, parsed into values, and the
// rules that turn those values into a run (output name, pauses, hosts).
//
// Nothing here touches the network or the settings file; every function is
// plain and testable. Texts are UTF-8, as the terminal hands them over. The
// parsing itself is CLI11's, which stays inside cli_options.cpp.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Language.h"
#include "OutputFormat.h"

namespace teebasket::cli {

inline constexpr const char* kDefaultOutputName = "ゴルフ場一覧.csv";
// The default name before the format's extension.
inline constexpr const char* kDefaultOutputStem = "ゴルフ場一覧";

// The pauses of a production run; shorter ones are for a portal on this
// machine only.
inline constexpr std::chrono::milliseconds kMinimumListingPause{1000};
inline constexpr std::chrono::milliseconds kMinimumDetailPause{300};
// Longer pauses are surely a typing error (one hour).
inline constexpr std::chrono::milliseconds kMaximumPause{3'600'000};

struct PauseArgument {
    std::chrono::milliseconds listing{0};
    std::chrono::milliseconds detail{0};
};

// The arguments of `teebasket-cli compare OLD NEW [-o REPORT]`, as typed.
struct CompareArguments {
    std::string oldFile;
    std::string newFile;
    std::optional<std::string> report;  // "-" is standard output
};

// The arguments of `teebasket-cli history [--json]`.
struct HistoryArguments {
    bool json = false;  // one JSON object per run instead of the table
};

struct CommandLine {
    bool help = false;
    bool version = false;
    bool listPrefectures = false;
    bool quiet = false;
    bool all = false;
    bool resume = false;
    bool noHistory = false;                // the run is not kept in the history of runs
    std::vector<std::string> prefectures;  // as typed: code, name or romaji name
    std::optional<std::string> output;     // "-" is standard output
    std::optional<OutputFormat> format;    // nothing: from the output's extension
    std::optional<std::string> config;
    std::optional<std::string> listingHost;
    std::optional<std::string> bookingHost;
    std::optional<std::string> caCertificate;  // "" asks for no extra certificate
    std::optional<PauseArgument> pauses;
    std::optional<CompareArguments> compare;  // the compare subcommand was given
    std::optional<HistoryArguments> history;  // the history subcommand was given
};

// A mistake on the command line or in the settings, said in each language
// (UTF-8, one line each); empty when there is none.
struct UsageProblem {
    std::string english;
    std::string japanese;

    bool empty() const { return english.empty(); }
};

struct ParsedCommandLine {
    CommandLine values;
    std::string error;          // UTF-8, one line; empty when the command line is good
    std::string errorJapanese;  // the same in Japanese
};

// Parses the arguments after the program name, with the conventions of
// getopt: an option's value is the next argument, or follows "=" (--output=a.csv,
// --ca-cert= for an empty one) or its short name (-oa.csv); short flags
// combine (-qo FILE); "--" ends the options; a repeated option keeps its last
// value. `compare OLD NEW [-o REPORT]` and `history [--json]` (which takes
// --config too) are subcommands of their own. Never throws.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Whether the output named on the command line is standard output ("-").
bool IsStandardOutput(const std::optional<std::string>& output);

// The format of the run: `chosen` (--format) when given; otherwise the one
// the output's extension names in any case (.xlsx, .jsonl; .csv is the
// code-page-932 CSV); otherwise the code-page-932 CSV.
OutputFormat FormatForOutput(const std::optional<OutputFormat>& chosen,
                             const std::optional<std::string>& output);

// "LISTING,DETAIL" in milliseconds, e.g. "1000,300"; nothing when malformed
// or above kMaximumPause.
std::optional<PauseArgument> ParsePauses(const std::string& text);

// Why `pauses` may not be used with these hosts (UTF-8), or "": pauses below
// 1000 ms after a listing page or 300 ms after a detail page are for a portal
// on this machine only.
UsageProblem PauseProblem(const PauseArgument& pauses, const std::string& listingHost,
                          const std::string& bookingHost);

// The output file for `given` (nothing: the default name in `currentFolder`):
// a folder (an existing one, or a name ending in "/") receives the default
// name; the format's extension (".csv") is appended unless the name ends in
// it in any case, as the window does. A relative path is taken from
// `currentFolder`.
std::filesystem::path OutputPathFor(const std::optional<std::string>& given,
                                    const std::filesystem::path& currentFolder,
                                    OutputFormat format = OutputFormat::Csv);

// The usage text that --help prints, in `language`.
std::string UsageText(Language language);

}  // namespace teebasket::cli
