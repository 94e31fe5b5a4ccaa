// Stands in for the compare subcommand until its own unit
// (compare_command.cpp) is part of the build: the command line already takes
// `compare OLD NEW [-o REPORT]`, and the program says that it cannot compare.
#include "CliOutcome.h"
#include "CliRun.h"

namespace teebasket::cli {

CommandEnding RunCompareCommand(const CompareArguments&, const std::filesystem::path&, Language) {
    return {kExitUsage, UsageErrorMessage("compare is not part of this build yet")};
}

}  // namespace teebasket::cli
