// The real `vorlak` program killed with SIGKILL at random moments of a long clear and a long
// freeze: afterwards `vorlak check` must pass, and every block must hold either its statics from
// before the job or those the whole job leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/StaticsPair.h"
#include "support/TestFiles.h"

extern char** environ;

namespace vorlak {
namespace {

#ifdef VORLAK_PROGRAM

using test::StaticsPair;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 20;

// Starts the program with `args`, its output thrown away.
pid_t Start(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(VORLAK_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, VORLAK_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " VORLAK_PROGRAM);
    return pid;
}

// The exit code, or 128 + the signal that ended it.
int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The blocks that hold statics in either pair.
std::vector<int32_t> Holding(const StaticsPair& a, const StaticsPair& b) {
    std::vector<int32_t> blocks;
    for (int32_t block = 0; block < StaticsPair::kBlocks; ++block) {
        if (a.EntryOf(block).length > 0 || b.EntryOf(block).length > 0) blocks.push_back(block);
    }
    return blocks;
}

class KillTest : public ::testing::Test {
  protected:
    // Runs the job once to the end to learn its length and result, then kRuns times on a fresh
    // copy of the pair, killed after a random share of that length.
    void KillAtRandom(const std::vector<std::string>& job) {
        std::vector<std::string> args = job;
        for (const std::string& a : {std::string("--statics"), mul, std::string("--staidx"), idx}) {
            args.push_back(a);
        }
        before.Write(idx, mul);
        Clock::time_point t0 = Clock::now();
        ASSERT_EQ(Wait(Start(args)), 0);
        Clock::duration length = Clock::now() - t0;
        const StaticsPair after = StaticsPair::Read(idx, mul);
        ASSERT_NE(after.index, before.index);
        const std::vector<int32_t> blocks = Holding(before, after);

        std::mt19937 random(std::random_device{}());
        std::uniform_real_distribution<double> share(0.0, 1.0);
        int killed = 0;
        for (int attempt = 0; attempt < kRuns; ++attempt) {
            // Temporary files of killed runs go; the pair starts afresh.
            for (const auto& entry : std::filesystem::directory_iterator(dir.root())) {
                if (entry.path().string().find(".tmp") != std::string::npos) {
                    std::filesystem::remove(entry.path());
                }
            }
            before.Write(idx, mul);
            auto wait =
                std::chrono::duration_cast<std::chrono::microseconds>(length * share(random));
            SCOPED_TRACE("killed after " + std::to_string(wait.count()) + " us");
            pid_t pid = Start(args);
            std::this_thread::sleep_for(wait);
            ::kill(pid, SIGKILL);
            if (Wait(pid) == 128 + SIGKILL) {
                ++killed;
            } else {
                length = wait;  // the job ran faster than at first: aim within its new length
            }

            EXPECT_EQ(Wait(Start({"check", "--statics", mul, "--staidx", idx})), 0);
            StaticsPair now = StaticsPair::Read(idx, mul);
            for (int32_t b : blocks) {
                StaticsPair::Bytes run = now.RunOf(b);
                if (run != before.RunOf(b) && run != after.RunOf(b)) {
                    ADD_FAILURE() << "block " << b << " holds neither its old nor its new statics";
                    break;
                }
            }
        }
        // Most runs must really have been cut short, or the test proves little.
        EXPECT_GT(killed, kRuns / 2);
    }

    test::TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string mul = dir.path("statics0.mul");
    StaticsPair before = StaticsPair::Spread(500000, 0.1, 17);
};

TEST_F(KillTest, ClearKilledAtRandomMomentsLeavesASoundPair) {
    // Edges inside blocks on every side, so that kept statics are appended as well.
    KillAtRandom({"clear", "--x1", "3", "--y1", "3", "--x2", "6140", "--y2", "4092"});
}

TEST_F(KillTest, FreezeKilledAtRandomMomentsLeavesASoundPair) {
    std::string items = dir.path("items.wsc");
    std::string text;
    std::mt19937 random(23);
    for (int i = 0; i < 150000; ++i) {
        text += "SECTION WORLDITEM " + std::to_string(i) + "\r\n{\r\nID " +
                std::to_string(random() % 16384) + "\r\nX " + std::to_string(random() % 6144) +
                "\r\nY " + std::to_string(random() % 4096) + "\r\nZ " +
                std::to_string(static_cast<int>(random() % 256) - 128) +
                "\r\nTYPE 255\r\nCONT -1\r\n}\r\n\r\n";
    }
    test::WriteText(items, text);
    KillAtRandom({"freeze", "--items", items});
}

#endif  // VORLAK_PROGRAM

}  // namespace
}  // namespace vorlak
