// Every job that writes a picture or a folder of pictures, given an output it must not write or
// a disk that fills up: exit 1 with the cause, and every file as it was, with no temporary file
// left behind.
#include <sys/file.h>

#include "art/ArtPair.h"
#include "cli/RunVorlak.h"

namespace vorlak::test {
namespace {

namespace fs = std::filesystem;
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
        const Args render =
            Args{"render"} + world +
            Args{"--staidx", idx, "--statics", mul, "--radarcol", radar, "--scale", "08", "--out"};
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
    const std::string output = dir.path("output.txt");
};

TEST_F(Outputs, EveryPictureJobRefusesWhatItMustNotWriteAndKeepsTheOldFileOnAFullDisk) {
    struct Case {
        const char* name;
        // What stands at the output's name; art jobs read the art files, the views the others.
        std::function<void(const std::string& out, bool art)> make;
        // In the message, after the output's name; one that starts with ':' (a full disk) alone.
        std::string cause;
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
        for (Args args : Jobs(dir.path("out"))) {
            std::string out = args.back() == tiles ? tiles + "/00007.png" : args.back();
            c.make(out, args[0] == "art");
            const auto before = Snapshot(dir.root());
            FaultyFileSystem full(c.cause[0] == ':' ? 0 : INT64_MAX);
            std::ostringstream o, e;
            int code = cli::Run(args, o, e, false, full);
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
    CliResult r = RunVorlak(Jobs(dir.path("out"))[1]);  // scale 08: eight, not octal
    ASSERT_EQ(r.out, "Saved a 1 x 1 picture to " + out + ".\n") << r.err;
    EXPECT_FALSE(Exists(stale));
    EXPECT_TRUE(Exists(held) && Exists(other) && Exists(otherPicture));
    ::close(holder);
    // Export into a folder removes those of tile pictures only.
    const std::string tile = tiles + "/00009.png.tmp0123abcd", notTile = tiles + "/0009.png.tmp0";
    for (const std::string& name : {tile, notTile}) WriteText(name, "left");
    ASSERT_EQ(RunVorlak(Jobs(dir.path("out")).back()).code, 0);
    EXPECT_TRUE(!Exists(tile) && Exists(notTile));
}

#ifdef VORLAK_PROGRAM

// Every input of every job given a FIFO (that no one writes) or a device: refused at once by
// name, never waited on nor read.
TEST_F(Outputs, EveryInputOfEveryJobRefusesAFifoOrADevice) {
    const std::string fifo = dir.path("f"), items = dir.path("i.wsc"), picture = dir.path("g.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteText(items, "");
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
    const std::pair<std::string, std::string> specials[] = {{fifo, "a FIFO"},
                                                            {"/dev/zero", "a device"}};
    for (const auto& [job, inputs] : jobs) {
        for (const std::string& option : inputs) {
            for (const auto& [special, kind] : specials) {
                Args args = job;
                *(std::find(args.begin(), args.end(), option) + 1) = special;
                const auto before = Snapshot(dir.root());
                const int code = Wait(Start(args, output), 10);
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
    const Args args = {"art", "export", "--all", "--dir", tiles, "--idx", artIdx, "--mul", artMul};
    for (int signal : {SIGTERM, SIGINT}) {
        fs::remove_all(tiles);
        const pid_t pid = Start(args, output);
        // Stopped once it has written its first pictures.
        for (int wait = 0; wait < 5000 && !Exists(tiles + "/00002.png"); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, signal);
        ASSERT_EQ(Wait(pid, 5), 1) << ReadText(output);
        size_t written = 0;
        for (const auto& e : fs::directory_iterator(tiles)) {
            const std::string name = e.path().filename().string();
            ASSERT_EQ(name.size(), 9u) << name;  // NNNNN.png: no temporary file left
            ASSERT_TRUE(LoadPicture(e.path().string()).has_value()) << name;
            ++written;
        }
        EXPECT_TRUE(written > 0 && written < 16384) << written;
        EXPECT_EQ(ReadText(output), "Stopped.\nExported " + std::to_string(written) +
                                        " pictures to " + tiles +
                                        "; 0 records missing, 0 unreadable.\n");
    }
}

#endif

}  // namespace
}  // namespace vorlak::test
