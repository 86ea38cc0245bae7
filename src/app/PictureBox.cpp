#include "app/PictureBox.h"

#include <QPainter>
#include <vector>

#include "mul/File.h"

namespace vorlak::app {
namespace {

QColor ToQColor(int32_t colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

QImage Filled(QSize size, int32_t colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(ToQColor(colour));
    return image;
}

}  // namespace

PictureBox::PictureBox(const QString& name, QRect where, int32_t background, QWidget* parent)
    : QWidget(parent), background_(background), image_(Filled(where.size(), background)) {
    setObjectName(name);
    setGeometry(where);
}

void PictureBox::Clear() {
    image_ = QtPicture(Filled(size(), background_));
    update();
}

bool PictureBox::Load(const QString& path) {
    std::optional<QtPicture> loaded = LoadPicture(path.toStdString());
    if (!loaded) return false;
    QImage canvas = Filled(size(), background_);
    QPainter painter(&canvas);
    painter.drawImage(QPoint(0, 0), loaded->image());
    painter.end();
    image_ = QtPicture(std::move(canvas));
    update();
    return true;
}

bool PictureBox::SaveBmp(const QString& path) const {
    // The same checked output path as every picture job: no special file, no link to a data file,
    // the old file kept when the write fails.
    const std::string name = path.toStdString();
    std::vector<uint8_t> bytes;
    return !name.empty() && CheckPictureOutput(name).empty() &&
           EncodePicture(image_, "bmp", false, bytes) &&
           WriteWholeFile(DefaultFileSystem(), name, bytes).empty();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image_.image());
}

PictureHolder::PictureHolder(const QString& name, QRect where, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setGeometry(where);
    hide();
}

bool PictureHolder::Load(const QString& path) {
    std::optional<QtPicture> loaded = LoadPicture(path.toStdString());
    if (!loaded) return false;
    picture_ = std::move(loaded);
    return true;
}

}  // namespace vorlak::app
