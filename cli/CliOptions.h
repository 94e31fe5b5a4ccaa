// CliOptions: the command line of teebasket-cli, parsed into values, and the
// rules that turn those values into a run (output name, pauses, hosts).
//
// Nothing here touches the network or the settings file; every function is
// plain and testable. Texts are UTF-8, as the terminal hands them over.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace teebasket::cli {

inline constexpr const char* kDefaultOutputName = "ゴルフ場一覧.csv";

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

struct CommandLine {
    bool help = false;
    bool version = false;
    bool quiet = false;
    bool all = false;
    bool resume = false;
    std::vector<std::string> prefectures;  // as typed: name, slug or row index
    std::optional<std::string> output;
    std::optional<std::string> config;
    std::optional<std::string> listingHost;
    std::optional<std::string> bookingHost;
    std::optional<std::string> caCertificate;  // "" asks for no extra certificate
    std::optional<PauseArgument> pauses;
};

struct ParsedCommandLine {
    CommandLine values;
    std::string error;  // UTF-8; empty when the command line is good
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after "=" (--output=a.csv); "--" ends the options.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// "LISTING,DETAIL" in milliseconds, e.g. "1000,300"; nothing when malformed
// or above kMaximumPause.
std::optional<PauseArgument> ParsePauses(const std::string& text);

// True for a host (host or host:port) on this machine: localhost,
// 127.0.0.0/8 or ::1.
bool IsLoopbackHost(const std::string& host);

// Why `pauses` may not be used with these hosts (UTF-8), or "": pauses below
// 1000 ms after a listing page or 300 ms after a detail page are for a portal
// on this machine only.
std::string PauseProblem(const PauseArgument& pauses, const std::string& listingHost,
                         const std::string& bookingHost);

// The output file for `given` (nothing: the default name in `currentFolder`):
// a folder (an existing one, or a name ending in "/") receives the default
// name; ".csv" is appended unless the name's extension is ".csv" in any case,
// as the window does. A relative path is taken from `currentFolder`.
std::filesystem::path OutputPathFor(const std::optional<std::string>& given,
                                    const std::filesystem::path& currentFolder);

// The usage text that --help prints.
std::string UsageText();

}  // namespace teebasket::cli
