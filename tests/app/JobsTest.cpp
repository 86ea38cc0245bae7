// The statics pages' and the Bmp->Map page's jobs as the window runs them, one at a time: clicks
// that arrive while a job lets window events run start nothing, tabs and pickers keep working,
// and a close in the middle of a job leaves only whole work behind.
#include "AppFixture.h"
#include "app/ArtPage.h"

namespace vorlak::app::test {
namespace {

constexpr int kBlockBytes = 196;

// Every button that starts a job; the Art page's start disabled, so their handlers are run.
const char* const kJobButtons[] = {"cmdFreeze",      "cmdMelt",         "cmdClear",
                                   "cmdBMP2MAP",     "cmdLoadArt",      "cmdSaveArt",
                                   "cmdLoadFromBMP", "cmdFreezePicture"};

class Jobs : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // The map job finds colors.gif in the current folder.
        WorkInTestFolder();
        WritePicture(dir_.path("colors.gif"), 12, 1, 0x000010);
        // A 4 x 16 picture in a colour no terrain kind has, over blocks 0 and 1 (X 0..7, Y 0..15)
        // of a terrain file whose pattern the job must overwrite only cell-wise.
        WritePicture(bitmap_, 4, 16, 0x00FF00);
        vorlak::test::WriteAll(map_, Bytes(2 * kBlockBytes, 0xAB));

        frmStart& w = Open();
        UseTestFiles();
        SetTexts({{"txtB2MMap", Q(map_)}, {"txtBitmap", Q(bitmap_)}});
        QObject::connect(&w, &frmStart::jobRefused, [this](const QString& button) {
            refused_.push_back({button, Status()});
        });
        QObject::connect(&w, &frmStart::statusShown,
                         [this](const QString& text) { shown_ << text; });
    }

    // Clicks `button` and returns the texts the status line showed, split by " / ".
    QString Click(const char* button) {
        shown_.clear();
        Button(button)->click();
        return shown_.join(" / ");
    }
    size_t StaticsBytes() { return std::filesystem::file_size(data_); }
    // Bytes of map cell (x, y) of blocks 0 and 1.
    Bytes Cell(const Bytes& map, int x, int y) {
        auto at = map.begin() + (y / 8) * kBlockBytes + 4 + 3 * ((y % 8) * 8 + x);
        return Bytes(at, at + 3);
    }

    using Refusal = std::pair<QString, QString>;  // the button, what the status line showed
    std::string map_ = dir_.path("map0.mul"), bitmap_ = dir_.path("land.bmp");
    std::vector<Refusal> refused_;
    QStringList shown_;
};

// Each button runs its job on what its page's boxes hold, numbers read by the number rules.
TEST_F(Jobs, StaticsButtonsRunTheirJobs) {
    EXPECT_EQ(Click("cmdMelt"), "Melting statics. Please wait. / Can not find the statics files.");
    EXPECT_FALSE(Exists(data_) || Exists(melted_));
    EXPECT_EQ(Click("cmdFreeze"),
              "Freezing statics. Please wait. / Cannot find " + Q(items_) + ".");
    EXPECT_FALSE(Exists(data_) || Exists(index_));  // a refused job makes no new pair

    vorlak::test::WriteText(items_, Item(1, 10, 10) + Item(2, 11, 10, 3) + Item(3, 3000, 2000));
    EXPECT_EQ(Click("cmdFreeze"),
              "Freezing statics. Please wait. / Statics was successfully freezed.");
    EXPECT_EQ(StaticsBytes(), 2u * 7);  // the two of type 255
    // What the job did is in the status line's tooltip.
    auto tip = [this] { return Find<QLabel>("sbToolText")->toolTip().toStdString(); };
    EXPECT_EQ(tip(), "2 items taken into 2 blocks (skipped: 1 item of another type).");
    // Melt from X "12abc", read as 12, leaves the item at X 10 out; so does a melt of everything
    // once Clear took X 0..100, Y 0..100.
    auto meltedFarItemOnly = [&] {
        const std::string melted = vorlak::test::ReadText(melted_);
        return melted.find("X 3000") != std::string::npos && melted.find("X 10\r") == melted.npos;
    };
    SetTexts({{"txtMeltX1", "12abc"}});
    EXPECT_TRUE(Click("cmdMelt").endsWith("Statics was successfully melted."));
    EXPECT_TRUE(meltedFarItemOnly());
    SetTexts({{"txtMeltX1", "0"}, {"txtClearX2", "100"}, {"txtClearY2", "100"}});
    EXPECT_EQ(Click("cmdClear"),
              "Clearing statics. Please wait. / Statics was successfully cleared.");
    EXPECT_EQ(tip(), "1 static removed from 1 block.");
    Click("cmdMelt");
    EXPECT_TRUE(meltedFarItemOnly());
    EXPECT_EQ(tip(), "1 item written.");
    SetTexts({{"txtClearX2", "6144"}});
    EXPECT_TRUE(Click("cmdClear").endsWith("/ Illegal cordinates."));
    EXPECT_EQ(tip(), "X2 6144 lies outside the world's columns 0..6143.");
    vorlak::test::WriteAll(index_, Bytes(1200, 0xFF));  // an index of no world's length
    EXPECT_TRUE(Click("cmdClear").contains("1200 bytes long, which fits no world size"));
}

TEST_F(Jobs, FreezeAllTakesEveryTypeWithoutReadingTheTypeBox) {
    vorlak::test::WriteText(items_, Item(1, 10, 10) + Item(2, 11, 10, 3) + Item(3, 12, 10));
    SetTexts({{"txtFreezeItemType", "abc"}});
    Find<QCheckBox>("chkAllTypes")->setCheckState(Qt::Checked);
    Click("cmdFreeze");
    EXPECT_EQ(StaticsBytes(), 3u * 7);
    // Without "All" the same text reads as type 0, which none of them has: nothing is added.
    Find<QCheckBox>("chkAllTypes")->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(Click("cmdFreeze").endsWith("Statics was successfully freezed."));
    EXPECT_EQ(StaticsBytes(), 3u * 7);
}

// A value that does not fit its field names the field, and the job does not start.
TEST_F(Jobs, ValuesThatDoNotFitNameTheirField) {
    vorlak::test::WriteText(items_, Item(1, 10, 10));
    Click("cmdFreeze");
    const Bytes indexBefore = ReadAll(index_);
    // clang-format off
    struct Case {
        const char *box, *text, *button, *status;
    } cases[] = {
        {"txtMeltItemType", "300", "cmdMelt", "Item type 300 is out of range (0 to 255)."},
        {"txtMeltItemType", "-1", "cmdMelt", "Item type -1 is out of range (0 to 255)."},
        {"txtMeltCountStart", "3e9", "cmdMelt", "Item start 3e9 is out of range"},
        {"txtMeltX1", "1e10", "cmdMelt", "X1 1e10 is out of range (-2147483648 to 2147483647)."},
        {"txtMeltAddZ", "3000000000", "cmdMelt", "Placed where Z 3000000000 is out of range"},
        {"txtClearY2", "99999999999", "cmdClear", "Y2 99999999999 is out of range"},
        {"txtFreezeItemType", "2147483648", "cmdFreeze", "Item type 2147483648 is out of range"}};
    // clang-format on
    for (const Case& c : cases) {
        const QString before = TextOf(c.box);
        SetTexts({{c.box, c.text}});
        EXPECT_TRUE(Click(c.button).startsWith(c.status)) << Status().toStdString();
        EXPECT_TRUE(Status().startsWith(c.status));  // the only text shown: no job started
        SetTexts({{c.box, before}});
    }
    EXPECT_FALSE(Exists(melted_));
    EXPECT_EQ(ReadAll(index_), indexBefore);
}

TEST_F(Jobs, EveryJobButtonIsRefusedWhileAJobRuns) {
    vorlak::test::WriteText(items_, Item(1, 10, 10) + Item(2, 20, 20));
    std::map<QString, bool> enabled;
    for (QPushButton* b : window().findChildren<QPushButton*>())
        enabled[b->objectName()] = b->isEnabled();

    // What the status line shows while the clicks arrive. Freeze comes first: it makes the pair
    // for Melt and Clear to work on.
    // clang-format off
    for (auto [outer, status] : {std::pair{"cmdFreeze", "Freezing statics. Please wait."},
         {"cmdClear", "Clearing statics. Please wait."}, {"cmdMelt", "Melting statics. Please wait."},
         {"cmdBMP2MAP", "0% finished"}}) {
        // clang-format on
        refused_.clear();
        std::vector<Refusal> expected;
        for (const QString button : kJobButtons) {
            if (Button(button)->isEnabled())
                QueueClick(Button(button));
            else
                QMetaObject::invokeMethod(&window().artPage(), (button + "_Click").toLatin1(),
                                          Qt::QueuedConnection);
            expected.push_back({button, status});
        }
        Button(outer)->click();
        EXPECT_EQ(refused_, expected) << outer;
        EXPECT_FALSE(window().jobRunning());
    }
    EXPECT_EQ(Status(), "Map imported succesfully!");
    EXPECT_EQ(ReadAll(data_).size(), 2u * 7);  // the two items once, not twice
    // No Art job ran: nothing was saved to the empty picture name, no art files were made.
    EXPECT_FALSE(Exists(dir_.path("art.mul")) || Exists(dir_.path("artidx.mul")));
    EXPECT_TRUE(messages_.empty());
    // The map job ran once, all 16 rows; the enabled states never changed (but the Undo
    // buttons', which follow the history).
    EXPECT_EQ(Cell(ReadAll(map_), 3, 15), (Bytes{0x44, 0x02, 0x00}));
    for (QPushButton* b : window().findChildren<QPushButton*>()) {
        if (!b->objectName().endsWith("Undo")) {
            EXPECT_EQ(b->isEnabled(), enabled[b->objectName()]) << b->objectName().toStdString();
        }
    }
}

// Tabs and pickers work while the map job runs; the job keeps the terrain file it started with.
TEST_F(Jobs, TabsPickersAndACloseDuringTheMapJobLeaveWholeRowsOnly) {
    answer_ = P("other.mul");
    bool switchedDuringJob = false;
    QObject::connect(window().tabStrip(), &QTabWidget::currentChanged,
                     [&] { switchedDuringJob = window().jobRunning(); });
    QueueTabClick(window(), 1);
    QueueClick(Button("cmdMap"));
    QObject::connect(&window(), &frmStart::statusShown, [this](const QString& text) {
        if (text == "50% finished")  // row 8 of 16 is next
            QMetaObject::invokeMethod(&window(), &QWidget::close, Qt::QueuedConnection);
    });
    Button("cmdBMP2MAP")->click();

    EXPECT_TRUE(switchedDuringJob);
    EXPECT_EQ(window().tabStrip()->currentIndex(), 1);
    EXPECT_EQ(endProgramCalls_, 1);
    EXPECT_EQ(Status(), "50% finished");
    EXPECT_EQ(StoredValues()["txtB2MMap"], answer_);
    EXPECT_FALSE(Exists(dir_.path("other.mul")));
    const Bytes map = ReadAll(map_);
    ASSERT_EQ(map.size(), 2u * kBlockBytes);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            const Bytes expected = y < 8 && x < 4 ? Bytes{0x44, 0x02, 0x00} : Bytes(3, 0xAB);
            EXPECT_EQ(Cell(map, x, y), expected) << x << "," << y;
        }
    }

    // After the close no job starts any more.
    Button("cmdClear")->click();
    EXPECT_FALSE(Exists(data_));
    EXPECT_EQ(refused_.back().first, "cmdClear");
}

// A press and a release of the left mouse button over the middle of `button`, as a user's click
// arrives (a disabled button ignores it).
void MouseClick(QPushButton* button) {
    const QPointF at = QRectF(button->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }
}

// The Undo buttons, with real clicks: enabled once their page's job left a step, the job in
// the tool tip; a click puts the files back and disables the button again.
TEST_F(Jobs, UndoButtonsTakeBackTheClearAndTheMap) {
    vorlak::test::StaticsPair::Spread(3000, 0.1, 7, 6144 / 8 * 512).Write(index_, data_);
    const Bytes index = ReadAll(index_), data = ReadAll(data_), map = ReadAll(map_);
    QPushButton* clearUndo = Button("cmdClearUndo");
    QPushButton* mapUndo = Button("cmdB2MUndo");
    EXPECT_FALSE(clearUndo->isEnabled());
    EXPECT_FALSE(mapUndo->isEnabled());

    Click("cmdClear");
    ASSERT_NE(ReadAll(index_), index);
    EXPECT_TRUE(clearUndo->isEnabled());
    EXPECT_TRUE(clearUndo->toolTip().startsWith("Undo job 1: Clear X1 0"))
        << clearUndo->toolTip().toStdString();
    MouseClick(clearUndo);
    EXPECT_TRUE(Status().startsWith("Undid job 1")) << Status().toStdString();
    EXPECT_EQ(ReadAll(index_), index);
    EXPECT_EQ(ReadAll(data_), data);
    EXPECT_FALSE(clearUndo->isEnabled());

    Click("cmdBMP2MAP");
    ASSERT_NE(ReadAll(map_), map);
    EXPECT_TRUE(mapUndo->isEnabled());
    EXPECT_FALSE(clearUndo->isEnabled());  // the newest job is not the Clear page's
    MouseClick(mapUndo);
    EXPECT_EQ(ReadAll(map_), map);
    EXPECT_FALSE(mapUndo->isEnabled());
}

TEST_F(Jobs, ClosingWhileAStaticsJobWaitsToStartLeavesItsFilesAlone) {
    vorlak::test::WriteText(items_, Item(1, 10, 10));
    QMetaObject::invokeMethod(&window(), &QWidget::close, Qt::QueuedConnection);
    Button("cmdFreeze")->click();
    EXPECT_EQ(endProgramCalls_, 1);
    EXPECT_EQ(Status(), "Freezing statics. Please wait.");
    EXPECT_FALSE(Exists(data_) || Exists(index_));
    EXPECT_EQ(StoredValues()["txtFreezeItems"], Q(items_));
}

}  // namespace
}  // namespace vorlak::app::test
