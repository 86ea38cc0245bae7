#include "app/MapWindow.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/SettingsStore.h"
#include "mul/Numbers.h"
#include "picture/QtPicture.h"

namespace vorlak::app {
namespace {

constexpr int32_t kTile = TileDrawer::kTilePixels;
constexpr double kWheelStep = 1.4142135623730951;  // a notch of the wheel: two make a double
constexpr double kKeyStep = 2;
constexpr int kGrip = 6;  // how near a side, in screen pixels, the pointer takes it

// Colours in the views' 0x00BBGGRR order, as the image wants them.
QImage ToImage(const std::vector<int32_t>& colours, int32_t width, int32_t height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int32_t y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int32_t* row = colours.data() + static_cast<size_t>(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            const auto c = static_cast<uint32_t>(row[x]);
            line[x] = qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                           static_cast<int>((c >> 16) & 0xFF));
        }
    }
    return image;
}

QString Hex(uint16_t value) { return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0')); }

}  // namespace

// ---------------------------------------------------------------------------------------------

TileDrawer::TileDrawer(std::shared_ptr<const WorldMap> world, Done done)
    : world_(std::move(world)), done_(std::move(done)), thread_([this] { Run(); }) {}

TileDrawer::~TileDrawer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TileDrawer::Want(std::vector<TileKey> tiles) {
    {
        std::lock_guard lock(mutex_);
        wanted_.assign(tiles.begin(), tiles.end());
        if (drawing_) std::erase(wanted_, *drawing_);
    }
    wake_.notify_all();
}

bool TileDrawer::idle() const {
    std::lock_guard lock(mutex_);
    return wanted_.empty() && !drawing_;
}

void TileDrawer::Run() {
    const world::Size size = world_->size();
    for (;;) {
        TileKey key;
        {
            std::unique_lock lock(mutex_);
            drawing_.reset();
            wake_.wait(lock, [this] { return stop_ || !wanted_.empty(); });
            if (stop_) return;
            key = wanted_.front();
            wanted_.pop_front();
            drawing_ = key;
        }
        const int32_t span = kTile * key.scale;
        const int32_t x1 = key.column * span, y1 = key.row * span;
        const int32_t x2 = std::min(size.width, x1 + span) - 1;
        const int32_t y2 = std::min(size.height, y1 + span) - 1;
        const int32_t width = (x2 - x1 + key.scale) / key.scale;
        const int32_t height = (y2 - y1 + key.scale) / key.scale;
        std::vector<int32_t> colours;
        std::string problem;
        QImage image;
        try {
            problem = world_->Draw(x1, y1, x2, y2, key.scale, colours);
            image = ToImage(colours, width, height);
        } catch (const std::exception& e) {
            // Drawn black, so that it is not asked for again and again.
            image = QImage(width, height, QImage::Format_RGB32);
            image.fill(Qt::black);
            problem = e.what();
        }
        done_(key, std::move(image), std::move(problem));
    }
}

// ---------------------------------------------------------------------------------------------

MapCanvas::MapCanvas(std::shared_ptr<const WorldMap> world, QWidget* parent)
    : QAbstractScrollArea(parent), world_(std::move(world)) {
    setObjectName("mapCanvas");
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &MapCanvas::ScrollBarMoved);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &MapCanvas::ScrollBarMoved);
    drawer_ = std::make_unique<TileDrawer>(
        world_, [this](TileKey key, QImage image, const std::string& problem) {
            // Runs on the drawing thread; the canvas takes the tile on its own.
            QMetaObject::invokeMethod(
                this,
                [this, key, image = std::move(image), text = QString::fromStdString(problem)] {
                    TileDrawn(key, image, text);
                },
                Qt::QueuedConnection);
        });
    Fit();
}

MapCanvas::~MapCanvas() { drawer_.reset(); }

double MapCanvas::FitZoom() const {
    // A viewport not laid out yet has no size; the zoom must stay above 0 all the same.
    const QSize view = viewport()->size().expandedTo(QSize(1, 1));
    return std::min({kMostPixelsPerCell, double(view.width()) / worldSize().width,
                     double(view.height()) / worldSize().height});
}

void MapCanvas::ZoomAt(double zoom, QPointF anchor) {
    const QPointF cell = CellAt(anchor);
    zoom_ = std::clamp(zoom, FitZoom(), kMostPixelsPerCell);
    origin_ = cell - anchor / zoom_;
    Settle();
}

void MapCanvas::Fit() {
    zoom_ = FitZoom();
    Settle();
}

void MapCanvas::CentreOn(QPointF cell) {
    const QSizeF view = viewport()->size();
    origin_ = cell - QPointF(view.width(), view.height()) / (2 * zoom_);
    Settle();
}

QPointF MapCanvas::CellAt(QPointF point) const { return origin_ + point / zoom_; }
QPointF MapCanvas::PointOf(QPointF cell) const { return (cell - origin_) * zoom_; }

QPoint MapCanvas::CellUnder(QPointF point) const {
    const QPointF cell = CellAt(point);
    return {std::clamp(static_cast<int>(std::floor(cell.x())), 0, worldSize().width - 1),
            std::clamp(static_cast<int>(std::floor(cell.y())), 0, worldSize().height - 1)};
}

void MapCanvas::Settle() {
    const QSizeF view = viewport()->size();
    const double cellsX = view.width() / zoom_, cellsY = view.height() / zoom_;
    auto settle = [](double origin, double cells, double world) {
        if (cells >= world) return -(cells - world) / 2;
        return std::clamp(origin, 0.0, world - cells);
    };
    origin_.setX(settle(origin_.x(), cellsX, worldSize().width));
    origin_.setY(settle(origin_.y(), cellsY, worldSize().height));
    settling_ = true;
    auto bar = [&](QScrollBar* b, double origin, double cells, double world, int page) {
        b->setRange(0, std::max(0, static_cast<int>(std::lround((world - cells) * zoom_))));
        b->setPageStep(page);
        b->setSingleStep(std::max(1, page / 8));
        b->setValue(static_cast<int>(std::lround(std::max(0.0, origin) * zoom_)));
    };
    bar(horizontalScrollBar(), origin_.x(), cellsX, worldSize().width, viewport()->width());
    bar(verticalScrollBar(), origin_.y(), cellsY, worldSize().height, viewport()->height());
    settling_ = false;
    viewport()->update();
}

void MapCanvas::ScrollBarMoved() {
    if (settling_) return;
    if (horizontalScrollBar()->maximum() > 0) origin_.setX(horizontalScrollBar()->value() / zoom_);
    if (verticalScrollBar()->maximum() > 0) origin_.setY(verticalScrollBar()->value() / zoom_);
    Settle();
}

void MapCanvas::scrollContentsBy(int, int) { viewport()->update(); }

void MapCanvas::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    zoom_ = std::max(zoom_, FitZoom());
    Settle();
}

int32_t MapCanvas::LevelScale() const {
    int32_t scale = 1;
    while (scale < kCoarsestScale && scale * 2 <= 1 / zoom_) scale *= 2;
    return scale;
}

QRectF MapCanvas::TileCells(const TileKey& key) const {
    const double span = double(kTile) * key.scale;
    return {key.column * span, key.row * span, span, span};
}

const QImage* MapCanvas::Cached(const TileKey& key) {
    auto it = cache_.find(key);
    if (it == cache_.end()) return nullptr;
    // Shown now: the last to be dropped.
    recent_.remove(key);
    recent_.push_back(key);
    return &it->second;
}

void MapCanvas::TileDrawn(TileKey key, QImage image, const QString& problemText) {
    if (!problemText.isEmpty()) emit problem(problemText);
    if (cache_.contains(key)) return;
    cacheBytes_ += image.sizeInBytes();
    cache_.insert_or_assign(key, std::move(image));
    recent_.push_back(key);
    for (auto it = recent_.begin(); cacheBytes_ > kCacheBytes && it != recent_.end();) {
        if (it->scale == kCoarsestScale) {
            ++it;
            continue;
        }
        cacheBytes_ -= cache_.at(*it).sizeInBytes();
        cache_.erase(*it);
        it = recent_.erase(it);
    }
    viewport()->update();
}

bool MapCanvas::idle() const { return !missing_ && drawer_->idle(); }

void MapCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    const QRectF worldOnScreen(PointOf({0, 0}),
                               PointOf(QPointF(worldSize().width, worldSize().height)));
    painter.fillRect(worldOnScreen, Qt::black);
    painter.setClipRect(worldOnScreen);

    const QRectF visible(CellAt({0, 0}),
                         CellAt(QPointF(viewport()->width(), viewport()->height())));
    const int32_t level = LevelScale();
    std::vector<TileKey> wanted;
    auto tilesOf = [&](int32_t scale) {
        std::vector<TileKey> keys;
        const double span = double(kTile) * scale;
        const int32_t c1 = std::max(0, static_cast<int32_t>(std::floor(visible.left() / span)));
        const int32_t r1 = std::max(0, static_cast<int32_t>(std::floor(visible.top() / span)));
        const int32_t c2 = std::min((worldSize().width - 1) / (kTile * scale),
                                    static_cast<int32_t>(std::floor(visible.right() / span)));
        const int32_t r2 = std::min((worldSize().height - 1) / (kTile * scale),
                                    static_cast<int32_t>(std::floor(visible.bottom() / span)));
        for (int32_t r = r1; r <= r2; ++r) {
            for (int32_t c = c1; c <= c2; ++c) keys.push_back({scale, c, r});
        }
        // The middle of the view first.
        const QPointF middle = visible.center();
        std::sort(keys.begin(), keys.end(), [&](const TileKey& a, const TileKey& b) {
            const QPointF da = TileCells(a).center() - middle, db = TileCells(b).center() - middle;
            return QPointF::dotProduct(da, da) < QPointF::dotProduct(db, db);
        });
        return keys;
    };
    // The coarsest level always first: it is the picture shown while the finer ones are drawn.
    for (const TileKey& key : tilesOf(kCoarsestScale)) {
        if (!cache_.contains(key)) wanted.push_back(key);
    }
    missing_ = false;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0 / level);
    for (const TileKey& key : tilesOf(level)) {
        const QRectF cells = TileCells(key);
        const QRectF target(PointOf(cells.topLeft()), PointOf(cells.bottomRight()));
        if (const QImage* image = Cached(key)) {
            painter.drawImage(target, *image,
                              QRectF(0, 0, cells.width() / level, cells.height() / level));
            continue;
        }
        missing_ = true;
        if (key.scale != kCoarsestScale) wanted.push_back(key);
        // Meanwhile the nearest coarser tile that is drawn, scaled up.
        for (int32_t scale = level * 2; scale <= kCoarsestScale; scale *= 2) {
            const int32_t span = kTile * scale;
            const TileKey coarse{scale, static_cast<int32_t>(cells.left()) / span,
                                 static_cast<int32_t>(cells.top()) / span};
            const QImage* image = Cached(coarse);
            if (!image) continue;
            const QPointF from = (cells.topLeft() - TileCells(coarse).topLeft()) / scale;
            painter.drawImage(target, *image, QRectF(from, cells.size() / scale));
            break;
        }
    }
    drawer_->Want(std::move(wanted));
    painter.setClipping(false);

    if (rect_) {
        const QRectF r = ScreenRect(*rect_);
        painter.setPen(QPen(QColor(255, 230, 0), 2));
        painter.setBrush(QColor(255, 230, 0, 50));
        painter.drawRect(r);
        painter.setBrush(QColor(255, 230, 0));
        for (QPointF corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
            painter.drawRect(QRectF(corner - QPointF(3, 3), QSizeF(6, 6)));
        }
    }
    if (footprint_) {
        const CellRect f{footprint_->x(), footprint_->y(),
                         footprint_->x() + footprintSize_.width() - 1,
                         footprint_->y() + footprintSize_.height() - 1};
        painter.setPen(QPen(QColor(0, 230, 255), 2));
        painter.setBrush(QColor(0, 230, 255, 50));
        painter.drawRect(ScreenRect(f));
    }
}

QRectF MapCanvas::ScreenRect(const CellRect& rect) const {
    return {PointOf(QPointF(rect.x1, rect.y1)), PointOf(QPointF(rect.x2 + 1, rect.y2 + 1))};
}

void MapCanvas::SetRectangle(std::optional<CellRect> rect) {
    rect_ = rect;
    viewport()->update();
    emit selectionChanged();
}

void MapCanvas::SetFootprint(QSize size, QPoint at) {
    footprintSize_ = size;
    footprint_ = at;
    viewport()->update();
    emit selectionChanged();
}

void MapCanvas::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    dragStart_ = at;
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        drag_ = Drag::kPan;
        originAtStart_ = origin_;
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const QPoint cell = CellUnder(at);
    if (footprint_) {
        drag_ = Drag::kMove;
        const QRect placed(*footprint_, footprintSize_);
        grab_ = placed.contains(cell) ? cell - *footprint_ : QPoint(0, 0);
        mouseMoveEvent(event);
        return;
    }
    drag_ = Drag::kPick;
    movesX_ = movesY_ = true;
    fixedX_ = cell.x();
    fixedY_ = cell.y();
    if (rect_) {
        // A side or a corner near the pointer is taken; the opposite sides stay.
        const QRectF r = ScreenRect(*rect_);
        const bool inX = at.x() > r.left() - kGrip && at.x() < r.right() + kGrip;
        const bool inY = at.y() > r.top() - kGrip && at.y() < r.bottom() + kGrip;
        const bool left = inY && std::abs(at.x() - r.left()) <= kGrip;
        const bool right = inY && !left && std::abs(at.x() - r.right()) <= kGrip;
        const bool top = inX && std::abs(at.y() - r.top()) <= kGrip;
        const bool bottom = inX && !top && std::abs(at.y() - r.bottom()) <= kGrip;
        if (left || right || top || bottom) {
            movesX_ = left || right;
            movesY_ = top || bottom;
            fixedX_ = left ? rect_->x2 : rect_->x1;
            fixedY_ = top ? rect_->y2 : rect_->y1;
            return;
        }
    }
    SetRectangle(CellRect{cell.x(), cell.y(), cell.x(), cell.y()});
}

void MapCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    const QPointF cell = CellAt(at);
    const bool over = cell.x() >= 0 && cell.y() >= 0 && cell.x() < worldSize().width &&
                      cell.y() < worldSize().height;
    emit pointerMoved(over ? std::optional(CellUnder(at)) : std::nullopt);
    switch (drag_) {
        case Drag::kNone:
            return;
        case Drag::kPan:
            origin_ = originAtStart_ - (at - dragStart_) / zoom_;
            Settle();
            return;
        case Drag::kMove: {
            const QPoint under = CellUnder(at) - grab_;
            SetFootprint(
                footprintSize_,
                {std::clamp(under.x(), 0, std::max(0, worldSize().width - footprintSize_.width())),
                 std::clamp(under.y(), 0,
                            std::max(0, worldSize().height - footprintSize_.height()))});
            return;
        }
        case Drag::kPick: {
            CellRect r = *rect_;
            const QPoint under = CellUnder(at);
            if (movesX_) std::tie(r.x1, r.x2) = std::minmax(fixedX_, under.x());
            if (movesY_) std::tie(r.y1, r.y2) = std::minmax(fixedY_, under.y());
            if (r != *rect_) SetRectangle(r);
            return;
        }
    }
}

void MapCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::kPan &&
        (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton)) {
        mouseMoveEvent(event);
        viewport()->unsetCursor();
        drag_ = Drag::kNone;
    } else if (event->button() == Qt::LeftButton && drag_ != Drag::kPan) {
        if (drag_ != Drag::kNone) mouseMoveEvent(event);
        drag_ = Drag::kNone;
    }
}

void MapCanvas::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    ZoomAt(zoom_ * std::pow(kWheelStep, notches), event->position());
    event->accept();
}

void MapCanvas::keyPressEvent(QKeyEvent* event) {
    const QPointF middle = QRectF(viewport()->rect()).center();
    const double stepX = viewport()->width() / 4.0 / zoom_;
    const double stepY = viewport()->height() / 4.0 / zoom_;
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomAt(zoom_ * kKeyStep, middle);
            return;
        case Qt::Key_Minus:
            ZoomAt(zoom_ / kKeyStep, middle);
            return;
        case Qt::Key_0:
            if (event->modifiers() & Qt::ControlModifier) {
                Fit();
                return;
            }
            break;
        case Qt::Key_Left:
            origin_.rx() -= stepX;
            Settle();
            return;
        case Qt::Key_Right:
            origin_.rx() += stepX;
            Settle();
            return;
        case Qt::Key_Up:
            origin_.ry() -= stepY;
            Settle();
            return;
        case Qt::Key_Down:
            origin_.ry() += stepY;
            Settle();
            return;
        default:
            break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void MapCanvas::leaveEvent(QEvent* event) {
    emit pointerMoved(std::nullopt);
    QAbstractScrollArea::leaveEvent(event);
}

// ---------------------------------------------------------------------------------------------

namespace {

const QString kGeometryKey = QStringLiteral("MapWindow/geometry");

QSettings Remembered() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::kApplication,
                     QString());
}

}  // namespace

MapWindow::MapWindow(const WorldMapFiles& files, const QString& countNote, QWidget* parent)
    : QDialog(parent), countNote_(countNote) {
    setObjectName("frmMap");
    setWindowTitle("Map");
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(true);
    // Without radar colours the terrain kinds are drawn in the palette's colours.
    std::optional<QtPicture> palette = LoadPicture("colors.gif");
    world_ = std::make_shared<WorldMap>(files, palette ? &*palette : nullptr);

    canvas_ = new MapCanvas(world_, this);
    notes_ = new QLabel(this);
    notes_->setObjectName("lblMapNotes");
    notes_->setWordWrap(true);
    status_ = new QLabel(this);
    status_->setObjectName("lblMapStatus");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(canvas_, 1);
    layout->addWidget(notes_);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    connect(canvas_, &MapCanvas::pointerMoved, this, &MapWindow::ShowStatus);
    connect(canvas_, &MapCanvas::selectionChanged, this, [this] { ShowStatus(pointer_); });
    connect(canvas_, &MapCanvas::problem, this, [this](const QString& text) {
        if (problems_.contains(text)) return;
        problems_.append(text);
        notes_->setText(notesText());
    });
    notes_->setText(notesText());
    notes_->setVisible(!notes_->text().isEmpty());
    ShowStatus(std::nullopt);

    if (!restoreGeometry(Remembered().value(kGeometryKey).toByteArray())) resize(800, 600);
    canvas_->Fit();
    canvas_->setFocus();
}

MapWindow::~MapWindow() = default;

QString MapWindow::notesText() const {
    QStringList lines;
    for (const std::string& note : world_->notes()) lines.append(QString::fromStdString(note));
    lines.append(problems_);
    return lines.join('\n');
}

QString MapWindow::statusText() const { return status_->text(); }

void MapWindow::done(int result) {
    Remembered().setValue(kGeometryKey, saveGeometry());
    QDialog::done(result);
}

void MapWindow::ShowStatus(std::optional<QPoint> cell) {
    pointer_ = cell;
    notes_->setVisible(!notes_->text().isEmpty());
    QStringList parts;
    if (cell) {
        const MapCell c = world_->Cell(cell->x(), cell->y());
        QString text = QStringLiteral("X %1, Y %2").arg(cell->x()).arg(cell->y());
        if (c.terrain)
            text += QStringLiteral(": tile %1, height %2").arg(Hex(c.tile)).arg(c.height);
        text += QStringLiteral(", %1 statics").arg(c.statics);
        if (c.statics > 0) text += QStringLiteral(", top %1 at Z %2").arg(Hex(c.topId)).arg(c.topZ);
        parts.append(text);
    }
    if (auto r = canvas_->rectangle()) {
        if (!counted_ || counted_->first != *r) {
            counted_.emplace(*r, world_->StaticsInside(r->x1, r->y1, r->x2, r->y2));
        }
        QString text = QStringLiteral("%1, %2 -> %3, %4: %5 x %6 cells, %7 statics")
                           .arg(r->x1)
                           .arg(r->y1)
                           .arg(r->x2)
                           .arg(r->y2)
                           .arg(r->x2 - r->x1 + 1)
                           .arg(r->y2 - r->y1 + 1)
                           .arg(counted_->second);
        if (!countNote_.isEmpty()) text += " " + countNote_;
        parts.append(text);
    }
    if (auto at = canvas_->footprintAt()) {
        parts.append(QStringLiteral("Picture at X %1, Y %2").arg(at->x()).arg(at->y()));
    }
    status_->setText(parts.join(QStringLiteral("  |  ")));
}

// ---------------------------------------------------------------------------------------------

namespace {

// A number from a box by the leading-number rule, as a cell inside `limit`.
int32_t CellOf(const QLineEdit& box, int32_t limit) {
    const double value = NumericValue(box.text().toStdString());
    if (!(value >= 0)) return 0;
    return static_cast<int32_t>(std::min<double>(std::nearbyint(value), limit - 1));
}

MapWindow* OpenOver(QWidget* page, const WorldMapFiles& files, const QString& countNote) {
    auto* window = new MapWindow(files, countNote, page->window());
    window->setWindowModality(Qt::WindowModal);
    return window;
}

}  // namespace

std::string TextOfBox(QWidget* page, const QString& name, const std::string& fallback) {
    auto* box = page->window()->findChild<QLineEdit*>(name);
    return box ? box->text().toStdString() : fallback;
}

void PickRectangle(QWidget* page, const WorldMapFiles& files, std::array<QLineEdit*, 4> boxes,
                   const QString& countNote) {
    MapWindow* window = OpenOver(page, files, countNote);
    MapCanvas* canvas = window->canvas();
    const world::Size size = canvas->worldSize();
    const std::pair<int32_t, int32_t> x =
        std::minmax(CellOf(*boxes[0], size.width), CellOf(*boxes[2], size.width));
    const std::pair<int32_t, int32_t> y =
        std::minmax(CellOf(*boxes[1], size.height), CellOf(*boxes[3], size.height));
    const auto [x1, x2] = x;
    const auto [y1, y2] = y;
    canvas->SetRectangle(CellRect{x1, y1, x2, y2});
    canvas->CentreOn(QPointF(x1 + x2 + 1, y1 + y2 + 1) / 2);
    QObject::connect(window, &QDialog::accepted, page, [canvas, boxes] {
        const std::optional<CellRect> r = canvas->rectangle();
        if (!r) return;
        const std::array<int32_t, 4> values{r->x1, r->y1, r->x2, r->y2};
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setText(QString::number(values[i]));
    });
    window->open();
}

void PickPlace(QWidget* page, const WorldMapFiles& files, const QString& picture, QLineEdit* x,
               QLineEdit* y) {
    MapWindow* window = OpenOver(page, files, {});
    MapCanvas* canvas = window->canvas();
    PictureFile file = ReadPicture(picture.toStdString());
    if (!file.picture) {
        emit canvas->problem(QString::fromStdString(
            picture.isEmpty() ? std::string("No picture is chosen: there is nothing to place.")
                              : file.why));
    } else {
        const QSize footprint(file.picture->width(), file.picture->height());
        const QPoint at(CellOf(*x, canvas->worldSize().width),
                        CellOf(*y, canvas->worldSize().height));
        canvas->SetFootprint(footprint, at);
        canvas->CentreOn(QPointF(at) + QPointF(footprint.width(), footprint.height()) / 2);
        QObject::connect(window, &QDialog::accepted, page, [canvas, x, y] {
            const std::optional<QPoint> placed = canvas->footprintAt();
            x->setText(QString::number(placed->x()));
            y->setText(QString::number(placed->y()));
        });
    }
    window->open();
}

}  // namespace vorlak::app
