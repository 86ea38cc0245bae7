#include <QRegularExpression>

#include "AppFixture.h"
#include "app/BmpToMapPage.h"
#include "app/PictureBox.h"

namespace vorlak::app::test {
namespace {

TEST_F(WindowTest, FirstRunShowsTheInitialValuesOnTheAboutPage) {
    frmStart& w = Open();
    EXPECT_EQ(w.windowTitle(), "Vorlak");
    EXPECT_EQ(w.size(), QSize(596, 369));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // fixed size

    // The files each job works on, the whole world, and the heights the map job starts from.
    // clang-format off
    ExpectValues({
        {"txtFreezeItems", "items.wsc"}, {"txtFreezeStatics", "statics0.mul"},
        {"txtFreezeStaidx", "staidx0.mul"}, {"txtFreezeItemType", "255"},
        {"txtMeltStatics", "statics0.mul"}, {"txtMeltStaIdx", "staidx0.mul"},
        {"txtMeltItems", "items.wsc"}, {"txtMeltCountStart", "0"}, {"txtMeltItemType", "255"},
        {"txtMeltX1", "0"}, {"txtMeltY1", "0"}, {"txtMeltX2", "6143"}, {"txtMeltY2", "4095"},
        {"txtMeltAddZ", "0"}, {"txtClearStatics", "statics0.mul"}, {"txtClearStaIdx", "staidx0.mul"},
        {"txtClearX1", "0"}, {"txtClearX2", "6143"}, {"txtClearY2", "4095"},
        {"txtArtIdx", "artidx.mul"}, {"txtArtMul", "art.mul"}, {"txtArtNumber", "0"},
        {"txtArtPicture", ""}, {"txtB2MMap", "map0.mul"}, {"txtBitmap", ""}, {"txtBMPX", "0"},
        {"txtAltMin0", "-1"}, {"txtAltMax0", "0"}, {"txtAltMin2", "20"}, {"txtAltMax2", "70"},
        {"txtAltMin4", "-3"}, {"txtAltMax4", "-3"}, {"txtAltMin11", "20"}, {"txtAltMax11", "25"},
        {"txtM2BMap", "map0.mul"}, {"txtM2BStaidx", "staidx0.mul"},
        {"txtM2BStatics", "statics0.mul"}, {"txtM2BRadarcol", "radarcol.mul"}, {"txtM2BX1", "0"},
        {"txtM2BY1", "0"}, {"txtM2BX2", "6143"}, {"txtM2BY2", "4095"}, {"txtM2BPicture", "map.png"},
        {"optItemZedra3", "-1"}, {"optArtLandscapeTiles", "-1"}, {"optM2BOverview", "-1"},
        {"chkAllTypes", "0"}});
    // clang-format on
    // Disabled by design; every other control takes input.
    const QList<QWidget*> controls =
        w.findChildren<QWidget*>(QRegularExpression("^(txt|cmd|opt|chk)"));
    EXPECT_GE(controls.size(), 63 + 14 + 9);
    QStringList disabled;
    for (QWidget* c : controls)
        if (!c->isEnabled()) disabled << c->objectName();
    disabled.sort();
    EXPECT_EQ(disabled, (QStringList{"cmdArtUndo", "cmdB2MUndo", "cmdClearUndo", "cmdFreezePicture",
                                     "cmdFreezeUndo", "cmdLoadArt", "cmdLoadFromBMP", "cmdMeltUndo",
                                     "cmdSaveArt", "optItemSphere", "txtArtIdx", "txtArtMul",
                                     "txtB2MMap", "txtBitmap"}));

    QTabWidget* tabs = Find<QTabWidget>("tsTool");
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i) captions << tabs->tabText(i);
    EXPECT_EQ(captions, (QStringList{"About", "Freeze statics", "Melt statics", "Clear statics",
                                     "Art", "Bmp->Map", "Map->Bmp"}));
    EXPECT_LE(tabs->tabBar()->sizeHint().width(), tabs->width());  // one row, no scrolling
    EXPECT_EQ(w.findChildren<QLabel*>().size(), 75);  // every caption and picture frame
    for (int i = 1; i <= frmStart::kPages; ++i) EXPECT_EQ(w.page(i)->isVisible(), i == 1) << i;
    EXPECT_FALSE(Find<QWidget>("picBMP2MAP")->isVisible());

    // A click on a tab shows its page only, also a second one on the tab already selected.
    for (int tab : {4, 4, 0}) {
        QueueTabClick(w, tab);
        QCoreApplication::processEvents();
        for (int i = 1; i <= frmStart::kPages; ++i)
            EXPECT_EQ(w.page(i)->isVisible(), i == tab + 1) << i;
    }
}

TEST_F(WindowTest, RestoresStoredValuesByTheirRules) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*> rules[] = {  // stored, then shown
        {"txtAltMax0", "-1", "0"},            // exactly "-1": keeps the initial text
        {"txtAltMin0", "-1", "-1"}, {"txtMeltItems", "", ""},
        {"txtMeltX1", " -1", " -1"},          // not exactly "-1": taken as it is
        {"txtClearStatics", "a,b", "a,b"}, {"chkAllTypes", "1", "1"},
        {"optArtStaticTiles", "-1", "-1"},    // selects it, clearing "Landscape tiles"
        {"optArtLandscapeTiles", "0", "0"}, {"optArtCharatherTests", "0", "0"},
        {"optItemSphere", "&HFFFF", "-1"}};   // reads as -1
    // clang-format on
    for (auto [name, stored, shown] : rules) Seed({{name, stored}});
    Open();
    for (auto [name, stored, shown] : rules) EXPECT_EQ(ValueOf(name), shown) << name;
    EXPECT_EQ(ValueOf("optItemZedra3"), "0");
    EXPECT_FALSE(Option("optItemSphere")->isEnabled());  // restored, but still disabled

    // Values an option or the check box cannot take are ignored; a selected option stored as
    // anything but -1 is left as it is.
    // clang-format off
    for (auto [stored, state] : {std::pair{"-5", "0"}, {"0", "0"}, {"2", "2"}, {"3", "0"},
                                 {"-1", "0"}, {"abc", "0"}, {"", "0"}}) {
        // clang-format on
        SCOPED_TRACE(stored);
        ClearStore();
        Seed({{"chkAllTypes", stored}, {"optItemZedra3", "yes"}, {"optItemSphere", "1"}});
        Open();
        ExpectValues({{"chkAllTypes", state}, {"optItemZedra3", "-1"}, {"optItemSphere", "0"}});
    }
}

TEST_F(WindowTest, StoredValuesSurviveARealClose) {
    Open();
    // "-1" is stored as it is, so the next start keeps the initial "20".
    SetTexts({{"txtMeltX2", "100"}, {"txtAltMin11", "-1"}});
    Find<QCheckBox>("chkAllTypes")->setCheckState(Qt::PartiallyChecked);
    Option("optArtCharatherTests")->setChecked(true);
    EXPECT_EQ(CloseWindow(), 1);
    auto stored = StoredValues();
    EXPECT_EQ(stored.size(), 63u + 8u + 1u);  // every text box, option and the check box only
    // clang-format off
    for (auto [name, value] : {std::pair{"txtMeltX2", "100"}, {"txtAltMin11", "-1"},
         {"chkAllTypes", "2"}, {"optArtCharatherTests", "-1"}, {"optArtLandscapeTiles", "0"}})
        EXPECT_EQ(stored[name], value) << name;
    // clang-format on
    Open();
    // clang-format off
    ExpectValues({{"txtMeltX2", "100"}, {"txtAltMin11", "20"}, {"chkAllTypes", "2"},
                  {"optArtCharatherTests", "-1"}, {"optArtLandscapeTiles", "0"}});
    // clang-format on

    // A store that cannot be read starts from the initial values; closing writes a sound one.
    ClearStore();
    vorlak::test::WriteText(StorePath(), "[Vorlak]\ntxtMeltX2=100\n[Vorlak\ntxtMeltX1=7\n");
    Open();
    ExpectValues({{"txtMeltX2", "6143"}, {"txtMeltX1", "0"}});
    SetTexts({{"txtMeltX1", "5"}});
    EXPECT_EQ(CloseWindow(), 1);
    Open();
    EXPECT_EQ(TextOf("txtMeltX1"), "5");

    // A value typed into the file by hand with commas comes back as it was typed.
    ClearStore();
    vorlak::test::WriteText(StorePath(), "[Vorlak]\ntxtMeltX2=1,5\n");
    Open();
    EXPECT_EQ(TextOf("txtMeltX2"), "1,5");

    // A store that cannot be written does not keep the program from ending.
    ClearStore();
    std::filesystem::create_directories(StorePath());  // a folder where the file should be
    EXPECT_EQ(CloseWindow(), 1);
    EXPECT_FALSE(window().isVisible());
    std::filesystem::remove_all(StorePath());
}

// The placement label shows where the Bmp->Map picture ends: on start for the remembered picture,
// and whenever a picture is picked.
TEST_F(WindowTest, PlacementLabelFollowsTheRememberedOrPickedPictureAndPlacement) {
    WritePicture(dir_.path("land.bmp"), 768, 512);
    // The program writes no GIF files, so this one is spelled out: 3 x 2 pixels, one colour.
    vorlak::test::WriteAll(
        dir_.path("land.gif"),
        {'G', 'I', 'F', '8', '9', 'a', 3, 0, 2, 0, 0x80, 0, 0, 0x10, 0x20, 0x30, 0,  0,
         0,   ',', 0,   0,   0,   0,   3, 0, 2, 0, 0,    2, 2, 0x44, 0x01, 0,    ';'});
    vorlak::test::WriteText(dir_.path("notes.bmp"), "not a picture");
    // clang-format off
    struct Case {
        const char *picture, *x, *y, *dim;
    } cases[] = {{"land.bmp", "100", "8", " -> 868x520"}, {"land.bmp", "abc", "", " -> 768x512"},
                 {"land.bmp", "0.5", "-3", " -> 768.5x509"}, {"land.gif", "1", "1", " -> 4x3"},
                 {"deleted.bmp", "0", "0", ""}, {"notes.bmp", "0", "0", ""}};
    // clang-format on
    auto holder = [&] { return window().bmpToMapPage().picBMP2MAP().picture(); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture + std::string(" ") + c.x);
        ClearStore();
        Seed({{"txtBitmap", P(c.picture)}, {"txtBMPX", c.x}, {"txtBMPY", c.y}});
        Open();
        EXPECT_EQ(Dim(), c.dim);
        EXPECT_EQ(holder().has_value(), *c.dim != 0);
    }

    answer_ = P("land.bmp");
    Button("cmdBitmap")->click();
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].title, "Select Bitmap");
    EXPECT_EQ(requests_[0].nameFilters,
              (QStringList{"Windows Bitmap (*.bmp)", "Compuserve bitmap (*.gif)"}));
    EXPECT_EQ(TextOf("txtBitmap"), answer_);
    EXPECT_EQ(Dim(), " -> 768x512");
    // Typing a new placement does not move the label until the next pick.
    SetTexts({{"txtBMPX", "100"}, {"txtBMPY", "50"}});
    EXPECT_EQ(Dim(), " -> 768x512");
    Button("cmdBitmap")->click();
    EXPECT_EQ(Dim(), " -> 868x562");
    // Cancel, and a file that is no picture, change nothing; the latter is told.
    for (const QString& answer : {QString(), P("notes.bmp")}) {
        answer_ = answer;
        Button("cmdBitmap")->click();
    }
    EXPECT_EQ(TextOf("txtBitmap"), P("land.bmp"));
    EXPECT_EQ(Dim(), " -> 868x562");
    EXPECT_EQ(holder()->width(), 768);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].second, "BMP2Map");
}

}  // namespace
}  // namespace vorlak::app::test
