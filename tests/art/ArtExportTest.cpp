// Every art tile of a kind into a folder: present records written, missing and unreadable ones
// skipped and counted.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "ArtPair.h"
#include "art/ArtExport.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

TEST(ArtExportTest, WritesEachRecordAndCountsTheMissingOnes) {
    test::TempDir dir;
    test::ArtPair art;
    art.Add(0, test::ArtPair::Landscape([](int32_t) { return 0x001F; }));
    art.SetEntry(1, -1, -1);  // removed
    art.Add(2, test::ArtPair::Landscape([](int32_t i) { return i; }));
    art.Add(kStaticTileRecords + 5, test::ArtPair::Static(3, {{{1, {0x7C00}}}}));
    art.Add(kStaticTileRecords + 6, {1, 2, 3});  // too short for its size: unreadable
    art.Write(dir.path("artidx.mul"), dir.path("art.mul"));

    using Sizes = std::map<std::string, std::pair<int32_t, int32_t>>;  // file name: size
    // clang-format off
    struct Case {
        ArtKind kind;
        Sizes files;
        int32_t missing, unreadable;
    } cases[] = {
        {ArtKind::kLandscape, {{"00000.bmp", {44, 44}}, {"00002.bmp", {44, 44}}}, 16382, 0},
        {ArtKind::kStatic, {{"00005.bmp", {4, 2}}}, 16382, 1}};
    // clang-format on
    for (const Case& c : cases) {
        const std::string folder = dir.path(c.kind == ArtKind::kStatic ? "static/new" : "land");
        Sizes saved;
        auto save = [&](const Picture& p, const std::string& path) {
            saved[path.substr(folder.size() + 1)] = {p.width(), p.height()};
            return std::string();
        };
        ExportAllArtOutcome outcome = RunExportAllArt(
            {dir.path("artidx.mul"), dir.path("art.mul"), c.kind, folder, "bmp"}, save, {});
        EXPECT_TRUE(outcome.ok) << outcome.status;
        EXPECT_EQ(saved, c.files);
        EXPECT_EQ(std::tuple(outcome.written, outcome.missing, outcome.unreadable),
                  std::tuple(static_cast<int32_t>(c.files.size()), c.missing, c.unreadable));
        EXPECT_TRUE(std::filesystem::is_directory(folder));
    }
}

}  // namespace
}  // namespace vorlak
