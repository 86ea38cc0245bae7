// The Map->Bmp page's button through its handler: the picture saved and previewed, refusals in a
// message box with no picture behind, and the one-job guard over the button.
#include <QDir>
#include <QLabel>

#include "AppFixture.h"
#include "app/MapToBmpPage.h"
#include "app/mComdlg.h"

namespace vorlak::app::test {
namespace {

class MapToBmpPage : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir::setCurrent(QString::fromStdString(dir_.root().string()));  // colors.gif: none
        Open();
        vorlak::test::WriteAll(dir_.path("map0.mul"), vorlak::test::Bytes(514 * 196, 0));
        vorlak::test::WriteAll(dir_.path("radarcol.mul"), {0x1F, 0x00});  // tile 0: blue
        vorlak::test::WriteAll(dir_.path("staidx0.mul"), {});
        vorlak::test::WriteAll(dir_.path("statics0.mul"), {});
        for (const char* name : {"Map", "Staidx", "Statics", "Radarcol"}) {
            QString box = QStringLiteral("txtM2B") + name;
            SetText(box, QString::fromStdString(dir_.path(TextOf(box).toLower().toStdString())));
        }
        SetText("txtM2BX2", "15");
        SetText("txtM2BY2", "7");
        SetText("txtM2BPicture", QString::fromStdString(dir_.path("out.png")));
    }
    void TearDown() override {
        QDir::setCurrent(mComdlg::ProgramFolder());
        WindowTest::TearDown();
    }
    QLabel* Preview() { return window().mapToBmpPage().picMAP2BMP(); }
};

TEST_F(MapToBmpPage, SavesAndPreviewsThePictureOneJobAtATime) {
    std::vector<QString> refused;
    QObject::connect(&window(), &frmStart::jobRefused,
                     [&](const QString& button) { refused.push_back(button); });
    bool clickedAgain = false;
    QObject::connect(&window(), &frmStart::statusShown, [&](const QString&) {
        if (clickedAgain) return;
        clickedAgain = true;
        Button("cmdMAP2BMP")->click();  // while the first job runs
    });
    Button("cmdMAP2BMP")->click();
    EXPECT_EQ(refused, std::vector<QString>{"cmdMAP2BMP"});
    EXPECT_EQ(Status(), "Saved a 16 x 8 picture to " + TextOf("txtM2BPicture") + ".");
    QImage saved(TextOf("txtM2BPicture"));
    EXPECT_EQ(saved.size(), QSize(16, 8));
    EXPECT_EQ(saved.pixelColor(15, 7), QColor(0, 0, 248));
    ASSERT_FALSE(Preview()->pixmap().isNull());
    EXPECT_EQ(Preview()->pixmap().width(), Preview()->width() - 4);  // scaled to fit
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MapToBmpPage, RefusalsShowAMessageAndLeaveNoPicture) {
    struct Case {
        const char* option;
        QString x2, status;
    } cases[] = {
        {"optM2BKinds", "15", "The palette colors.gif is missing."},
        {"optM2BOverview", "6144", "Illegal cordinates."},
    };
    for (const Case& c : cases) {
        messages_.clear();
        Option(c.option)->setChecked(true);
        SetText("txtM2BX2", c.x2);
        Button("cmdMAP2BMP")->click();
        EXPECT_EQ(messages_, (std::vector<Message>{{c.status, "Map2Bmp"}}));
        EXPECT_FALSE(vorlak::test::Exists(TextOf("txtM2BPicture").toStdString()));
        EXPECT_TRUE(Preview()->pixmap().isNull());
    }
}

}  // namespace
}  // namespace vorlak::app::test
