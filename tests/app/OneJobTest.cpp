// One job at a time: clicks that arrive while a job lets window events run start nothing, tabs
// and pickers keep working, and a close in the middle of a job leaves only whole work behind.
#include <QDir>
#include <QTabWidget>
#include <filesystem>

#include "AppFixture.h"
#include "app/ArtPage.h"
#include "app/mComdlg.h"

namespace vorlak::app::test {
namespace {

using vorlak::test::Bytes;
using vorlak::test::Exists;
using vorlak::test::ReadAll;

constexpr int32_t kNoKind = 0x00FF00;  // a colour that no terrain kind of the palette has
constexpr int kBlockBytes = 196;

const char* const kJobButtons[] = {"cmdFreeze", "cmdMelt", "cmdClear", "cmdBMP2MAP"};
const char* const kArtHandlers[] = {"cmdLoadArt_Click", "cmdSaveArt_Click", "cmdLoadFromBMP_Click",
                                    "cmdFreezePicture_Click"};

class OneJob : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // The map job finds colors.gif in the current folder.
        QDir::setCurrent(QString::fromStdString(dir_.root().string()));
        QImage palette(12, 1, QImage::Format_RGB32);
        for (int k = 0; k < 12; ++k) palette.setPixel(k, 0, qRgb(10 * k, 0, 0));
        ASSERT_TRUE(palette.save(QString::fromStdString(dir_.path("colors.gif")), "BMP"));

        frmStart& w = Open();
        UseTestFiles();
        SetText("txtB2MMap", Q(map_));
        SetText("txtBitmap", Q(bitmap_));
        vorlak::test::WriteText(items_, Item(1, 10, 10) + Item(2, 20, 20));
        WritePicture(bitmap_, 4, 16, kNoKind);
        // Blocks 0 and 1 (X 0..7, Y 0..15) hold a pattern the job must overwrite only cell-wise.
        vorlak::test::WriteAll(map_, Bytes(2 * kBlockBytes, 0xAB));

        QObject::connect(&w, &frmStart::jobRefused, [this](const QString& button) {
            refused_.push_back({button, Status()});
        });
        QObject::connect(&w, &frmStart::statusShown,
                         [this](const QString& text) { shown_.push_back(text); });
    }
    void TearDown() override {
        QDir::setCurrent(mComdlg::ProgramFolder());
        WindowTest::TearDown();
    }

    // Queues a click of every job button and a run of every Art handler (their buttons start
    // disabled, so the handlers are queued directly).
    void QueueEveryJob() {
        for (const char* button : kJobButtons) QueueClick(Button(button));
        for (const char* handler : kArtHandlers)
            QMetaObject::invokeMethod(&window().artPage(), handler, Qt::QueuedConnection);
    }

    // Bytes of map cell (x, y) of blocks 0 and 1.
    Bytes Cell(const Bytes& map, int x, int y) {
        size_t at = static_cast<size_t>((y / 8) * kBlockBytes + 4 + 3 * ((y % 8) * 8 + x));
        return Bytes(map.begin() + static_cast<long>(at), map.begin() + static_cast<long>(at) + 3);
    }

    struct Refusal {
        QString button, status;
        bool operator==(const Refusal&) const = default;
    };
    std::string map_ = dir_.path("map0.mul");
    std::string bitmap_ = dir_.path("land.bmp");
    std::vector<Refusal> refused_;
    std::vector<QString> shown_;
};

TEST_F(OneJob, ASecondFreezeClickedDuringTheFirstFreezesNothing) {
    QueueClick(Button("cmdFreeze"));
    Button("cmdFreeze")->click();
    EXPECT_EQ(refused_, (std::vector<Refusal>{{"cmdFreeze", "Freezing statics. Please wait."}}));
    EXPECT_EQ(Status(), "Statics was successfully freezed.");
    EXPECT_EQ(ReadAll(data_).size(), 2u * 7);  // the two items once, not twice
}

TEST_F(OneJob, EveryJobButtonIsRefusedWhileAStaticsJobOrTheMapJobRuns) {
    vorlak::test::WriteText(items_, Item(1, 10, 10));
    Button("cmdFreeze")->click();  // a pair for Melt and Clear to work on
    const Bytes mapBefore = ReadAll(map_);
    std::map<QString, bool> enabled;
    for (QPushButton* b : window().findChildren<QPushButton*>())
        enabled[b->objectName()] = b->isEnabled();

    struct Outer {
        const char* button;
        QString status;  // what the status line shows while the clicks arrive
    } outers[] = {{"cmdClear", "Clearing statics. Please wait."},
                  {"cmdMelt", "Melting statics. Please wait."},
                  {"cmdBMP2MAP", "0% finished"}};
    for (const Outer& outer : outers) {
        SCOPED_TRACE(outer.button);
        refused_.clear();
        QueueEveryJob();
        Button(outer.button)->click();
        std::vector<Refusal> expected;
        for (const char* b : kJobButtons) expected.push_back({b, outer.status});
        for (const char* h : kArtHandlers)
            expected.push_back({QString(h).section('_', 0, 0), outer.status});
        EXPECT_EQ(refused_, expected);
        EXPECT_FALSE(window().jobRunning());
    }
    EXPECT_EQ(Status(), "Map imported succesfully!");
    // No Art job ran: nothing was saved to the empty picture name, no art files were made.
    EXPECT_FALSE(Exists(dir_.path("art.mul")));
    EXPECT_FALSE(Exists(dir_.path("artidx.mul")));
    EXPECT_TRUE(messages_.empty());
    // The map job ran once, fully; the enabled states never changed.
    EXPECT_NE(ReadAll(map_), mapBefore);
    for (QPushButton* b : window().findChildren<QPushButton*>())
        EXPECT_EQ(b->isEnabled(), enabled[b->objectName()]) << b->objectName().toStdString();
}

TEST_F(OneJob, TabsAndPickersWorkDuringTheMapJob) {
    mComdlg::FileDialog previous = mComdlg::SetFileDialog(
        [this](const mComdlg::FileRequest&) { return Q(dir_.path("other.mul")); });
    bool switchedDuringJob = false;
    QObject::connect(window().tabStrip(), &QTabWidget::currentChanged,
                     [&] { switchedDuringJob = window().jobRunning(); });
    ClickTab(window(), 1, /*queued=*/true);
    QueueClick(Button("cmdMap"));
    Button("cmdBMP2MAP")->click();
    mComdlg::SetFileDialog(previous);

    EXPECT_TRUE(switchedDuringJob);
    EXPECT_TRUE(window().page(2)->isVisible());
    EXPECT_FALSE(window().page(1)->isVisible());
    EXPECT_EQ(TextOf("txtB2MMap"), Q(dir_.path("other.mul")));
    EXPECT_EQ(Status(), "Map imported succesfully!");
    // The job kept the terrain file it started with and wrote all 16 rows.
    const Bytes map = ReadAll(map_);
    EXPECT_EQ(Cell(map, 3, 15), (Bytes{0x44, 0x02, 0x00}));
    EXPECT_FALSE(Exists(dir_.path("other.mul")));
}

TEST_F(OneJob, ClosingDuringTheMapJobLeavesWholeRowsOnly) {
    SetText("txtBMPX", "0");
    QObject::connect(&window(), &frmStart::statusShown, [this](const QString& text) {
        if (text == "50% finished")  // row 8 of 16 is next
            QMetaObject::invokeMethod(&window(), &QWidget::close, Qt::QueuedConnection);
    });
    endProgramCalls_ = 0;
    Button("cmdBMP2MAP")->click();

    EXPECT_EQ(endProgramCalls_, 1);
    EXPECT_EQ(Status(), "50% finished");
    EXPECT_EQ(StoredValues()["txtB2MMap"], Q(map_));
    const Bytes map = ReadAll(map_);
    ASSERT_EQ(map.size(), 2u * kBlockBytes);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            const Bytes expected = y < 8 && x < 4 ? Bytes{0x44, 0x02, 0x00} : Bytes(3, 0xAB);
            EXPECT_EQ(Cell(map, x, y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(Bytes(map.begin(), map.begin() + 4), Bytes(4, 0xAB));  // headers stay
    EXPECT_EQ(Bytes(map.begin() + kBlockBytes, map.begin() + kBlockBytes + 4), Bytes(4, 0xAB));

    // After the close no job starts any more.
    Button("cmdClear")->click();
    EXPECT_FALSE(Exists(data_));
    EXPECT_EQ(refused_.back().button, "cmdClear");
}

TEST_F(OneJob, ClosingWhileAStaticsJobWaitsToStartLeavesItsFilesAlone) {
    QMetaObject::invokeMethod(&window(), &QWidget::close, Qt::QueuedConnection);
    Button("cmdFreeze")->click();
    EXPECT_EQ(endProgramCalls_, 1);
    EXPECT_EQ(Status(), "Freezing statics. Please wait.");
    EXPECT_FALSE(Exists(data_));
    EXPECT_FALSE(Exists(index_));
    EXPECT_EQ(StoredValues()["txtFreezeItems"], Q(items_));
}

}  // namespace
}  // namespace vorlak::app::test
