// The `vorlak` program: the window without arguments, otherwise a subcommand.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "launch/Helpers.h"
#include "mul/Stop.h"

int main(int argc, char** argv) {
#ifdef VORLAK_WITH_WINDOW
    if (argc == 1) return vorlak::launch::StartWindow(argv);
#endif
    // Ctrl-C and a termination request stop the job cleanly rather than cutting it off.
    vorlak::StopOnSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    return vorlak::cli::Run(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}
