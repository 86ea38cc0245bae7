// Undo and redo from the command line: every writing job taken back byte for byte and done
// again, a chain of jobs undone one by one, the refusal over a file changed since, damaged
// steps, and the limits.
#include <map>
#include <optional>

#include "cli/RunVorlak.h"
#include "history/History.h"
#include "statics/StaticsJobs.h"
#include "support/WholeFile.h"

namespace vorlak::test {
namespace {

// Every file of the folder (the history folder aside) and its bytes.
using Snapshot = std::map<std::string, Bytes>;

class HistoryCli : public CliFiles {
  public:
    using CliFiles::OnPair;
    Snapshot Take() const {
        Snapshot files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.root())) {
            if (entry.is_regular_file()) {
                files[entry.path().filename().string()] = ReadAll(entry.path().string());
            }
        }
        return files;
    }
    // Runs `args`, which must succeed.
    void Must(const Args& args) {
        CliResult r = RunVorlak(args);
        ASSERT_EQ(r.code, 0) << r.err;
    }
    Args Freeze(const std::string& file, bool history = true) {
        Args args = OnPair({"freeze", "--world", "64x64", "--items", file});
        if (!history) args.push_back("--no-history");
        return args;
    }
    Args Clear(int x1, int y1, int x2, int y2) {
        return OnPair({"clear", "--world", "64x64", "--x1", std::to_string(x1), "--y1",
                       std::to_string(y1), "--x2", std::to_string(x2), "--y2", std::to_string(y2)});
    }
    Args Undo(const Args& more = {}) { return Args{"undo", "--dir", dir.root()} + more; }
    Args Redo(const Args& more = {}) { return Args{"redo", "--dir", dir.root()} + more; }

    void WriteItems() {
        std::string text, more;
        for (int i = 0; i < 40; ++i) {
            text += Zedra3Item(std::to_string(100 + i), std::to_string(i * 3 % 64),
                               std::to_string(i * 7 % 64), std::to_string(i - 20));
        }
        WriteText(items, text);
        WriteText(moreItems, Zedra3Item("9", "9", "9") + Zedra3Item("10", "40", "41"));
    }
    // The palette: kind k's colour at pixel (k, 0); a picture of water, grass and lava.
    void WritePictures() {
        MemoryPicture colours(12, 1);
        for (int32_t k = 0; k < 12; ++k) colours.setPixel(k, 0, Rgb(k * 20, 255 - k * 20, k));
        ASSERT_TRUE(SavePicture(colours, palette));
        MemoryPicture picture(13, 11);
        MemoryPicture grey(13, 11);
        for (int32_t i = 0; i < 13 * 11; ++i) {
            picture.setPixel(i % 13, i / 13, Rgb((i % 3) * 20, 255 - (i % 3) * 20, i % 3));
            grey.setPixel(i % 13, i / 13, Rgb(i, i, i));
        }
        ASSERT_TRUE(SavePicture(picture, bitmap));
        ASSERT_TRUE(SavePicture(grey, greyBitmap, true));
    }
    Args Bmp2Map(const std::string& x, const std::string& y, bool history = true) {
        Args args = {"bmp2map", "--bitmap", bitmap, "--palette", palette, "--map",  map,  "--world",
                     "64x64",   "--x",      x,      "--y",       y,       "--seed", x + y};
        if (!history) args.push_back("--no-history");
        return args;
    }
    Args ArtImport(const std::string& number, bool history = true) {
        Args args = {"art",  "import", "--bitmap", bitmap,  "--number",
                     number, "--idx",  artIdx,     "--mul", art};
        if (!history) args.push_back("--no-history");
        return args;
    }

    std::string items = dir.path("items.wsc"), moreItems = dir.path("more.wsc");
    std::string melted = dir.path("melted.wsc");
    std::string palette = dir.path("colors.png"), bitmap = dir.path("picture.png");
    std::string greyBitmap = dir.path("grey.png"), map = dir.path("map0.mul");
    std::string artIdx = dir.path("artidx.mul"), art = dir.path("art.mul");
};

// Each job on files as a user has them: undo gives back every file as it was, redo as the job
// left it, lengths included (files the job created are removed again).
TEST_F(HistoryCli, EveryJobIsUndoneAndRedoneByteForByte) {
    struct Case {
        const char *name, *listed;  // what `history` says changed
        std::function<void(HistoryCli&)> setup;
        std::function<Args(HistoryCli&)> job;
    };
    auto pair = [](HistoryCli& t) { t.Must(t.Freeze(t.items, false)); };
    const Case cases[] = {
        {"freeze into a new pair", "]  staidx0.mul created; statics0.mul created\n",
         [](HistoryCli&) {}, [](HistoryCli& t) { return t.Freeze(t.items); }},
        {"freeze onto a pair", "]  staidx0.mul replaced; statics0.mul grew by 21 bytes\n", pair,
         [](HistoryCli& t) { return t.Freeze(t.moreItems); }},
        {"clear inside blocks", "]  staidx0.mul replaced; statics0.mul grew by 21 bytes\n", pair,
         [](HistoryCli& t) { return t.Clear(3, 3, 20, 30); }},
        {"compact", "]  staidx0.mul replaced; statics0.mul cut by 56 bytes, 301 bytes rewritten\n",
         [](HistoryCli& t) {
             t.Must(t.Freeze(t.items, false));
             t.Must(t.Clear(3, 3, 20, 30) + Args{"--no-history"});
         },
         [](HistoryCli& t) {
             return t.OnPair({"compact", "--world", "64x64"});
         }},
        {"melt creating its item file", "]  melted.wsc created\n", pair,
         [](HistoryCli& t) {
             return t.OnPair({"melt", "--world", "64x64", "--items", t.melted});
         }},
        {"melt over an item file", "]  melted.wsc replaced\n",
         [](HistoryCli& t) {
             t.Must(t.Freeze(t.items, false));
             WriteText(t.melted, "kept by the user\r\n");
         },
         [](HistoryCli& t) {
             return t.OnPair({"melt", "--world", "64x64", "--items", t.melted});
         }},
        {"bmp2map growing a new terrain file", "]  map0.mul created\n", [](HistoryCli&) {},
         [](HistoryCli& t) { return t.Bmp2Map("20", "30"); }},
        {"bmp2map over terrain", "]  map0.mul grew by 1568 bytes, 1176 bytes rewritten\n",
         [](HistoryCli& t) { t.Must(t.Bmp2Map("0", "0", false)); },
         [](HistoryCli& t) { return t.Bmp2Map("5", "3"); }},
        {"heights", "]  map0.mul 1176 bytes rewritten\n",
         [](HistoryCli& t) { t.Must(t.Bmp2Map("40", "40", false)); },
         [](HistoryCli& t) {
             return Args{"heights", "--bitmap", t.greyBitmap, "--map", t.map, "--world",
                         "64x64",   "--x",      "7",          "--y",   "12"};
         }},
        {"art import over a record", "]  art.mul 2048 bytes rewritten\n",
         [](HistoryCli& t) { t.Must(t.ArtImport("3", false)); },
         [](HistoryCli& t) { return t.ArtImport("3"); }},
        {"art import growing both files",
         "]  artidx.mul grew by 444 bytes; art.mul grew by 2048 bytes\n",
         [](HistoryCli& t) { t.Must(t.ArtImport("3", false)); },
         [](HistoryCli& t) { return t.ArtImport("40"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.root());
        std::filesystem::create_directories(dir.root());
        WriteItems();
        WritePictures();
        if (std::string(c.name).starts_with("art")) {
            MemoryPicture tile(44, 44);
            for (int32_t i = 0; i < 44 * 44; ++i) tile.setPixel(i % 44, i / 44, Rgb(7, i, 1));
            ASSERT_TRUE(SavePicture(tile, bitmap));
        }
        c.setup(*this);
        if (std::string(c.name).starts_with("art")) {
            // A tile of another picture, so that the record changes.
            MemoryPicture other(44, 44);
            for (int32_t i = 0; i < 44 * 44; ++i) other.setPixel(i % 44, i / 44, Rgb(i, 3, 9));
            ASSERT_TRUE(SavePicture(other, bitmap));
        }
        const Snapshot before = Take();
        Must(c.job(*this));
        const Snapshot after = Take();
        ASSERT_NE(after, before);
        EXPECT_TRUE(Has(RunVorlak({"history", "--dir", dir.root()}).out, c.listed));
        CliResult undo = RunVorlak(Undo());
        ASSERT_EQ(undo.code, 0) << undo.err;
        EXPECT_TRUE(Has(undo.out, "Undid job 1")) << undo.out;
        EXPECT_EQ(Take(), before);
        Must(Redo());
        EXPECT_EQ(Take(), after);
        CliResult again = RunVorlak(Redo());
        EXPECT_EQ(again.code, 1);
        EXPECT_EQ(again.err, "Nothing to redo.\n");
    }
}

TEST_F(HistoryCli, AChainOfJobsIsUndoneOneByOneAndRedoneInOrder) {
    WriteItems();
    std::vector<Snapshot> states{Take()};
    for (const Args& job :
         {Freeze(items), Clear(0, 0, 15, 15), Freeze(moreItems), Clear(40, 40, 63, 63)}) {
        Must(job);
        states.push_back(Take());
    }
    CliResult list = RunVorlak({"history", "--dir", dir.root()});
    ASSERT_EQ(list.code, 0);
    EXPECT_EQ(list.out.substr(0, 3), "4  ") << list.out;
    EXPECT_TRUE(Has(list.out, "clear --statics") || Has(list.out, "clear --world")) << list.out;
    for (size_t i = states.size() - 1; i > 0; --i) {
        Must(Undo());
        EXPECT_EQ(Take(), states[i - 1]) << "after undoing job " << i;
    }
    CliResult none = RunVorlak(Undo());
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.err, "Nothing to undo.\n");
    Must(Redo());
    Must(Redo());
    EXPECT_EQ(Take(), states[2]);
    // A new job ends what redo could bring back.
    Must(Clear(0, 0, 63, 63));
    EXPECT_EQ(RunVorlak(Redo()).err, "Nothing to redo.\n");
    Must(Undo());
    EXPECT_EQ(Take(), states[2]);
}

TEST_F(HistoryCli, UndoRefusesOverAChangeByAnythingElseUnlessForced) {
    WriteItems();
    Must(Freeze(items));
    const Snapshot first = Take();
    Must(Freeze(moreItems));
    Must(Clear(0, 0, 31, 31) + Args{"--no-history"});
    const Snapshot changed = Take();
    CliResult r = RunVorlak(Undo());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, ": staidx0.mul was changed since; nothing was changed.")) << r.err;
    EXPECT_TRUE(Has(r.err, "--force")) << r.err;
    EXPECT_EQ(Take(), changed);
    Must(Undo({"--force"}));
    EXPECT_EQ(Take(), first);
    // Redo refuses the same way over a change made after the undo.
    Must(Clear(0, 0, 7, 7) + Args{"--no-history"});
    const Snapshot later = Take();
    EXPECT_EQ(RunVorlak(Redo()).code, 1);
    EXPECT_EQ(Take(), later);
}

// A step cut short, altered or missing a kept copy is found before anything is written.
TEST_F(HistoryCli, ADamagedStepIsRefusedAndMarked) {
    WriteItems();
    Must(Freeze(items));
    Must(Freeze(moreItems));
    const Snapshot now = Take();
    const std::string folder = dir.path(".vorlak-history");
    EXPECT_TRUE(ReadText(folder + "/000002.step").starts_with("vorlak-history-step 1\n"));
    const struct {
        const char* file;
        std::function<void(const std::string&)> damage;
    } damages[] = {
        {"000002.step", [](const std::string& p) { std::filesystem::resize_file(p, 40); }},
        {"000002.step",
         [](const std::string& p) {
             Bytes b = ReadAll(p);
             b[30] ^= 1;
             WriteAll(p, b);
         }},
        {"000002.0.link", [](const std::string& p) { std::filesystem::remove(p); }},
        {"000002.0.link",
         [](const std::string& p) {
             Bytes b = ReadAll(p);
             b[5] ^= 0x40;
             std::filesystem::remove(p);  // a copy, so that the live index stays as it is
             WriteAll(p, b);
         }},
    };
    for (const auto& d : damages) {
        SCOPED_TRACE(d.file);
        const std::string path = folder + "/" + d.file;
        std::filesystem::copy_file(path, dir.path("saved"));
        d.damage(path);
        CliResult r = RunVorlak(Undo());
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(Has(r.err, "history step 2 is damaged")) << r.err;
        std::filesystem::remove(dir.path("saved.keep"));
        CliResult list = RunVorlak({"history", "--dir", dir.root()});
        EXPECT_TRUE(Has(list.out, "DAMAGED")) << list.out;
        std::filesystem::remove(path);
        std::filesystem::rename(dir.path("saved"), path);
        EXPECT_EQ(Take(), now);
    }
    Must(Undo());
    // Redo checks the copy it would put back the same way.
    const std::string after = folder + "/000002.0.after";
    ASSERT_TRUE(std::filesystem::exists(after));
    const Snapshot undone = Take();
    Bytes b = ReadAll(after);
    b[5] ^= 0x40;
    std::filesystem::remove(after);
    WriteAll(after, b);
    CliResult r = RunVorlak(Redo());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "history step 2 is damaged")) << r.err;
    EXPECT_EQ(Take(), undone);
}

// An undo cut short leaves its marker; the next undo finishes it, after checking the copies it
// puts back.
TEST_F(HistoryCli, AnUndoCutShortIsFinishedByTheNext) {
    WriteItems();
    Must(Freeze(items));
    const Snapshot before = Take();
    Must(Freeze(moreItems));
    Must(Undo());
    const std::string step = dir.path(".vorlak-history") + "/000002.";
    std::filesystem::rename(step + "undone", step + "undoing");
    const Bytes good = ReadAll(step + "0.link");
    Bytes bad = good;
    bad[5] ^= 0x40;
    std::filesystem::remove(step + "0.link");
    WriteAll(step + "0.link", bad);
    CliResult r = RunVorlak(Undo());
    EXPECT_TRUE(r.code == 1 && Has(r.err, "history step 2 is damaged")) << r.err;
    WriteAll(step + "0.link", good);
    r = RunVorlak(Undo());
    EXPECT_TRUE(r.code == 0 && Has(r.out, "Undid job 2")) << r.err;
    EXPECT_EQ(Take(), before);
}

// A redo cut short (here by a full disk) is finished by the next, as an undo is.
TEST_F(HistoryCli, ARedoCutShortIsFinishedByTheNext) {
    WriteItems();
    Must(Freeze(items, false));
    Must(Freeze(moreItems));  // the data file grows: redo writes those bytes again
    const Snapshot after = Take();
    Must(Undo());
    FaultyFileSystem full(5);
    ASSERT_FALSE(history::History(dir.root(), full).Redo(false).ok);
    ASSERT_TRUE(full.failed());
    CliResult r = RunVorlak(Redo());
    EXPECT_TRUE(r.code == 0 && Has(r.out, "Redid job 1")) << r.out << r.err;
    EXPECT_EQ(Take(), after);
}

// The step of a job killed before it changed anything (no seal, files as they were) is dropped
// by the next undo, which goes on to the job before it.
TEST_F(HistoryCli, AStepWhoseJobNeverStartedIsPassedOver) {
    WriteItems();
    const Snapshot none = Take();
    Must(Freeze(items));
    Must(Freeze(moreItems));
    Must(Undo());
    const std::string step = dir.path(".vorlak-history") + "/000002.";
    for (const char* end : {"undone", "seal"}) std::filesystem::remove(step + end);
    CliResult r = RunVorlak(Undo());
    EXPECT_TRUE(r.code == 0 && Has(r.out, "Undid job 1")) << r.out << r.err;
    EXPECT_EQ(Take(), none);
    EXPECT_FALSE(Has(RunVorlak({"history", "--dir", dir.root()}).out, "more.wsc"));
}

// A job killed after it wrote in place (no seal, bytes changed) is undone, not passed over.
TEST_F(HistoryCli, AJobKilledAfterItWroteInPlaceIsUndone) {
    WritePictures();
    Must(Bmp2Map("0", "0", false));
    const Snapshot before = Take();
    Must(Bmp2Map("5", "3"));
    std::filesystem::remove(dir.path(".vorlak-history") + "/000001.seal");
    CliResult r = RunVorlak(Undo());
    EXPECT_TRUE(r.code == 0 && Has(r.out, "Undid job 1")) << r.out << r.err;
    EXPECT_EQ(Take(), before);
}

TEST_F(HistoryCli, LimitsDropTheOldestStepsAndAreRemembered) {
    WriteItems();
    Must(Freeze(items));
    for (int i = 0; i < 4; ++i) Must(Clear(i * 8, 0, i * 8 + 7, 63));
    CliResult set = RunVorlak({"history", "--dir", dir.root(), "--keep-jobs", "3"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_TRUE(Has(set.out, "dropped its 2 oldest steps")) << set.out;
    CliResult job = RunVorlak(Clear(40, 0, 47, 63));
    EXPECT_EQ(job.err, "The history dropped its oldest step.\n");
    CliResult list = RunVorlak({"history", "--dir", dir.root()});
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3) << list.out;
    EXPECT_EQ(list.out.substr(0, 3), "6  ");
    // By size: the steps' files in all may fill the limit exactly, not one byte more.
    uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path(".vorlak-history"))) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 7 && name[6] == '.' && std::isdigit(name[0])) bytes += entry.file_size();
    }
    set = RunVorlak({"history", "--dir", dir.root(), "--keep-bytes", std::to_string(bytes)});
    EXPECT_FALSE(Has(set.out, "dropped")) << set.out;
    set = RunVorlak({"history", "--dir", dir.root(), "--keep-bytes", std::to_string(bytes - 1)});
    EXPECT_TRUE(Has(set.out, "dropped its 1 oldest step")) << set.out;
    // Each clear keeps a 768-byte index; the newest step always stays.
    Must({"history", "--dir", dir.root(), "--keep-jobs", "20", "--keep-bytes", "2K"});
    list = RunVorlak({"history", "--dir", dir.root()});
    EXPECT_LE(std::count(list.out.begin(), list.out.end(), '\n'), 2) << list.out;
    EXPECT_EQ(RunVorlak({"history", "--dir", dir.root(), "--keep-bytes", "2X"}).code, 2);
    // Files left of steps that are gone go too; other files stay.
    const std::string kept = dir.path(".vorlak-history/notes.txt");
    const std::string left = dir.path(".vorlak-history/000099.new");
    for (const std::string& name : {kept, left}) WriteText(name, "x");
    Must({"history", "--dir", dir.root(), "--clear"});
    EXPECT_EQ(RunVorlak({"history", "--dir", dir.root()}).out, "No jobs recorded.\n");
    EXPECT_TRUE(Exists(kept) && !Exists(left));
}

// --keep-bytes takes a whole number of bytes with an optional binary unit, up to 2^64 - 1.
TEST(HistorySize, WholeNumbersWithBinaryUnits) {
    constexpr uint64_t kMax = ~uint64_t{0};
    const std::pair<const char*, std::optional<uint64_t>> cases[] = {
        {"0", 0},
        {"2K", 2048},
        {"3MiB", 3 << 20},
        {"1G", 1 << 30},
        {"16777215T", kMax << 40},
        {"16777216T", std::nullopt},
        {"18446744073709551615", kMax},
        {"18446744073709551616", std::nullopt},
        {"2X", std::nullopt},
        {"1k", std::nullopt},
        {"-1", std::nullopt},
        {" 1", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [text, size] : cases) EXPECT_EQ(history::ParseSize(text), size) << text;
}

TEST_F(HistoryCli, NoHistoryAndAnUnusableHistoryFolderRecordNothing) {
    WriteItems();
    Must(Freeze(items, false));
    EXPECT_FALSE(std::filesystem::exists(dir.path(".vorlak-history")));
    std::filesystem::create_directory(dir.path("elsewhere"));
    std::filesystem::create_directory_symlink(dir.path("elsewhere"), dir.path(".vorlak-history"));
    // Freeze records its step before its first record, clear while it writes its new index.
    for (const Args& job : {Freeze(moreItems), Clear(0, 0, 7, 7)}) {
        CliResult r = RunVorlak(job);
        EXPECT_TRUE(r.code == 0 && Has(r.err, "The job ran without recording a step")) << r.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path("elsewhere")));
}

// A freeze hands the step what it appended: the seal takes its sums from there, not from the data
// file read back, into a new pair and onto one; undo still takes both back byte for byte.
TEST_F(HistoryCli, TheStepTakesWhatFreezeAppendedFromTheJob) {
    WriteItems();
    for (const std::string& file : {items, moreItems}) {
        CountingFileSystem fs;
        history::StepRecorder step("freeze", fs);
        JobOutcome outcome = RunFreeze({file, mul, idx, false, -1, world::Size{64, 64}, &step},
                                       [](const std::string&) {});
        ASSERT_TRUE(outcome.ok) << outcome.status;
        EXPECT_EQ(fs.read["statics0.mul"], 0u) << file;
        // The step is durable before the job's first change.
        EXPECT_GE(fs.syncs.size(), 1u);
        uint64_t manifests = 0;
        for (const auto& [name, n] : fs.syncs) manifests += name.find(".step") != name.npos ? n : 0;
        EXPECT_GE(manifests, 1u) << file;
        EXPECT_EQ(step.remark(), "");
    }
    const Snapshot frozen = Take();
    Must(Undo());
    Must(Redo());
    EXPECT_EQ(Take(), frozen);
    Must(Undo());
    Must(Undo());
    EXPECT_FALSE(std::filesystem::exists(mul));
}

// The step files' checksum is the one docs/history.md lays out, fed in pieces of any size.
TEST(HistoryChecksum, IsTheDocumentedOne) {
    Bytes bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    history::Checksum empty, whole, pieces;
    whole.Update(bytes.data(), bytes.size());
    const size_t cuts[] = {0, 5, 45, 77, 100};  // pieces across and inside 32-byte blocks
    for (size_t i = 0; i + 1 < std::size(cuts); ++i)
        pieces.Update(bytes.data() + cuts[i], cuts[i + 1] - cuts[i]);
    EXPECT_EQ(empty.Value(), 0x9bf85e4865ed83c3u);
    EXPECT_EQ(whole.Value(), 0xe608fda4e54e6d74u);
    EXPECT_EQ(pieces.Value(), whole.Value());
    history::Checksum twoBlocks;  // whole blocks only, nothing left over
    twoBlocks.Update(bytes.data(), 64);
    EXPECT_EQ(twoBlocks.Value(), 0xf3c6c3d6173951d5u);
}

}  // namespace
}  // namespace vorlak::test
