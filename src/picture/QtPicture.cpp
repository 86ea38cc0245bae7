#include "picture/QtPicture.h"

#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace vorlak {

QtPicture::QtPicture(QImage image) : image_(image.convertToFormat(QImage::Format_RGB32)) {}

int32_t QtPicture::pixel(int32_t x, int32_t y) const {
    QRgb p = reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x];
    return Rgb(qRed(p), qGreen(p), qBlue(p));
}

void QtPicture::row(int32_t y, int32_t* out) const {
    const auto* line = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
    for (int32_t x = 0; x < image_.width(); ++x) {
        out[x] = Rgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
    }
}

void QtPicture::setPixel(int32_t x, int32_t y, int32_t colour) {
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] =
        qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

std::optional<QtPicture> LoadPicture(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    return QtPicture(std::move(image));
}

bool SavePicture(const Picture& picture, const std::string& path) {
    QImage image(picture.width(), picture.height(), QImage::Format_RGB32);
    if (image.isNull()) return false;
    for (int32_t y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < picture.width(); ++x) {
            int32_t c = picture.pixel(x, y);
            row[x] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        }
    }
    QString name = QString::fromStdString(path);
    QByteArray format = QFileInfo(name).suffix().toLower().toLatin1();
    if (format.isEmpty()) format = "bmp";
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, format.constData())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace vorlak
