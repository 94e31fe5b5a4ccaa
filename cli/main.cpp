// teebasket-cli: the harvest of the Teebasket window, from a terminal.
#include <cstring>
#include <vector>

#include "CliRun.h"
#include "CompareCommand.h"
#include "ProgramEnvironment.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "compare") == 0) {
        teebasket::cli::PrepareProcess();
        std::vector<std::string> arguments = teebasket::cli::ArgumentsAsUtf8(argc, argv);
        arguments.erase(arguments.begin());  // "compare"
        return teebasket::cli::RunCompareCommand(arguments, stdout, stderr);
    }
    return teebasket::cli::RunTeebasketCli(argc, argv);
}
