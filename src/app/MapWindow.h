// The map window: the world's overview over the files of a page, to pick the page's rectangle
// (or, for Bmp->Map, the place of the picture) by eye instead of typing numbers blind.
//
// The map is drawn in tiles by a thread of its own, coarse ones first, so the window stays
// responsive and the picture sharpens as the finer tiles arrive. Meanwhile the files stay under
// the shared locks the views take (WorldMap), so no job changes them while the map is open.
// Nothing the map does writes a file.
#pragma once

#include <QAbstractScrollArea>
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "mapgen/MapViews.h"

class QLabel;
class QLineEdit;

namespace vorlak::app {

// A rectangle of cells, both corners included, x1 <= x2 and y1 <= y2.
struct CellRect {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    friend bool operator==(const CellRect&, const CellRect&) = default;
};

// One tile of the picture pyramid: kTilePixels x kTilePixels pixels of the level where each
// pixel stands for `scale` x `scale` cells.
struct TileKey {
    int32_t scale = 1, column = 0, row = 0;
    friend bool operator==(const TileKey&, const TileKey&) = default;
};
struct TileKeyHash {
    size_t operator()(const TileKey& key) const {
        return std::hash<uint64_t>()((uint64_t(key.scale) << 40) | (uint64_t(key.column) << 20) |
                                     uint64_t(key.row));
    }
};

// Draws the tiles asked for, one at a time, in a thread of its own, newest wishes first. Each
// drawn tile is handed to `done` on that thread; the owner passes it on to its own.
class TileDrawer {
  public:
    static constexpr int32_t kTilePixels = 256;
    using Done = std::function<void(TileKey, QImage, std::string problem)>;

    TileDrawer(std::shared_ptr<const WorldMap> world, Done done);
    // Stops after the tile being drawn and waits for the thread.
    ~TileDrawer();
    // Replaces the wishes: the tiles to draw, in order. A tile already being drawn is not
    // drawn again.
    void Want(std::vector<TileKey> tiles);
    // True when nothing is being drawn and nothing is wished for.
    bool idle() const;

  private:
    void Run();

    std::shared_ptr<const WorldMap> world_;
    Done done_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TileKey> wanted_;
    std::optional<TileKey> drawing_;
    bool stop_ = false;
    std::thread thread_;
};

// The map itself: the pyramid of tiles scaled to the zoom, the rectangle or the footprint over
// it. Zoom with the wheel, + and -, Ctrl+0 (fit); pan with the right or middle button, the
// arrow keys and the scroll bars; pick with the left button.
class MapCanvas final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    static constexpr double kMostPixelsPerCell = 16;
    // The drawn tiles kept, at most (the coarsest level is always kept).
    static constexpr qsizetype kCacheBytes = qsizetype{96} << 20;

    MapCanvas(std::shared_ptr<const WorldMap> world, QWidget* parent);
    ~MapCanvas() override;

    const world::Size& worldSize() const { return world_->size(); }
    // Screen pixels per cell.
    double zoom() const { return zoom_; }
    // Zooms to `zoom` (kept between the whole world and kMostPixelsPerCell) keeping the cell at
    // viewport point `anchor` under it.
    void ZoomAt(double zoom, QPointF anchor);
    // The whole world in the window, centred.
    void Fit();
    void CentreOn(QPointF cell);
    // The cell coordinates of a viewport point, and back; cell x, y covers x..x+1, y..y+1.
    QPointF CellAt(QPointF point) const;
    QPointF PointOf(QPointF cell) const;
    // The whole cell under a viewport point, clamped to the world.
    QPoint CellUnder(QPointF point) const;

    std::optional<CellRect> rectangle() const { return rect_; }
    void SetRectangle(std::optional<CellRect> rect);
    // Footprint mode: a size x size picture placed at `at`, moved whole by the left button.
    void SetFootprint(QSize size, QPoint at);
    std::optional<QPoint> footprintAt() const { return footprint_; }

    // Every visible tile of the current level drawn.
    bool idle() const;
    // The tiles drawn so far, and the problems they reported (damaged blocks), newest last.
    size_t tilesCached() const { return cache_.size(); }

  signals:
    // The pointer moved over the cell, or left the map (no cell).
    void pointerMoved(std::optional<QPoint> cell);
    void selectionChanged();
    // A tile reported a damaged block or could not be read.
    void problem(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    double FitZoom() const;
    // Keeps the world in view (centred when it is smaller) and the scroll bars in step.
    void Settle();
    void ScrollBarMoved();
    int32_t LevelScale() const;
    QRectF TileCells(const TileKey& key) const;
    const QImage* Cached(const TileKey& key);
    void TileDrawn(TileKey key, QImage image, const QString& problem);
    QRectF ScreenRect(const CellRect& rect) const;

    std::shared_ptr<const WorldMap> world_;
    double zoom_ = 1;
    QPointF origin_;  // the cell coordinates of the viewport's top-left corner
    bool settling_ = false;

    std::unordered_map<TileKey, QImage, TileKeyHash> cache_;
    std::list<TileKey> recent_;  // least recently shown first
    qsizetype cacheBytes_ = 0;
    bool missing_ = false;  // a visible tile of the current level is not drawn yet
    std::unique_ptr<TileDrawer> drawer_;

    std::optional<CellRect> rect_;
    std::optional<QPoint> footprint_;
    QSize footprintSize_;

    enum class Drag { kNone, kPan, kPick, kMove };
    Drag drag_ = Drag::kNone;
    QPointF dragStart_;
    QPointF originAtStart_;
    bool movesX_ = false, movesY_ = false;
    int32_t fixedX_ = 0, fixedY_ = 0;  // the sides that stay while a side or corner is dragged
    QPoint grab_;                      // the footprint's cell that is held
};

// The window around the map: the map, a status line for the files and one for the cell under
// the pointer and the rectangle, OK and Cancel. Its size and place are remembered.
class MapWindow final : public QDialog {
    Q_OBJECT
  public:
    // `countNote` follows the rectangle's statics count on the status line ("" for none).
    MapWindow(const WorldMapFiles& files, const QString& countNote, QWidget* parent);
    ~MapWindow() override;

    MapCanvas* canvas() const { return canvas_; }
    // The files' notes and the problems met while drawing.
    QString notesText() const;
    QString statusText() const;
    const WorldMap& world() const { return *world_; }

    void done(int result) override;

  private:
    void ShowStatus(std::optional<QPoint> cell);

    std::shared_ptr<WorldMap> world_;
    QString countNote_;
    MapCanvas* canvas_;
    QLabel* notes_;
    QLabel* status_;
    QStringList problems_;
    std::optional<QPoint> pointer_;
    // The statics count of the rectangle last shown: a whole world's takes a while to count.
    std::optional<std::pair<CellRect, int64_t>> counted_;
};

// The "Map..." buttons of the pages. Each opens the map window over `files` (window modal) and
// returns at once; OK writes the picked numbers into the boxes as typed ones would be.
//
// The rectangle of X1, Y1, X2, Y2 in `boxes` is shown and picked.
void PickRectangle(QWidget* page, const WorldMapFiles& files, std::array<QLineEdit*, 4> boxes,
                   const QString& countNote = {});
// The footprint of the picture at `picture` placed at the X and Y of the boxes is shown and
// moved whole; a picture that cannot be read is said on the map's status line.
void PickPlace(QWidget* page, const WorldMapFiles& files, const QString& picture, QLineEdit* x,
               QLineEdit* y);
// The text of the box named `name` elsewhere in the window of `page` (a page without a terrain
// or radar colour file uses the one remembered on another page), or `fallback`.
std::string TextOfBox(QWidget* page, const QString& name, const std::string& fallback);

}  // namespace vorlak::app
