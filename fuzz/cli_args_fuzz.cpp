// teebasket-cli's command line, as CLI11 parses it with getopt's rules.
// Input: the arguments, separated by zero bytes. A command line is either
// refused with a one-line reason and no values, or parsed into values that
// keep the rules: pauses within bounds, a pause below the production minimum
// only for hosts on this machine, a compare subcommand without any option of
// a run, and an output file that ends in its format's extension.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "FuzzChecks.h"
#include "HarvestConfig.h"
#include "Unicommon.h"
#include "path_text.h"

using namespace teebasket;
using namespace teebasket::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments =
        fuzz::SplitAtZero(std::string(reinterpret_cast<const char*>(data), size), 64);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty()) {
        // One line, unless an argument itself holds a line break.
        const bool breaks = std::any_of(arguments.begin(), arguments.end(), [](const auto& a) {
            return a.find_first_of("\r\n") != std::string::npos;
        });
        fuzz::Require(breaks || parsed.error.find('\n') == std::string::npos,
                      "a usage error of more than one line", parsed.error);
        fuzz::Require(
            !parsed.values.compare && parsed.values.prefectures.empty() && !parsed.values.output,
            "values kept beside a usage error", parsed.error);
        return 0;
    }
    const CommandLine& line = parsed.values;
    if (line.compare) {
        fuzz::Require(line.prefectures.empty() && !line.all && !line.output && !line.pauses,
                      "compare with an option of a run");
        return 0;
    }
    if (line.pauses) {
        for (const std::chrono::milliseconds pause : {line.pauses->listing, line.pauses->detail}) {
            fuzz::Require(pause.count() >= 0 && pause <= kMaximumPause, "a pause out of bounds");
        }
        const std::string listing = line.listingHost.value_or("portal.example");
        const std::string booking = line.bookingHost.value_or("portal.example");
        const bool short_ = line.pauses->listing < kMinimumListingPause ||
                            line.pauses->detail < kMinimumDetailPause;
        if (short_ && PauseProblem(*line.pauses, listing, booking).empty()) {
            fuzz::Require(IsLoopbackHost(listing) && IsLoopbackHost(booking),
                          "short pauses allowed towards a host that is not local", listing);
        }
    }
    if (IsStandardOutput(line.output)) {
        return 0;
    }
    const OutputFormat format = FormatForOutput(line.format, line.output);
    const std::string path = PathText(OutputPathFor(line.output, "/nonexistent-folder", format));
    const std::string_view extension = OutputFormatExtension(format);
    fuzz::Require(path.size() >= extension.size() &&
                      TextSameIgnoringCase(
                          std::string_view(path).substr(path.size() - extension.size()), extension),
                  "an output file without its format's extension", path);
    return 0;
}
