// Runs the command line in-process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace vorlak::test {

struct CliResult {
    int code;
    std::string out, err;
};

// `terminal` makes the run behave as when stderr is a terminal (wait and progress texts shown).
inline CliResult RunVorlak(const std::vector<std::string>& args, bool terminal = false) {
    std::ostringstream out, err;
    int code = cli::Run(args, out, err, terminal);
    return {code, out.str(), err.str()};
}

}  // namespace vorlak::test
