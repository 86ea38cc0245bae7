// The Art, Bmp->Map and Map->Bmp pages and the file pickers as the window runs them: what reaches
// picTest, picBMP2MAP, picMAP2BMP, lblDim, the message boxes and the files.
#include "AppFixture.h"
#include "app/ArtPage.h"
#include "app/BmpToMapPage.h"
#include "app/MapToBmpPage.h"
#include "app/PictureBox.h"

namespace vorlak::app::test {
namespace {

constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kBlue = 0xFF0000;

// The dialog's form of a filter: a trailing blank of a description goes, patterns split by ";"
// are joined by blanks, a trailing "|" or a description without a pattern is left out.
TEST(FileFilter, GivesTheDialogItsOwnForm) {
    EXPECT_EQ(mComdlg::NameFilters("Pictures |*.bmp;*.gif|All|*|"),
              (QStringList{"Pictures (*.bmp *.gif)", "All (*)"}));
    EXPECT_EQ(mComdlg::NameFilters("A|*.a|B"), QStringList{"A (*.a)"});
}

class Pages : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WorkInTestFolder();  // Freeze picture and the map jobs work on files of this folder
        Open();
    }
    ArtPage& art() { return window().artPage(); }
    int32_t Pixel(int x, int y) { return art().picTest().image().pixel(x, y); }
    const auto& Holder() { return window().bmpToMapPage().picBMP2MAP().picture(); }
};

// The dialog may move the current folder; every pick goes back to the program's folder.
TEST_F(Pages, EachPickerFillsItsBoxAndKeepsItOnCancel) {
    // clang-format off
    struct Picker {
        const char *button, *box, *title, *filter;
    } pickers[] = {
        {"cmdArtidx", "txtArtIdx", "Select artidx.mul", "Artidx.mul (*.mul)"},
        {"cmdArtmul", "txtArtMul", "Select art.mul", "Art.mul (*.mul)"},
        {"cmdBmp", "txtArtPicture", "Select picture.bmp", "picture.bmp (*.bmp)"},
        {"cmdMap", "txtB2MMap", "Select map0.mul", "map0.mul (*.mul)"}};
    // clang-format on
    for (const Picker& p : pickers) {
        SCOPED_TRACE(p.button);
        requests_.clear();
        const QString before = TextOf(p.box);
        for (const QString& answer : {QString(), "  " + P("picked.mul") + " "}) {
            answer_ = answer;
            Button(p.button)->click();
            EXPECT_EQ(TextOf(p.box), answer.isEmpty() ? before : answer.trimmed());
            EXPECT_EQ(QDir::currentPath(), mComdlg::ProgramFolder());
        }
        ASSERT_EQ(requests_.size(), 2u);
        EXPECT_EQ(requests_[1].owner, &window());
        EXPECT_EQ(requests_[1].title, p.title);
        EXPECT_EQ(requests_[1].folder, mComdlg::ProgramFolder());
        EXPECT_EQ(requests_[1].nameFilters, QStringList{p.filter});
    }
}

TEST_F(Pages, ArtPageRoundTripThroughABitmapAndTheArtFiles) {
    // A 50 x 50 blue picture loaded from a bitmap covers the top-left corner only.
    WritePicture(dir_.path("blue.bmp"), 50, 50, kBlue);
    SetTexts({{"txtArtPicture", P("blue.bmp")}});
    art().cmdLoadFromBMP_Click();
    EXPECT_EQ(Pixel(49, 49), kBlue);
    EXPECT_EQ(Pixel(50, 50), kRed);

    // Save to BMP writes the whole box, whatever the name's extension says.
    SetTexts({{"txtArtPicture", P("box.png")}});
    art().cmdSaveArt_Click();
    QImage saved(P("box.png"), "BMP");
    EXPECT_EQ(saved.size(), QSize(164, 252));
    EXPECT_EQ(saved.pixelColor(0, 0), QColor(0, 0, 255));

    // Freeze picture writes the diamond as landscape tile 7 into the art files of the current
    // folder; Load art brings it back (blue reduced to 5 bits and back), its corners on the red
    // background.
    SetTexts({{"txtArtNumber", "7"}});
    art().cmdFreezePicture_Click();
    SetTexts({{"txtArtIdx", P("artidx.mul")}, {"txtArtMul", P("art.mul")}});
    art().cmdLoadArt_Click();
    EXPECT_EQ(Pixel(21, 0), 0xF80000);
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(Pages, ArtPageTellsWhatWentWrong) {
    art().picTest().image().setPixel(0, 0, kBlue);
    // Missing art files, or no picture named: nothing changes, nothing is said.
    SetTexts({{"txtArtIdx", P("none.idx")}});
    art().cmdLoadArt_Click();
    art().cmdLoadFromBMP_Click();
    EXPECT_EQ(Pixel(0, 0), kBlue);
    EXPECT_TRUE(messages_.empty());

    // A number out of range clears the box and says so; a picture that cannot be read or
    // written is told, not passed over.
    for (const char* name : {"artidx.mul", "art.mul", "notes.bmp"})
        vorlak::test::WriteText(dir_.path(name), "");
    SetTexts({{"txtArtIdx", P("artidx.mul")}, {"txtArtNumber", "16384"}});
    art().cmdLoadArt_Click();
    EXPECT_EQ(Pixel(0, 0), kRed);
    SetTexts({{"txtArtPicture", P("notes.bmp")}});
    art().cmdLoadFromBMP_Click();
    SetTexts({{"txtArtPicture", P("no/such/folder.bmp")}, {"txtArtNumber", "-1"}});
    art().cmdSaveArt_Click();
    art().cmdFreezePicture_Click();
    ASSERT_EQ(messages_.size(), 4u);
    EXPECT_EQ(messages_[0], (Message{"Art number goes from 0 to 16383.", "Vorlak"}));
    EXPECT_NE(messages_[1].first.indexOf("notes.bmp"), -1);
    EXPECT_NE(messages_[2].first.indexOf("folder.bmp"), -1);
    EXPECT_TRUE(messages_[3].first.startsWith("Art number goes from 0 to 178956970"));
}

TEST_F(Pages, DrawMapChecksThePaletteAndThePictureFirst) {
    WritePicture(dir_.path("land.bmp"), 8, 8, 0x00FF00);
    SetTexts({{"txtBitmap", P("land.bmp")}, {"txtB2MMap", P("map0.mul")}});
    Button("cmdBMP2MAP")->click();
    // With a palette but no picture, the holder keeps the palette and lblDim stays.
    WritePicture(dir_.path("colors.gif"), 12, 1, 0x000010, "PNG");
    SetTexts({{"txtBitmap", P("gone.bmp")}});
    Button("cmdBMP2MAP")->click();
    EXPECT_EQ(messages_,
              (std::vector<Message>{{"Colors.gif is missing! BMP to Map aborted", "BMP2Map"},
                                    {"Missing picture! BMP to Map aborted", "BMP2Map"}}));
    EXPECT_EQ(Holder()->width(), 12);
    EXPECT_EQ(Dim(), "");
    EXPECT_FALSE(Exists(dir_.path("map0.mul")));

    // Both there: lblDim follows the placement typed since, and the rows are reported.
    SetTexts({{"txtBitmap", P("land.bmp")}, {"txtBMPX", "8"}});
    QStringList shown;
    QObject::connect(&window(), &frmStart::statusShown, [&](const QString& t) { shown << t; });
    Button("cmdBMP2MAP")->click();
    EXPECT_EQ(Dim(), " -> 16x8");
    EXPECT_EQ(shown.join(", "),
              "0% finished, 12% finished, 25% finished, 38% finished, 50% finished, 62% finished, "
              "75% finished, 88% finished, Map imported succesfully!");
    EXPECT_EQ(messages_.size(), 2u);
}

// Map->Bmp on a 16 x 8 corner of an all-zero terrain file whose tile 0 is blue; no colors.gif in
// the current folder. A refusal shows a message and leaves no picture; a second click while the
// job runs is refused.
TEST_F(Pages, MapToBmpSavesAndPreviewsThePictureOrTellsWhyNot) {
    vorlak::test::WriteAll(dir_.path("map0.mul"), Bytes(514 * 196, 0));
    vorlak::test::WriteAll(dir_.path("radarcol.mul"), {0x1F, 0x00});
    for (const char* name : {"staidx0.mul", "statics0.mul"})
        vorlak::test::WriteAll(dir_.path(name), {});
    // clang-format off
    SetTexts({{"txtM2BMap", P("map0.mul")}, {"txtM2BStaidx", P("staidx0.mul")},
              {"txtM2BStatics", P("statics0.mul")}, {"txtM2BRadarcol", P("radarcol.mul")},
              {"txtM2BY2", "7"}, {"txtM2BPicture", P("out.png")}});
    // clang-format on
    QLabel* preview = window().mapToBmpPage().picMAP2BMP();
    for (auto [option, x2] : {std::pair{"optM2BKinds", "15"}, {"optM2BOverview", "6144"}}) {
        Option(option)->setChecked(true);
        SetTexts({{"txtM2BX2", x2}});
        Button("cmdMAP2BMP")->click();
        EXPECT_FALSE(Exists(dir_.path("out.png")));
        EXPECT_TRUE(preview->pixmap().isNull());
    }
    EXPECT_EQ(messages_, (std::vector<Message>{{"The palette colors.gif is missing.", "Map2Bmp"},
                                               {"Illegal cordinates.", "Map2Bmp"}}));

    SetTexts({{"txtM2BX2", "15"}});  // the PNG is written band by band, previewed from its file
    QStringList refused;
    bool again = false;
    QObject::connect(&window(), &frmStart::jobRefused, [&](const QString& b) { refused << b; });
    QObject::connect(&window(), &frmStart::statusShown, [&](const QString&) {
        if (!std::exchange(again, true)) Button("cmdMAP2BMP")->click();  // while the job runs
    });
    Button("cmdMAP2BMP")->click();
    EXPECT_EQ(refused, QStringList{"cmdMAP2BMP"});
    EXPECT_EQ(Status(), "Saved a 16 x 8 picture to " + P("out.png") + ".");
    QImage saved(P("out.png"));
    EXPECT_EQ(saved.size(), QSize(16, 8));
    EXPECT_EQ(saved.pixelColor(15, 7), QColor(0, 0, 248));
    ASSERT_FALSE(preview->pixmap().isNull());
    EXPECT_EQ(preview->pixmap().width(), preview->width() - 4);  // scaled to fit
    EXPECT_EQ(messages_.size(), 2u);
}

}  // namespace
}  // namespace vorlak::app::test
