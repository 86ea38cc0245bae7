// The real `vorlak` program beside other jobs and cut off mid-way: a job whose files another job
// holds refuses and changes nothing; a job killed (SIGKILL) at a random moment leaves a sound
// pair holding the old statics or the whole job's new ones; one stopped (SIGINT, SIGTERM) ends
// with "Stopped." and leaves the files exactly as before.
#include <random>

#include "cli/RunVorlak.h"
#include "support/OldOrNew.h"

namespace vorlak::test {
namespace {

#ifdef VORLAK_PROGRAM

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 20;

class KillTest : public CliFiles {
  protected:
    // Removes what a killed job had no chance to remove; tells whether there was any.
    bool RemoveTemporaryFiles() {
        bool found = false;
        for (const auto& entry : std::filesystem::directory_iterator(dir.root())) {
            if (!Has(entry.path().string(), ".tmp")) continue;
            found = std::filesystem::remove(entry.path()) || found;
        }
        return found;
    }

    // Runs the job once to the end to learn its length and result, then kRuns times on a fresh
    // copy of the pair, sent `signal` after a random share of that length.
    void SignalAtRandom(const std::vector<std::string>& job, int signal) {
        const std::vector<std::string> args = OnPair(job);
        before.Write(idx, mul);
        Clock::time_point t0 = Clock::now();
        ASSERT_EQ(Wait(Start(args)), 0);
        Clock::duration length = Clock::now() - t0;
        const StaticsPair after = StaticsPair::Read(idx, mul);
        ASSERT_NE(after.index, before.index);

        std::mt19937 random(std::random_device{}());
        std::uniform_real_distribution<double> share(0.0, 1.0);
        int cut = 0;
        for (int attempt = 0; attempt < kRuns; ++attempt) {
            RemoveTemporaryFiles();
            before.Write(idx, mul);
            auto wait =
                std::chrono::duration_cast<std::chrono::microseconds>(length * share(random));
            SCOPED_TRACE("signal after " + std::to_string(wait.count()) + " us");
            pid_t pid = Start(args, output);
            std::this_thread::sleep_for(wait);
            ::kill(pid, signal);
            int code = Wait(pid);
            if (code == 0) length = wait;  // it ran faster than at first: aim within that
            cut += code != 0;
            StaticsPair now = StaticsPair::Read(idx, mul);
            if (code == 1) {  // stopped: exactly as before, nothing left behind
                EXPECT_EQ(ReadText(output), "Stopped.\n");
                EXPECT_TRUE(now.index == before.index && now.data == before.data);
                EXPECT_FALSE(RemoveTemporaryFiles());
            } else if (code != 0) {
                EXPECT_TRUE(code == 128 + SIGKILL || code == 128 + signal) << code;
            }
            EXPECT_EQ(Wait(Start(OnPair({"check"}))), 0);
            EXPECT_TRUE(HoldsOldOrNew(before, after, now));
        }
        // Most runs must really have been cut short, or the test proves little.
        EXPECT_GT(cut, kRuns / 2);
    }

    std::string output = dir.path("output.txt");
    // A world 7168 wide, which the jobs know by the index's length alone.
    StaticsPair before = StaticsPair::Spread(500000, 0.1, 17, 7168 / 8 * 512);
};

TEST_F(KillTest, ClearAndFreezeCutOffAtRandomMoments) {
    std::string items = dir.path("items.wsc"), text;
    std::mt19937 random(23);
    for (int i = 0; i < 150000; ++i) {
        text += Zedra3Item(std::to_string(random() % 16384), std::to_string(random() % 6144),
                           std::to_string(random() % 4096),
                           std::to_string(static_cast<int>(random() % 256) - 128));
    }
    WriteText(items, text);
    // The clear's edges lie inside blocks on every side, so that kept statics are appended too.
    const Args clear = {"clear", "--x1", "3", "--y1", "3", "--x2", "6140", "--y2", "4092"};
    for (int signal : {SIGKILL, SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        if (signal != SIGTERM) SignalAtRandom(clear, signal);
        if (signal != SIGINT) SignalAtRandom({"freeze", "--items", items}, signal);
    }
}

// A freeze, or a clear of the whole world, killed at a random moment leaves a history whose undo
// is exact: a step whose job never committed is passed over (with the records it appended), so
// undo takes the job before it; one that committed is undone itself. Freeze writes its step before
// its first record, the clear while it writes its new index.
TEST_F(KillTest, AKilledJobLeavesAHistoryWhoseUndoIsExact) {
    std::string items = dir.path("items.wsc"), text;
    std::mt19937 random(5);
    for (int i = 0; i < 60000; ++i) {
        text += Zedra3Item(std::to_string(random() % 16384), std::to_string(random() % 7168),
                           std::to_string(random() % 4096));
    }
    WriteText(items, text);
    const Args clear =
        OnPair({"clear", "--x1", "100", "--y1", "100", "--x2", "3000", "--y2", "3000"});
    const Args jobs[] = {OnPair({"freeze", "--items", items}), OnPair({"clear"})};
    const Args undo = {"undo", "--dir", dir.root()};
    std::uniform_real_distribution<double> share(0.0, 1.0);
    Clock::duration length{};
    for (int attempt = 0; attempt < 8; ++attempt) {
        const Args& job = jobs[attempt / 4];
        std::filesystem::remove_all(dir.path(".vorlak-history"));
        RemoveTemporaryFiles();
        before.Write(idx, mul);
        ASSERT_EQ(Wait(Start(clear)), 0);
        const StaticsPair cleared = StaticsPair::Read(idx, mul);
        Clock::time_point t0 = Clock::now();
        pid_t pid = Start(job);
        if (attempt % 4 > 0) {
            std::this_thread::sleep_for(
                std::chrono::duration_cast<std::chrono::microseconds>(length * share(random)));
            ::kill(pid, SIGKILL);
        }
        int code = Wait(pid);
        if (attempt % 4 == 0) {
            ASSERT_EQ(code, 0);
            length = Clock::now() - t0;
        }
        CliResult r = RunVorlak(undo);
        ASSERT_EQ(r.code, 0) << r.err;
        StaticsPair now = StaticsPair::Read(idx, mul);
        if (Has(r.out, "Undid job 2")) {
            EXPECT_TRUE(now.index == cleared.index && now.data == cleared.data);
            ASSERT_EQ(RunVorlak(undo).code, 0);
            now = StaticsPair::Read(idx, mul);
        }
        EXPECT_TRUE(now.index == before.index && now.data == before.data) << r.out;
    }
}

// Each job started while another job holds its files (here this test, through its own lock):
// readers share with readers, everything else refuses without changing a byte.
TEST_F(KillTest, JobsBesideAnotherJobOnTheSameFiles) {
    const std::string items = dir.path("items.wsc"), melted = dir.path("melted.wsc");
    const std::string art = dir.path("artidx.mul"), map = dir.path("map0.mul");
    const std::string picture = dir.path("tile.png"), palette = dir.path("palette.png");
    WriteText(items, "SECTION WORLDITEM 1\r\n{\r\nID 5\r\nX 9\r\nY 9\r\nZ 0\r\n}\r\n");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 44), picture));
    ASSERT_TRUE(SavePicture(MemoryPicture(12, 1), palette));
    WriteAll(art, Bytes(120, 0xFF));
    WriteAll(dir.path("art.mul"), {});
    WriteAll(map, Bytes(196, 0));
    before.Write(idx, mul);
    auto contents = [&] {
        std::vector<Bytes> all;
        for (const std::string& f : {idx, mul, art, map}) all.push_back(ReadAll(f));
        return all;
    };
    const std::vector<Bytes> unchanged = contents();
    const std::string artmul = dir.path("art.mul");
    const std::string radar = dir.path("radarcol.mul"), view = dir.path("view.bmp");
    WriteAll(radar, {});
    const Args render = OnPair({"render", "--world", "7168x4096", "--map", map, "--radarcol", radar,
                                "--out", view, "--x2", "7", "--y2", "7"});
    // The job, the file held, the files the refusal names, and whether the job writes them.
    const std::tuple<Args, std::string, std::string, bool> cases[] = {
        {OnPair({"clear"}), idx, "statics", true},
        {OnPair({"freeze", "--items", items}), idx, "statics", true},
        {OnPair({"compact"}), idx, "statics", true},
        {OnPair({"melt", "--items", melted}), idx, "statics", false},
        {OnPair({"check"}), idx, "statics", false},
        {render, map, "terrain", false},
        {render, idx, "statics", false},
        {{"bmp2map", "--bitmap", picture, "--palette", palette, "--map", map},
         map,
         "terrain",
         true},
        {{"art", "import", "--bitmap", picture, "--number", "3", "--idx", art, "--mul", artmul},
         art,
         "art",
         true},
    };
    for (const auto& [args, file, files, writes] : cases) {
        for (FileLock::Mode mode : {FileLock::Mode::kShared, FileLock::Mode::kExclusive}) {
            const bool shared = mode == FileLock::Mode::kShared, runs = shared && !writes;
            SCOPED_TRACE(args[0] + " " + file + (shared ? " shared" : ""));
            std::unique_ptr<FileLock> held = FileLock::Try(file, mode);
            ASSERT_TRUE(held);
            EXPECT_EQ(Wait(Start(args, output)), runs ? 0 : 1) << ReadText(output);
            if (runs) {
                std::filesystem::remove(melted);
                std::filesystem::remove(view);
                continue;
            }
            EXPECT_EQ(ReadText(output), "The " + files + " files are in use by another job.\n");
            EXPECT_TRUE(contents() == unchanged);
            EXPECT_FALSE(Exists(melted) || Exists(view));
        }
    }
}

// A picture view stopped part-way leaves no picture and no temporary file behind.
TEST_F(KillTest, AStoppedViewLeavesNothing) {
    const std::string map = dir.path("map0.mul"), radar = dir.path("radarcol.mul");
    const std::string view = dir.path("view.bmp");
    WriteAll(map, Bytes(size_t{4096 / 8} * (4096 / 8) * 196, 3));
    WriteAll(radar, Bytes(0x8000, 0x55));
    const Args render = {"render",     "--world", "4096x4096",    "--map", map,
                         "--radarcol", radar,     "--no-statics", "--out", view};
    ASSERT_EQ(Wait(Start(render)), 0);
    // The signal comes once the picture's temporary file is there: the job is drawing, and the
    // program took the signals as stop requests long before.
    auto drawing = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir.root())) {
            if (entry.path().filename().string().starts_with("view.bmp.tmp")) return true;
        }
        return false;
    };
    int cut = 0;
    for (int attempt = 0; attempt < kRuns / 2; ++attempt) {
        std::filesystem::remove(view);
        pid_t pid = Start(render, output);
        const Clock::time_point give_up = Clock::now() + std::chrono::seconds(20);
        while (!drawing() && Clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(pid, attempt % 2 ? SIGTERM : SIGINT);
        int code = Wait(pid);
        if (code == 1) {
            ++cut;
            EXPECT_EQ(ReadText(output), "Stopped.\n");
            EXPECT_FALSE(Exists(view));
            EXPECT_FALSE(RemoveTemporaryFiles());
        } else {
            EXPECT_EQ(code, 0) << ReadText(output);  // it ended just before the signal
        }
    }
    EXPECT_GT(cut, kRuns / 4);
}

#ifdef VORLAK_WITH_WINDOW
// Without a display, `vorlak` alone says so in one line and exits 1 instead of starting a window
// that cannot open.
TEST_F(KillTest, NoDisplayIsOneLineAndExitOne) {
    std::string path = std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "");
    const std::vector<std::vector<std::string>> envs = {
        {path}, {path, "DISPLAY="}, {path, "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}};
    for (const auto& env : envs) {
        std::vector<char*> envp;
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        EXPECT_EQ(Wait(Start({}, output, envp.data())), 1);
        EXPECT_EQ(ReadText(output),
                  "vorlak: there is no display to open the window on; run 'vorlak --help' for "
                  "the subcommands.\n");
    }
}
#endif

#endif  // VORLAK_PROGRAM

}  // namespace
}  // namespace vorlak::test
