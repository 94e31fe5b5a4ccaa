// teebasket-cli: the harvest of the Teebasket window, from a terminal.
#include "CliOutcome.h"
#include "CliRun.h"
#include "SignalStop.h"
#include "standard_descriptors.h"

int main(int argc, char** argv) {
    teebasket::ClosedStandardDescriptors closed;
    if (!teebasket::OpenClosedStandardDescriptors(&closed)) {
        return teebasket::cli::kExitCannotWrite;
    }
    // A Ctrl-C from here on waits for the run's stop handling, however long
    // the program takes to get there (reading a large file to resume).
    teebasket::cli::HoldStopRequests();
    return teebasket::cli::RunTeebasketCli(argc, argv, closed);
}
