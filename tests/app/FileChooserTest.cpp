#include <QDir>
#include <filesystem>

#include "AppFixture.h"
#include "app/BmpToMapPage.h"
#include "app/PictureBox.h"
#include "app/mComdlg.h"

namespace vorlak::app::test {
namespace {

using Pairs = std::vector<std::pair<QString, QString>>;

TEST(FileFilter, SplitsDescriptionsAndPatterns) {
    EXPECT_EQ(mComdlg::FilterPairs("Art.mul (*.mul) |*.mul"),
              (Pairs{{"Art.mul (*.mul) ", "*.mul"}}));
    EXPECT_EQ(mComdlg::FilterPairs("A|*.a"), mComdlg::FilterPairs("A|*.a|"));
    EXPECT_EQ(
        mComdlg::FilterPairs("Windows Bitmap (*.bmp) |*.bmp|Compuserve bitmap (*.gif)|*.gif"),
        (Pairs{{"Windows Bitmap (*.bmp) ", "*.bmp"}, {"Compuserve bitmap (*.gif)", "*.gif"}}));
    EXPECT_EQ(mComdlg::FilterPairs(""), Pairs{});
    EXPECT_EQ(mComdlg::FilterPairs("A|*.a|B"), (Pairs{{"A", "*.a"}}));  // B has no pattern
}

TEST(FileFilter, GivesTheDialogItsOwnForm) {
    EXPECT_EQ(mComdlg::NameFilters("Art.mul (*.mul) |*.mul"), QStringList{"Art.mul (*.mul)"});
    EXPECT_EQ(mComdlg::NameFilters("Pictures|*.bmp;*.gif|All|*"),
              (QStringList{"Pictures (*.bmp *.gif)", "All (*)"}));
}

class FileChooser : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        previous_ = mComdlg::SetFileDialog([this](const mComdlg::FileRequest& request) {
            requests_.push_back(request);
            // A person browsing elsewhere moves the current folder with them.
            QDir::setCurrent(QString::fromStdString(dir_.root().string()));
            return answer_;
        });
    }
    void TearDown() override {
        mComdlg::SetFileDialog(previous_);
        QDir::setCurrent(mComdlg::ProgramFolder());
        WindowTest::TearDown();
    }

    QString answer_;
    std::vector<mComdlg::FileRequest> requests_;
    mComdlg::FileDialog previous_;
};

// The dialog may move the current folder; every pick goes back to the program's folder.
TEST_F(FileChooser, EachPickerFillsItsBoxAndKeepsItOnCancel) {
    struct Picker {
        const char *button, *box, *title, *filter;
    } pickers[] = {
        {"cmdArtidx", "txtArtIdx", "Select artidx.mul", "Artidx.mul (*.mul)"},
        {"cmdArtmul", "txtArtMul", "Select art.mul", "Art.mul (*.mul)"},
        {"cmdBmp", "txtArtPicture", "Select picture.bmp", "picture.bmp (*.bmp)"},
        {"cmdMap", "txtB2MMap", "Select map0.mul", "map0.mul (*.mul)"},
    };
    frmStart& w = Open();
    ASSERT_NE(QDir::currentPath(), QString::fromStdString(dir_.root().string()));
    for (const Picker& p : pickers) {
        SCOPED_TRACE(p.button);
        requests_.clear();
        const QString before = TextOf(p.box);
        answer_ = "";
        Button(p.button)->click();
        EXPECT_EQ(TextOf(p.box), before);
        EXPECT_EQ(QDir::currentPath(), mComdlg::ProgramFolder());

        answer_ = QString::fromStdString("  " + dir_.path("picked.mul") + " ");
        Button(p.button)->click();
        EXPECT_EQ(TextOf(p.box), answer_.trimmed());
        EXPECT_EQ(QDir::currentPath(), mComdlg::ProgramFolder());

        ASSERT_EQ(requests_.size(), 2u);
        EXPECT_EQ(requests_[1].owner, &w);
        EXPECT_EQ(requests_[1].title, p.title);
        EXPECT_EQ(requests_[1].folder, mComdlg::ProgramFolder());
        EXPECT_EQ(requests_[1].nameFilters, QStringList{p.filter});
    }
}

TEST_F(FileChooser, PickingABitmapTakesItAndSetsThePlacementLabel) {
    Open();
    const std::string picture = dir_.path("land.bmp");
    WritePicture(picture, 256, 128);
    answer_ = QString::fromStdString(picture);
    Button("cmdBitmap")->click();
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].title, "Select Bitmap");
    EXPECT_EQ(requests_[0].nameFilters,
              (QStringList{"Windows Bitmap (*.bmp)", "Compuserve bitmap (*.gif)"}));
    EXPECT_EQ(TextOf("txtBitmap"), answer_);
    EXPECT_EQ(Dim(), " -> 256x128");
    EXPECT_EQ(window().bmpToMapPage().picBMP2MAP().picture()->width(), 256);

    // Typing a new placement does not move the label until the next pick.
    SetText("txtBMPX", "100");
    SetText("txtBMPY", "50");
    EXPECT_EQ(Dim(), " -> 256x128");
    Button("cmdBitmap")->click();
    EXPECT_EQ(Dim(), " -> 356x178");

    // Cancel, and a file that is no picture, change nothing; the latter is told.
    answer_ = "";
    Button("cmdBitmap")->click();
    answer_ = QString::fromStdString(dir_.path("notes.bmp"));
    vorlak::test::WriteText(dir_.path("notes.bmp"), "text");
    Button("cmdBitmap")->click();
    EXPECT_EQ(TextOf("txtBitmap"), QString::fromStdString(picture));
    EXPECT_EQ(Dim(), " -> 356x178");
    EXPECT_EQ(window().bmpToMapPage().picBMP2MAP().picture()->width(), 256);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, "BMP2Map");
}

}  // namespace
}  // namespace vorlak::app::test
