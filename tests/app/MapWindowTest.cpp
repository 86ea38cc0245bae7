// The map window as the user drives it: real mouse, wheel and key events on the map, OK, Cancel
// and Esc, and what lands in the page's boxes.
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "AppFixture.h"
#include "app/MapWindow.h"
#include "mapgen/MapGen.h"
#include "statics/StaticsJobs.h"
#include "support/StaticsPair.h"

namespace vorlak::app::test {
namespace {

using vorlak::test::StaticsPair;

// A world 256 cells wide (32 block columns) and 4096 high, the narrowest kind the files hold.
constexpr int32_t kColumns = 32;
constexpr int32_t kRows = 512;
constexpr int32_t kBlocks = kColumns * kRows;
constexpr int32_t kWidth = kColumns * 8;

class MapWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        terrain_.assign(static_cast<size_t>(kBlocks) * kMapBlockBytes, 0);
        SetCell(40, 50, 0x0123, -7);
        WriteWorld();
        Open();
        SetTexts({{"txtB2MMap", P("map0.mul")},
                  {"txtM2BRadarcol", P("radarcol.mul")},
                  {"txtClearStatics", Q(data_)},
                  {"txtClearStaIdx", Q(index_)}});
    }
    void TearDown() override {
        if (MapWindow* map = Map()) map->reject();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WindowTest::TearDown();
    }

    void SetCell(int32_t x, int32_t y, uint16_t tile, int8_t height) {
        size_t at = static_cast<size_t>((x / 8) * kRows + y / 8) * kMapBlockBytes + 4 +
                    3 * static_cast<size_t>((y % 8) * 8 + x % 8);
        terrain_[at] = static_cast<uint8_t>(tile);
        terrain_[at + 1] = static_cast<uint8_t>(tile >> 8);
        terrain_[at + 2] = static_cast<uint8_t>(height);
    }
    void WriteWorld() {
        vorlak::test::WriteAll(dir_.path("map0.mul"), terrain_);
        vorlak::test::WriteAll(dir_.path("radarcol.mul"), Bytes(0x8000 * 2, 0x42));
        statics_.Write(index_, data_);
    }

    MapWindow* Map() { return window_ ? window_->findChild<MapWindow*>() : nullptr; }
    // Clicks `button` of a page and returns the map it opened, drawn at its first zoom.
    MapWindow& OpenMap(const QString& button) {
        QTest::mouseClick(Button(button), Qt::LeftButton);
        MapWindow* map = Map();
        EXPECT_NE(map, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(map));
        WaitUntilDrawn(*map);
        return *map;
    }
    static void WaitUntilDrawn(MapWindow& map) {
        QElapsedTimer timer;
        timer.start();
        while (!map.canvas()->idle() && timer.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_TRUE(map.canvas()->idle());
    }
    // Shows the map at `zoom` pixels a cell with `cell` in the middle.
    static void Look(MapWindow& map, double zoom, QPointF cell) {
        MapCanvas& canvas = *map.canvas();
        canvas.ZoomAt(zoom, {0, 0});
        canvas.CentreOn(cell);
    }
    // The viewport point at `cell`, a position in cells (x + 0.5 is the middle of column x).
    static QPoint At(MapWindow& map, QPointF cell) { return map.canvas()->PointOf(cell).toPoint(); }
    static void Drag(MapWindow& map, QPointF from, QPointF to,
                     Qt::MouseButton button = Qt::LeftButton) {
        // All points are taken before the first event: a pan moves the cells under them.
        QWidget* view = map.canvas()->viewport();
        const QPoint start = At(map, from), middle = At(map, (from + to) / 2), end = At(map, to);
        QTest::mousePress(view, button, {}, start);
        Move(view, middle, button);
        Move(view, end, button);
        QTest::mouseRelease(view, button, {}, end);
    }
    // A move of the pointer to `to` with `held` down. (QTest moves the cursor instead, which the
    // headless platform does not turn into events.)
    static void Move(QWidget* view, QPoint to, Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent event(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)),
                          Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    static void Press(MapWindow& map, QDialogButtonBox::StandardButton which) {
        auto* box = map.findChild<QDialogButtonBox*>();
        QTest::mouseClick(box->button(which), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::vector<QString> Texts(const std::vector<QString>& names) {
        std::vector<QString> texts;
        for (const QString& name : names) texts.push_back(TextOf(name));
        return texts;
    }
    const std::vector<QString> clearBoxes_{"txtClearX1", "txtClearY1", "txtClearX2", "txtClearY2"};

    Bytes terrain_;
    StaticsPair statics_{kBlocks};
};

TEST_F(MapWindowTest, LeftDragWritesTheCellsUnderItAtEveryZoom) {
    struct Case {
        double zoom;
        QPointF from, to;  // cell positions, dragged from the first to the second
        std::vector<QString> written;
    } cases[] = {
        {2, {10.5, 20.5}, {130.5, 150.5}, {"10", "20", "130", "150"}},
        {5.5, {100.5, 1000.5}, {60.5, 960.5}, {"60", "960", "100", "1000"}},  // up and left
        {16, {200.2, 4000.9}, {203.7, 4002.1}, {"200", "4000", "203", "4002"}},
        // Past the world's edges: clamped to the last cells.
        {4, {250.5, 4090.5}, {300.5, 4200.5}, {"250", "4090", "255", "4095"}},
    };
    for (const Case& c : cases) {
        MapWindow& map = OpenMap("cmdClearMap");
        Look(map, c.zoom, (c.from + c.to) / 2);
        EXPECT_DOUBLE_EQ(map.canvas()->zoom(), c.zoom);
        Drag(map, c.from, c.to);
        Press(map, QDialogButtonBox::Ok);
        EXPECT_EQ(Texts(clearBoxes_), c.written) << c.zoom;
        EXPECT_EQ(Map(), nullptr);
    }
    // Remembered like typed values.
    CloseWindow();
    EXPECT_EQ(StoredValues()["txtClearX2"], "255");
}

TEST_F(MapWindowTest, DraggingACornerOrASideMovesOnlyIt) {
    struct Case {
        QPointF grip, to;
        std::vector<QString> written;
    } cases[] = {
        {{31, 41}, {35.5, 45.5}, {"10", "20", "35", "45"}},  // bottom right corner
        {{10, 20}, {5.5, 25.5}, {"5", "25", "30", "40"}},    // top left corner
        {{10, 30}, {12.5, 2.5}, {"12", "20", "30", "40"}},   // left side: Y stays
        {{20, 41}, {3.5, 30.5}, {"10", "20", "30", "30"}},   // bottom side: X stays
        {{31, 41}, {0.5, 0.5}, {"0", "0", "10", "20"}},      // past the opposite corner
        // Six pixels (3/4 of a cell) beyond a corner along a side take that side alone.
        {{9.25, 20}, {5.5, 15.5}, {"5", "20", "30", "40"}},
        {{10, 19.25}, {5.5, 15.5}, {"10", "15", "30", "40"}},
        {{31.75, 41}, {35.5, 45.5}, {"10", "20", "35", "40"}},
        {{31, 41.75}, {35.5, 45.5}, {"10", "20", "30", "45"}},
    };
    for (const Case& c : cases) {
        SetTexts({{"txtClearX1", "10"},
                  {"txtClearY1", "20"},
                  {"txtClearX2", "30"},
                  {"txtClearY2", "40"}});
        MapWindow& map = OpenMap("cmdClearMap");
        ASSERT_EQ(map.canvas()->rectangle(), (CellRect{10, 20, 30, 40}));
        Look(map, 8, {20, 30});
        Drag(map, c.grip, c.to);
        Press(map, QDialogButtonBox::Ok);
        EXPECT_EQ(Texts(clearBoxes_), c.written) << c.grip.x() << "," << c.grip.y();
    }
}

TEST_F(MapWindowTest, ZoomKeepsTheCellUnderThePointerAndPanMovesTheView) {
    MapWindow& map = OpenMap("cmdClearMap");
    MapCanvas& canvas = *map.canvas();
    const double fit = canvas.zoom();
    EXPECT_NEAR(fit, canvas.viewport()->height() / 4096.0, 1e-9);  // the whole world fits
    EXPECT_EQ(map.findChild<QLabel*>("lblMapNotes")->text(), "");
    // Over the middle column of the world, which stays in the middle as it is zoomed.
    const QPointF pointer(canvas.viewport()->width() * 0.5, canvas.viewport()->height() * 0.7);
    auto wheel = [&](int notches) {
        QWheelEvent event(pointer, canvas.viewport()->mapToGlobal(pointer), {}, {0, 120 * notches},
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(canvas.viewport(), &event);
    };
    for (int notches : {3, 5, 2, -1}) {
        const QPointF before = canvas.CellAt(pointer);
        const double zoom = canvas.zoom();
        wheel(notches);
        EXPECT_NEAR(canvas.zoom(), std::min(16.0, zoom * std::pow(2, notches / 2.0)), 1e-9);
        EXPECT_NEAR(canvas.CellAt(pointer).x(), before.x(), 1e-6) << notches;
        EXPECT_NEAR(canvas.CellAt(pointer).y(), before.y(), 1e-6) << notches;
    }
    wheel(40);
    EXPECT_DOUBLE_EQ(canvas.zoom(), 16);  // the closest
    WaitUntilDrawn(map);

    // Right and middle drags, arrows and the scroll bar move the view, not the rectangle.
    const std::optional<CellRect> rect = canvas.rectangle();
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        const QPointF middle = canvas.CellAt(QRectF(canvas.viewport()->rect()).center());
        Drag(map, middle, middle + QPointF(5, 3), button);
        Move(canvas.viewport(), {3, 3});  // released: the pointer alone moves nothing
        EXPECT_NEAR(canvas.CellAt(QRectF(canvas.viewport()->rect()).center()).x(), middle.x() - 5,
                    0.1);
    }
    // Not past the world's far side, and nothing there to draw.
    const QPointF edge = canvas.CellAt(QPointF(canvas.viewport()->width() - 1, 1));
    Drag(map, edge, edge - QPointF(1000, 0), Qt::RightButton);
    EXPECT_NEAR(canvas.CellAt(QPointF(canvas.viewport()->width(), 0)).x(), 256, 1e-6);
    WaitUntilDrawn(map);
    EXPECT_EQ(map.findChild<QLabel*>("lblMapNotes")->text(), "");
    const double left = canvas.CellAt({0, 0}).x();
    QTest::keyClick(&canvas, Qt::Key_Left);
    EXPECT_LT(canvas.CellAt({0, 0}).x(), left);
    canvas.horizontalScrollBar()->setValue(0);
    EXPECT_NEAR(canvas.CellAt({0, 0}).x(), 0, 1e-9);
    EXPECT_EQ(canvas.rectangle(), rect);

    QTest::keyClick(&canvas, Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(canvas.zoom(), 8);
    QTest::keyClick(&canvas, Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(canvas.zoom(), 16);
    QTest::keyClick(&canvas, Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(canvas.zoom(), fit);
}

TEST_F(MapWindowTest, CancelAndEscChangeNothing) {
    SetTexts(
        {{"txtClearX1", "7abc"}, {"txtClearY1", ""}, {"txtClearX2", "99"}, {"txtClearY2", "4095"}});
    for (bool esc : {false, true}) {
        MapWindow& map = OpenMap("cmdClearMap");
        // The window keeps the size it was given, whichever way it closed, and has its grip.
        EXPECT_TRUE(map.isSizeGripEnabled());
        EXPECT_TRUE(!esc || map.size() == QSize(640, 480));
        map.resize(640, 480);
        Look(map, 4, {50, 50});
        Drag(map, {40.5, 40.5}, {60.5, 70.5});
        if (esc) {
            QTest::keyClick(map.canvas(), Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        } else {
            Press(map, QDialogButtonBox::Cancel);
        }
        EXPECT_EQ(Map(), nullptr);
        EXPECT_EQ(Texts(clearBoxes_), (std::vector<QString>{"7abc", "", "99", "4095"}));
    }
}

TEST_F(MapWindowTest, PictureFootprintIsDraggedWholeAndWritesXAndY) {
    const std::string picture = dir_.path("island.bmp");
    WritePicture(picture, 16, 8);
    SetTexts({{"txtBitmap", Q(picture)}, {"txtBMPX", "5"}, {"txtBMPY", "6"}});
    struct Case {
        QPointF grip, to;
        QString x, y;
    } cases[] = {
        {{7.5, 7.5}, {17.5, 17.5}, "15", "16"},
        {{20.5, 13.5}, {300.5, 5000.5}, "240", "4088"},  // held at its last cell, kept inside
    };
    for (const Case& c : cases) {
        MapWindow& map = OpenMap("cmdB2MMapPick");
        ASSERT_EQ(map.canvas()->footprintAt(),
                  QPoint(TextOf("txtBMPX").toInt(), TextOf("txtBMPY").toInt()));
        Look(map, 4, c.grip);
        Drag(map, c.grip, c.to);
        Press(map, QDialogButtonBox::Ok);
        EXPECT_EQ(TextOf("txtBMPX"), c.x);
        EXPECT_EQ(TextOf("txtBMPY"), c.y);
    }
    // A picture that cannot be read opens the map with the reason, and OK writes nothing.
    vorlak::test::WriteAll(picture, Bytes{'B', 'M', 1, 2});
    MapWindow& map = OpenMap("cmdB2MMapPick");
    EXPECT_TRUE(map.notesText().contains(Q(picture))) << map.notesText().toStdString();
    Press(map, QDialogButtonBox::Ok);
    EXPECT_EQ(TextOf("txtBMPX"), "240");
}

TEST_F(MapWindowTest, MissingOrRefusedFilesStillOpenWithTheReason) {
    constexpr uint64_t kTooLong = uint64_t{393216} * kMapBlockBytes + 5;
    struct Case {
        std::function<void()> spoil;
        QString note;
    } cases[] = {
        {[&] { std::filesystem::remove(dir_.path("radarcol.mul")); },
         "The radar colour file " + P("radarcol.mul") + " does not exist"},
        {[&] { std::filesystem::remove(dir_.path("map0.mul")); },
         "The terrain file " + P("map0.mul") + " does not exist"},
        // Longer than the default world, and no multiple of a block column.
        {[&] { std::filesystem::resize_file(dir_.path("map0.mul"), kTooLong); },
         P("map0.mul") + " is " + QString::number(kTooLong) + " bytes long"},
        {[&] { std::filesystem::resize_file(index_, 24); }, Q(index_) + " is 24 bytes long"},
        {[&] {
             statics_.SetEntry(3 * kRows + 2, 1 << 20, 7);
             statics_.Write(index_, data_);
         },
         "points past the end of " + Q(data_) + " at block 1538"},
    };
    for (const Case& c : cases) {
        WriteWorld();
        c.spoil();
        MapWindow& map = OpenMap("cmdClearMap");
        EXPECT_TRUE(map.notesText().contains(c.note))
            << map.notesText().toStdString() << "\nwanted: " << c.note.toStdString();
        EXPECT_GT(map.canvas()->tilesCached(), 0u);
        Press(map, QDialogButtonBox::Cancel);
    }
}

TEST_F(MapWindowTest, StatusLineShowsTheCellAndTheRectangleCountsWhatClearRemoves) {
    statics_ = StaticsPair::Spread(3000, 0.2, 7, kBlocks);
    // Three on the cell 40, 50 (block 5 * 512 + 6): the highest is on top, on equal Z the later.
    Bytes run = StaticsPair::Record(0x1111, 0, 2, 30);
    for (const Bytes& more :
         {StaticsPair::Record(0x2222, 0, 2, -4), StaticsPair::Record(0x3333, 0, 2, 30)})
        run.insert(run.end(), more.begin(), more.end());
    statics_.AddRun(5 * kRows + 6, run);
    WriteWorld();
    SetTexts({{"txtClearX1", "13"},
              {"txtClearY1", "70"},
              {"txtClearX2", "180"},
              {"txtClearY2", "2900"}});

    MapWindow& map = OpenMap("cmdClearMap");
    Look(map, 8, {40, 50});
    Move(map.canvas()->viewport(), At(map, {40.5, 50.5}));
    const QStringList parts = map.statusText().split("  |  ");
    ASSERT_EQ(parts.size(), 2) << map.statusText().toStdString();
    EXPECT_EQ(parts[0], "X 40, Y 50: tile 0x0123, height -7, 3 statics, top 0x3333 at Z 30");
    Move(map.canvas()->viewport(), At(map, {41.5, 50.5}));
    EXPECT_TRUE(map.statusText().startsWith("X 41, Y 50: tile 0x0000, height 0, 0 statics  |"))
        << map.statusText().toStdString();
    QRegularExpressionMatch count = QRegularExpression(
                                        "^13, 70 -> 180, 2900: 168 x 2831 cells, (\\d+) statics "
                                        "\\(what Clear removes\\)$")
                                        .match(parts[1]);
    ASSERT_TRUE(count.hasMatch()) << parts[1].toStdString();

    // The map holds the files: Clear cannot start on them meanwhile.
    ClearRequest request{data_, index_, 13, 70, 180, 2900};
    EXPECT_EQ(RunClear(request, [](const std::string&) {}).status,
              "The statics files are in use by another job.");
    Press(map, QDialogButtonBox::Cancel);

    auto countRecords = [&] {
        StaticsPair pair = StaticsPair::Read(index_, data_);
        int64_t n = 0;
        for (int32_t b = 0; b < kBlocks; ++b) n += static_cast<int64_t>(pair.RunOf(b).size()) / 7;
        return n;
    };
    const int64_t held = countRecords();
    QTest::mouseClick(Button("cmdClear"), Qt::LeftButton);
    ASSERT_TRUE(Status().endsWith("Statics was successfully cleared.")) << Status().toStdString();
    EXPECT_GT(count.captured(1).toLongLong(), 100);
    EXPECT_EQ(held - countRecords(), count.captured(1).toLongLong());
}

}  // namespace
}  // namespace vorlak::app::test
