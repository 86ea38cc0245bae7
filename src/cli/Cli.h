// Runs the `vorlak` command line in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mul/File.h"

namespace vorlak::cli {

// `args` excludes the program name. Returns the exit code: 0 success, 1 a job refused or failed,
// 2 a usage error. `errIsTerminal` makes wait and progress texts appear on `err`, each cut to
// fit one line of a terminal `columns` wide.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal = false, int columns = 80);
// The same with the picture jobs' files read and written through `fs` (tests give a file
// system that fails on purpose).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal, FileSystem& fs, int columns = 80);

}  // namespace vorlak::cli
