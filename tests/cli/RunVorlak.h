// What the command-line tests share: the command line run in-process, and a fresh folder with
// the paths of a statics pair in it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "cli/Cli.h"
#include "mul/Picture.h"
#include "picture/QtPicture.h"
#include "support/StaticsFixture.h"

namespace vorlak::test {

using Args = std::vector<std::string>;

inline Args operator+(Args args, const Args& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

struct CliResult {
    int code;
    std::string out, err;
};

// `terminal` makes the run behave as when stderr is a terminal (wait and progress texts shown).
inline CliResult RunVorlak(const Args& args, bool terminal = false) {
    std::ostringstream out, err;
    int code = cli::Run(args, out, err, terminal);
    return {code, out.str(), err.str()};
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliFiles : public ::testing::Test {
  protected:
    // `args` on the test's pair.
    Args OnPair(const Args& args) const { return args + Args{"--statics", mul, "--staidx", idx}; }
    CliResult Run(const Args& args) { return RunVorlak(OnPair(args)); }
    // Runs `args` in the test's folder, so that the default file names point there.
    CliResult RunHere(const Args& args, bool terminal = false) {
        auto previous = std::filesystem::current_path();
        std::filesystem::current_path(dir.root());
        CliResult r = RunVorlak(args, terminal);
        std::filesystem::current_path(previous);
        return r;
    }

    TempDir dir;
    std::string idx = dir.path("staidx0.mul"), mul = dir.path("statics0.mul");
};

}  // namespace vorlak::test
