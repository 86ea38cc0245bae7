// Every job that writes a picture or a folder of pictures, given an output it must not write or
// a disk that fills up: exit 1 with the cause, and every file as it was, with no temporary file
// left behind.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <thread>

#include "art/ArtPair.h"
#include "cli/RunVorlak.h"

extern char** environ;

namespace vorlak::test {
namespace {

namespace fs = std::filesystem;

// What a folder holds: each name with its kind, its link target or its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> seen;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(e.path(), root).string();
        if (e.is_symlink()) {
            seen[name] = "link " + fs::read_symlink(e.path()).string();
        } else if (e.is_regular_file()) {
            Bytes bytes = ReadAll(e.path().string());
            seen[name] = std::string(bytes.begin(), bytes.end());
        } else {
            seen[name] = "kind " + std::to_string(static_cast<int>(e.status().type()));
        }
    }
    return seen;
}

class Outputs : public CliFiles {
  protected:
    void SetUp() override {
        // A world of one block: its terrain, an empty statics pair, radar colours and palette.
        WriteAll(map, Bytes(196, 0));
        WriteAll(idx, Bytes(12, 0xFF));
        WriteAll(mul, {});
        WriteAll(radar, Bytes(64, 0x11));
        fs::copy_file(fs::path(__FILE__).parent_path() / "../../examples/colors.gif", palette);
        ArtPair art;
        art.Add(7, ArtPair::Landscape([](int32_t i) { return i; }));
        art.Write(artIdx, artMul);
        fs::create_directory(tiles);
    }
    // The jobs, each writing `out` (art export --all: the picture of tile 7 in its folder).
    std::vector<Args> Jobs(const std::string& name) const {
        const Args world = {"--world", "8x8", "--map", map};
        const Args art = {"art", "export", "--idx", artIdx, "--mul", artMul};
        const Args render = Args{"render"} + world +
                            Args{"--staidx", idx, "--statics", mul, "--radarcol", radar, "--out"};
        const Args kinds = Args{"map2bmp", "--kinds", "--palette", palette} + world + Args{"--out"};
        const Args heights = Args{"map2bmp", "--heights"} + world + Args{"--out"};
        return {render + Args{name + ".png"},
                render + Args{name + ".bmp"},
                kinds + Args{name + ".png"},
                heights + Args{name + ".bmp"},
                art + Args{"--number", "7", "--out", name + ".png"},
                art + Args{"--number", "7", "--out", name + ".bmp"},
                art + Args{"--all", "--dir", tiles}};
    }

    const std::string map = dir.path("map0.mul"), radar = dir.path("radarcol.mul");
    const std::string palette = dir.path("colors.gif"), tiles = dir.path("tiles");
    const std::string artIdx = dir.path("artidx.mul"), artMul = dir.path("art.mul");
};

TEST_F(Outputs, EveryPictureJobRefusesWhatItMustNotWriteAndKeepsTheOldFileOnAFullDisk) {
    struct Case {
        const char* name;
        // What stands at the output's name; art jobs read the art files, the views the others.
        std::function<void(const std::string& out, bool art)> make;
        std::string cause;  // in the message, after the output's name unless it starts with ':'
    };
    const Case cases[] = {
        {"full disk", [](const std::string& out, bool) { WriteText(out, "old picture"); },
         ":No space left on device"},
        {"FIFO", [](const std::string& out, bool) { ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0); },
         " is a FIFO, not a regular file."},
        {"device", [](const std::string& out, bool) { fs::create_symlink("/dev/null", out); },
         " is a symbolic link"},
        {"link to a data file",
         [this](const std::string& out, bool art) { fs::create_symlink(art ? idx : artMul, out); },
         " is a symbolic link"},
        {"link to an input",
         [this](const std::string& out, bool art) { fs::create_symlink(art ? artIdx : map, out); },
         " is a symbolic link"},
        {"folder", [](const std::string& out, bool) { fs::create_directory(out); },
         " is a folder, not a regular file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Args> jobs = Jobs(dir.path("out"));
        for (Args args : jobs) {
            std::string out = args.back() == tiles ? tiles + "/00007.png" : args.back();
            c.make(out, args[0] == "art");
            const auto before = Snapshot(dir.root());
            FaultyFileSystem full(0);
            std::ostringstream o, e;
            int code = std::string(c.name) == "full disk"
                           ? cli::Run(args, o, e, false, full)
                           : cli::Run(args, o, e, false, DefaultFileSystem());
            const std::string expected = c.cause[0] == ':' ? c.cause.substr(1) : out + c.cause;
            EXPECT_TRUE(code == 1 && o.str().empty() && Has(e.str(), expected))
                << args[0] << " " << out << ": " << code << " " << e.str();
            EXPECT_EQ(Snapshot(dir.root()), before) << args[0] << " " << out;
            fs::remove(out);
        }
    }
}

// A picture job killed outright leaves its temporary file; the next job on the same picture
// removes it, but not a file of another name nor one that a live job still holds.
TEST_F(Outputs, TheNextJobRemovesTheStaleTemporaryFileOfItsPicture) {
    const std::string out = dir.path("out.bmp");
    const std::string stale = out + ".tmp0123abcd", held = out + ".tmp89abcdef";
    const std::string other = out + ".tmp-backup", otherPicture = dir.path("b.bmp.tmp01234567");
    for (const std::string& name : {stale, held, other, otherPicture}) WriteText(name, "left");
    const int holder = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_SH), 0);
    for (const Args& args :
         {Jobs(out.substr(0, out.size() - 4))[1], Jobs(out.substr(0, out.size() - 4))[5]}) {
        WriteText(stale, "left");
        CliResult r = RunVorlak(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_FALSE(Exists(stale)) << args[0];
        EXPECT_TRUE(Exists(held) && Exists(other) && Exists(otherPicture)) << args[0];
    }
    ::close(holder);
}

// Numbers with leading zeros are whole decimal numbers, never octal ones.
TEST_F(Outputs, LeadingZerosAreDecimal) {
    const std::string wider = dir.path("map16.mul"), out = dir.path("z.bmp");
    WriteAll(wider, Bytes(4 * 196, 0));
    const Args view = {"--world", "16x16", "--map", wider, "--out", out};
    const std::pair<Args, std::string> cases[] = {
        {Args{"map2bmp", "--heights", "--x1", "010", "--y1", "08"} + view, "6 x 8"},
        {Args{"render", "--no-statics", "--radarcol", radar, "--scale", "08"} + view, "2 x 2"},
    };
    for (const auto& [args, size] : cases) {
        CliResult r = RunVorlak(args);
        EXPECT_EQ(r.out, "Saved a " + size + " picture to " + out + ".\n") << r.err;
    }
}

#ifdef VORLAK_PROGRAM

// Starts the real program with `args`, its stdout and stderr going to `output`.
pid_t Spawn(const Args& args, const std::string& output) {
    std::vector<char*> argv{const_cast<char*>(VORLAK_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, VORLAK_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " VORLAK_PROGRAM);
    return pid;
}

// The exit code of `pid`, or -1 when it has not ended within `seconds` (it is killed then).
int WaitWithin(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Every input of every job given a FIFO (that no one writes) or a device: refused at once by
// name, never waited on nor read.
TEST_F(Outputs, EveryInputOfEveryJobRefusesAFifoOrADevice) {
    const std::string fifo = dir.path("fifo"), items = dir.path("items.wsc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteText(items, "");
    const std::string picture = dir.path("grey.bmp");
    ASSERT_TRUE(SavePicture(MemoryPicture(44, 44, Rgb(128, 128, 128)), picture));
    const Args pair = {"--staidx", idx, "--statics", mul};
    const Args views = {"--world", "8x8", "--map", map, "--out", dir.path("v.bmp")};
    const Args rectangle = {"--x1", "0", "--y1", "0", "--x2", "7", "--y2", "7"};
    const Args art = {"--idx", artIdx, "--mul", artMul};
    // Each job with every input it reads.
    const std::vector<std::pair<Args, Args>> jobs = {
        {Args{"freeze", "--items", items} + pair, {"--items", "--staidx", "--statics"}},
        {Args{"melt", "--items", dir.path("m.wsc")} + rectangle + pair, {"--staidx", "--statics"}},
        {Args{"clear"} + rectangle + pair, {"--staidx", "--statics"}},
        {Args{"check"} + pair, {"--staidx", "--statics"}},
        {Args{"compact"} + pair, {"--staidx", "--statics"}},
        {{"bmp2map", "--bitmap", picture, "--palette", palette, "--map", map},
         {"--bitmap", "--palette", "--map"}},
        {{"heights", "--bitmap", picture, "--world", "8x8", "--map", map}, {"--bitmap", "--map"}},
        {Args{"render", "--radarcol", radar} + pair + views,
         {"--map", "--radarcol", "--staidx", "--statics"}},
        {Args{"map2bmp", "--kinds", "--palette", palette} + views, {"--map", "--palette"}},
        {Args{"map2bmp", "--heights"} + views, {"--map"}},
        {Args{"art", "export", "--number", "7", "--out", dir.path("a.png")} + art,
         {"--idx", "--mul"}},
        {Args{"art", "export", "--all", "--dir", tiles} + art, {"--idx", "--mul"}},
        {Args{"art", "import", "--number", "7", "--bitmap", picture} + art,
         {"--bitmap", "--idx", "--mul"}},
    };
    const std::string output = dir.path("output.txt");
    const std::pair<std::string, std::string> specials[] = {{fifo, "a FIFO"},
                                                            {"/dev/zero", "a device"}};
    for (const auto& [job, inputs] : jobs) {
        for (const std::string& option : inputs) {
            for (const auto& [special, kind] : specials) {
                Args args = job;
                *(std::find(args.begin(), args.end(), option) + 1) = special;
                const auto before = Snapshot(dir.root());
                const int code = WaitWithin(Spawn(args, output), 10);
                const std::string said = ReadText(output);
                fs::remove(output);
                EXPECT_TRUE(code == 1 &&
                            Has(said, special + " is " + kind + ", not a regular file"))
                    << job[0] << " " << option << " " << special << ": " << code << " " << said;
                EXPECT_EQ(Snapshot(dir.root()), before) << job[0] << " " << option;
            }
        }
    }
}

// Stopped half-way, art export --all keeps the pictures it finished, each one whole, and says
// how far it came.
TEST_F(Outputs, ArtExportAllStoppedKeepsWholePicturesAndGivesItsSummary) {
    ArtPair art;
    for (int32_t n = 0; n <= 16383; ++n) {
        art.Add(n, ArtPair::Landscape([n](int32_t i) { return (i * 31 + n) & 0x7FFF; }));
    }
    art.Write(artIdx, artMul);
    const std::string output = dir.path("output.txt");
    const Args args = {"art", "export", "--all", "--dir", tiles, "--idx", artIdx, "--mul", artMul};
    for (int signal : {SIGTERM, SIGINT}) {
        fs::remove_all(tiles);
        const pid_t pid = Spawn(args, output);
        // Stopped once it has written its first pictures.
        for (int wait = 0; wait < 5000 && !Exists(tiles + "/00002.png"); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, signal);
        ASSERT_EQ(WaitWithin(pid, 5), 1) << ReadText(output);
        const std::string said = ReadText(output);
        size_t written = 0;
        for (const auto& e : fs::directory_iterator(tiles)) {
            const std::string name = e.path().filename().string();
            ASSERT_EQ(name.size(), 9u) << name;  // NNNNN.png: no temporary file left
            ASSERT_TRUE(LoadPicture(e.path().string()).has_value()) << name;
            ++written;
        }
        EXPECT_GT(written, 0u);
        EXPECT_LT(written, 16384u);
        EXPECT_EQ(said, "Stopped.\nExported " + std::to_string(written) + " pictures to " + tiles +
                            "; 0 records missing, 0 unreadable.\n");
    }
}

#endif

}  // namespace
}  // namespace vorlak::test
