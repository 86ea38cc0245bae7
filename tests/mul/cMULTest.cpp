#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <initializer_list>

#include "mul/Error.h"
#include "mul/LittleEndian.h"
#include "mul/cMUL.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

using test::Bytes;
using test::ReadAll;
using test::WriteAll;

// Index entries, 12 bytes each, one after the other.
Bytes Entries(std::initializer_list<std::array<int32_t, 4>> entries) {
    Bytes out;
    for (const auto& [offset, length, a, b] : entries) {
        le::Put32(out, offset);
        le::Put32(out, length);
        le::Put16(out, a);
        le::Put16(out, b);
    }
    return out;
}

// What cLoad gives for record n when the buffer holds {9} and both flags 5 before.
struct Loaded {
    int32_t length;
    ByteBuffer buf;
    int16_t a, b;
    bool operator==(const Loaded&) const = default;
};
Loaded Load(cMUL& pair, int32_t n) {
    Loaded l{0, {9}, 5, 5};
    l.length = pair.cLoad(n, l.buf, l.a, l.b);
    return l;
}

using IndexedPair = test::PairTest;

TEST_F(IndexedPair, OpenCreatesEmptyFilesCountsWholeEntriesAndFlagsRemovedRecords) {
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    EXPECT_TRUE(test::Exists(idx) && test::Exists(mul));
    EXPECT_EQ(Load(pair, 3), (Loaded{0, {9}, 0, 0}));
    EXPECT_EQ(pair.cOpen(idx, mul, -1, -1), idx + " and " + mul + " is allready opened.");
    pair.cClose();
    EXPECT_EQ(pair.cCount(), 0);

    Bytes index = Entries({{-1, -1, 7, -2}});
    index.resize(30);  // 2.5 entries
    WriteAll(idx, index);
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    EXPECT_EQ(pair.cCount(), 2);
    EXPECT_EQ(Load(pair, 0), (Loaded{-1, {9}, 7, -2}));  // removed: the buffer is kept
}

TEST_F(IndexedPair, SaveAppendsWhenLongerAndWritesInPlaceOtherwise) {
    WriteAll(idx, Entries({{0, 2024, 0, 0}}));
    WriteAll(mul, Bytes(2024, 0x11));
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    pair.cSave(0, ByteBuffer(2048, 0x22), 1, 2, false);  // longer: appended
    pair.cSave(0, ByteBuffer(2048, 0x33), 1, 2, false);  // same length: in place
    pair.cSave(0, ByteBuffer(10, 0x44), 3, 4, false);    // shorter: in place, shorter length
    pair.cClose();

    Bytes expected(2024, 0x11);
    expected.resize(2024 + 10, 0x44);
    expected.resize(2024 + 2048, 0x33);  // the old tail stays
    EXPECT_EQ(ReadAll(mul), expected);
    EXPECT_EQ(ReadAll(idx), Entries({{2024, 10, 3, 4}}));
}

// A record of one byte is a record like any other: loaded, and rewritten in place; so is a
// fixed block of one byte.
TEST_F(IndexedPair, OneByteRecords) {
    WriteAll(idx, Entries({{0, 1, 0, 0}}));
    WriteAll(mul, {7});
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    EXPECT_EQ(Load(pair, 0), (Loaded{1, {7}, 0, 0}));
    pair.cSave(0, ByteBuffer{8}, 0, 0, false);
    pair.cClose();
    EXPECT_EQ(ReadAll(mul), (Bytes{8}));
    ASSERT_EQ(pair.cOpen("", mul, 1, 4), "");
    EXPECT_EQ(Load(pair, 0), (Loaded{1, {8}, -1, -1}));
}

TEST_F(IndexedPair, RemovingWritesTheEntryOnlyAndSavingBeyondTheEndExtendsTheIndex) {
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    pair.cSave(2, ByteBuffer{5, 6, 7}, 0, 0, false);
    pair.cSave(0, ByteBuffer{1}, 9, 8, true);
    pair.cClose();
    EXPECT_EQ(ReadAll(idx), Entries({{-1, -1, 9, 8}, {0, 0, 0, 0}, {0, 3, 0, 0}}));
    EXPECT_EQ(ReadAll(mul), (Bytes{5, 6, 7}));

    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    EXPECT_EQ(Load(pair, 2).buf, (ByteBuffer{5, 6, 7}));
}

TEST_F(IndexedPair, BadRecordNumbersAndDamagedEntries) {
    // A run before the start of the file, one beyond the end of the data file (read as zeros),
    // and a damaged length that is not allocated.
    WriteAll(idx, Entries({{-5, 10, 0, 0}, {100, 4, 0, 0}, {0, 2000000000, 0, 0}}));
    cMUL pair;
    ASSERT_EQ(pair.cOpen(idx, mul, -1, -1), "");
    for (int32_t n : {-1, 0, 2, 2147483647}) {  // the last: n * 12 overflows
        EXPECT_EQ(std::pair(Load(pair, n).length, Load(pair, n).buf), std::pair(0, ByteBuffer{9}));
    }
    EXPECT_EQ(Load(pair, 1).buf, (ByteBuffer{0, 0, 0, 0}));
    EXPECT_THROW(pair.cSave(-1, ByteBuffer{1}, 0, 0, false), Error);
    // A damaged entry with a negative offset is never written through: the record is appended.
    pair.cSave(0, ByteBuffer{1, 2}, 0, 0, false);
    EXPECT_EQ(pair.Entry(0).offset, 0);
}

TEST_F(IndexedPair, FixedBlockMode) {
    cMUL pair;
    for (int32_t blockBytes : {196, 1}) {
        EXPECT_EQ(pair.cOpen("", mul, blockBytes, 0), "Illegal number of blocks.");
    }
    EXPECT_FALSE(test::Exists(mul));
    ASSERT_EQ(pair.cOpen("", mul, 196, 393216), "");
    EXPECT_EQ(pair.cCount(), 393216);
    EXPECT_EQ(Load(pair, 5), (Loaded{196, ByteBuffer(196, 0), -1, -1}));

    pair.cSave(1, ByteBuffer(196, 0xAB), 0, 0, false);
    pair.cSave(0, ByteBuffer(4, 0xCD), 0, 0, false);    // shorter: start of its block
    pair.cSave(0, ByteBuffer(196, 0xEE), 0, 0, true);   // removal writes nothing
    pair.cSave(0, ByteBuffer(200, 0x01), 0, 0, false);  // longer: appended, nothing refers to it
    EXPECT_EQ(Load(pair, 1).buf, ByteBuffer(196, 0xAB));
    pair.cClose();
    Bytes expected(4, 0xCD);
    expected.resize(196, 0);
    expected.resize(392, 0xAB);
    expected.resize(592, 0x01);
    EXPECT_EQ(ReadAll(mul), expected);

    std::string missingDir = dir.path("no/such/art.mul");
    EXPECT_EQ(pair.cOpen("", missingDir, 196, 393216), "Unable to open  and " + missingDir + ".");
    EXPECT_EQ(pair.cOpen(idx, missingDir, -1, -1),
              "Unable to open " + idx + " and " + missingDir + ".");
}

// Removing a file that is not there is no failure (a job cleans up what it may not have made),
// but a removal that fails is never passed over.
TEST(FileSystem, RemoveTakesAMissingFileAndReportsAFailure) {
    test::TempDir dir;
    FileSystem& fs = DefaultFileSystem();
    EXPECT_NO_THROW(fs.Remove(dir.path("never.mul")));
    test::WriteText(dir.path("gone.mul"), "x");
    fs.Remove(dir.path("gone.mul"));
    EXPECT_FALSE(fs.Exists(dir.path("gone.mul")));
    std::filesystem::create_directory(dir.path("folder"));
    EXPECT_THROW(fs.Remove(dir.path("folder")), Error);
}

// A write the system refuses fails with its cause and is not tried again. A file size limit
// stands in for a full disk, in a child process that alone keeps the limit.
TEST(FileSystem, AWriteTheSystemRefusesFailsWithItsCause) {
    test::TempDir dir;
    const std::string path = dir.path("big.mul");
    test::WriteText(path, "");
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            DefaultFileSystem().Open(path, OpenMode::kReadWrite)->WriteAt(0, test::Bytes(4096));
        } catch (const Error& e) {
            ::_exit(std::string(e.what()).starts_with("Cannot write " + path) ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace vorlak
