// The Art and Bmp->Map handlers as the window runs them: what reaches picTest, picBMP2MAP,
// lblDim, the message boxes and the files.
#include <QDir>
#include <QImage>

#include "AppFixture.h"
#include "app/ArtPage.h"
#include "app/BmpToMapPage.h"
#include "app/PictureBox.h"
#include "app/mComdlg.h"

namespace vorlak::app::test {
namespace {

using vorlak::test::Exists;
using vorlak::test::ReadAll;

constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kBlue = 0xFF0000;

class ArtAndMapPages : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Freeze picture and the map job work on files of the current folder.
        QDir::setCurrent(QString::fromStdString(dir_.root().string()));
        Open();
    }
    void TearDown() override {
        QDir::setCurrent(mComdlg::ProgramFolder());
        WindowTest::TearDown();
    }
    ArtPage& art() { return window().artPage(); }
    int32_t Pixel(int x, int y) { return art().picTest().image().pixel(x, y); }
};

TEST_F(ArtAndMapPages, ArtPageRoundTripThroughABitmapAndTheArtFiles) {
    // A 50 x 50 blue picture loaded from a bitmap covers the top-left corner only.
    WritePicture(dir_.path("blue.bmp"), 50, 50, kBlue);
    SetText("txtArtPicture", QString::fromStdString(dir_.path("blue.bmp")));
    art().cmdLoadFromBMP_Click();
    EXPECT_EQ(Pixel(0, 0), kBlue);
    EXPECT_EQ(Pixel(49, 49), kBlue);
    EXPECT_EQ(Pixel(50, 50), kRed);

    // Save to BMP writes the whole box, whatever the name's extension says.
    SetText("txtArtPicture", QString::fromStdString(dir_.path("box.png")));
    art().cmdSaveArt_Click();
    QImage saved(QString::fromStdString(dir_.path("box.png")), "BMP");
    EXPECT_EQ(saved.size(), QSize(164, 252));
    EXPECT_EQ(saved.pixelColor(0, 0), QColor(0, 0, 255));

    // Freeze picture writes the diamond as landscape tile 7 into the art files of the current
    // folder; Load art brings it back, its corners on the red background.
    SetText("txtArtNumber", "7");
    art().cmdFreezePicture_Click();
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(ReadAll(dir_.path("art.mul")).size(), 2048u);
    SetText("txtArtIdx", QString::fromStdString(dir_.path("artidx.mul")));
    SetText("txtArtMul", QString::fromStdString(dir_.path("art.mul")));
    art().cmdLoadArt_Click();
    EXPECT_EQ(Pixel(21, 0), 0xF80000);  // blue, reduced to 5 bits and back
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_EQ(Pixel(60, 60), kRed);
}

TEST_F(ArtAndMapPages, ArtPageTellsWhatWentWrong) {
    art().picTest().image().setPixel(0, 0, kBlue);
    // Missing art files, or no picture named: nothing changes, nothing is said.
    SetText("txtArtIdx", QString::fromStdString(dir_.path("none.idx")));
    art().cmdLoadArt_Click();
    art().cmdLoadFromBMP_Click();
    EXPECT_EQ(Pixel(0, 0), kBlue);
    EXPECT_TRUE(messages_.empty());

    // A number out of range clears the box and says so.
    vorlak::test::WriteText(dir_.path("artidx.mul"), "");
    vorlak::test::WriteText(dir_.path("art.mul"), "");
    SetText("txtArtIdx", QString::fromStdString(dir_.path("artidx.mul")));
    SetText("txtArtNumber", "16384");
    art().cmdLoadArt_Click();
    EXPECT_EQ(Pixel(0, 0), kRed);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], (Message{"Art number goes from 0 to 16383.", "Vorlak"}));

    // A picture that cannot be read or written is told, not passed over.
    vorlak::test::WriteText(dir_.path("notes.bmp"), "text");
    SetText("txtArtPicture", QString::fromStdString(dir_.path("notes.bmp")));
    art().cmdLoadFromBMP_Click();
    SetText("txtArtPicture", QString::fromStdString(dir_.path("no/such/folder.bmp")));
    art().cmdSaveArt_Click();
    SetText("txtArtNumber", "-1");
    art().cmdFreezePicture_Click();
    ASSERT_EQ(messages_.size(), 4u);
    EXPECT_NE(messages_[1].text.indexOf("notes.bmp"), -1);
    EXPECT_NE(messages_[2].text.indexOf("folder.bmp"), -1);
    EXPECT_TRUE(messages_[3].text.startsWith("Art number goes from 0"))
        << messages_[3].text.toStdString();
    EXPECT_EQ(Pixel(0, 0), kRed);
}

TEST_F(ArtAndMapPages, DrawMapChecksThePaletteAndThePictureFirst) {
    WritePicture(dir_.path("land.bmp"), 8, 8, 0x00FF00);
    SetText("txtBitmap", QString::fromStdString(dir_.path("land.bmp")));
    SetText("txtB2MMap", QString::fromStdString(dir_.path("map0.mul")));
    Button("cmdBMP2MAP")->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], (Message{"Colors.gif is missing! BMP to Map aborted", "BMP2Map"}));

    // With a palette but no picture, the holder keeps the palette and lblDim stays.
    WritePicture(dir_.path("colors.gif"), 12, 1, 0x000010, "PNG");
    SetText("txtBitmap", QString::fromStdString(dir_.path("gone.bmp")));
    Button("cmdBMP2MAP")->click();
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[1], (Message{"Missing picture! BMP to Map aborted", "BMP2Map"}));
    EXPECT_EQ(window().bmpToMapPage().picBMP2MAP().picture()->width(), 12);
    EXPECT_EQ(Dim(), "");
    EXPECT_FALSE(Exists(dir_.path("map0.mul")));

    // Both there: lblDim follows the placement typed since, and the rows are reported.
    SetText("txtBitmap", QString::fromStdString(dir_.path("land.bmp")));
    SetText("txtBMPX", "8");
    std::vector<QString> shown;
    QObject::connect(&window(), &frmStart::statusShown,
                     [&](const QString& text) { shown.push_back(text); });
    Button("cmdBMP2MAP")->click();
    EXPECT_EQ(Dim(), " -> 16x8");
    EXPECT_EQ(shown,
              (std::vector<QString>{"0% finished", "12% finished", "25% finished", "38% finished",
                                    "50% finished", "62% finished", "75% finished", "88% finished",
                                    "Map imported succesfully!"}));
    EXPECT_EQ(messages_.size(), 2u);
}

}  // namespace
}  // namespace vorlak::app::test
