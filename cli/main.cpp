// teebasket-cli: the harvest of the Teebasket window, from a terminal.
#include "CliRun.h"

int main(int argc, char** argv) {
    return teebasket::cli::RunTeebasketCli(argc, argv);
}
