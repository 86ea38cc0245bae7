// What the command-line tests share: the command line run in-process, and a fresh folder with
// the paths of a statics pair in it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "cli/Cli.h"
#include "mul/Picture.h"
#include "picture/QtPicture.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

extern char** environ;

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

#ifdef VORLAK_PROGRAM
// Starts the real program with `args`; its output goes to `output` (thrown away when empty).
// `env`: its environment, this one's when null.
inline pid_t Start(const Args& args, const std::string& output = "/dev/null",
                   char** env = nullptr) {
    std::vector<char*> argv{const_cast<char*>(VORLAK_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, VORLAK_PROGRAM, &actions, nullptr, argv.data(), env ? env : environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " VORLAK_PROGRAM);
    return pid;
}

// The exit code, or 128 + the signal that ended it; -1 when it has not ended within `seconds`
// (it is killed then), so that a job that hangs fails its test rather than the suite.
inline int Wait(pid_t pid, double seconds = 600) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif

// What a folder holds: each name with its link target, bytes or kind.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
    std::map<std::string, std::string> seen;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        seen[std::filesystem::relative(e.path(), root).string()] =
            e.is_symlink()        ? "link " + std::filesystem::read_symlink(e.path()).string()
            : e.is_regular_file() ? ReadText(e.path().string())
                                  : "kind " + std::to_string(static_cast<int>(e.status().type()));
    }
    return seen;
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
