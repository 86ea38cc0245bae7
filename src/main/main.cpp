// The `vorlak` program: the window without arguments, otherwise a subcommand.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "launch/Helpers.h"
#include "mul/Stop.h"

namespace {

// The width of the terminal on stderr; 80 when it does not say.
int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

#ifdef VORLAK_WITH_WINDOW
// Whether the window has somewhere to open: a display, or a platform chosen by hand.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef VORLAK_WITH_WINDOW
    if (argc == 1) {
        // Without a display the window's toolkit would abort after a screenful of its own errors.
        if (!HasDisplay()) {
            std::cerr << "vorlak: there is no display to open the window on; run 'vorlak --help' "
                         "for the subcommands.\n";
            return 1;
        }
        return vorlak::launch::StartWindow(argv);
    }
#endif
    // Ctrl-C and a termination request stop the job cleanly rather than cutting it off.
    vorlak::StopOnSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    return vorlak::cli::Run(args, std::cout, std::cerr, terminal,
                            terminal ? TerminalColumns() : 80);
}
