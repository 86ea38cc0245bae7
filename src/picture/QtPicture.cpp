#include "picture/QtPicture.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "picture/BmpCheck.h"

namespace vorlak {

QtPicture::QtPicture(QImage image) : image_(image.convertToFormat(QImage::Format_RGB32)) {}

int32_t QtPicture::pixel(int32_t x, int32_t y) const {
    QRgb p = reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x];
    return Rgb(qRed(p), qGreen(p), qBlue(p));
}

void QtPicture::row(int32_t y, int32_t* out) const {
    const auto* line = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
    for (int32_t x = 0, width = image_.width(); x < width; ++x) {
        out[x] = Rgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
    }
}

void QtPicture::setPixel(int32_t x, int32_t y, int32_t colour) {
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] =
        qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

void QtPicture::setRow(int32_t y, const int32_t* colours) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int32_t x = 0, width = image_.width(); x < width; ++x) {
        line[x] = qRgb(colours[x] & 0xFF, (colours[x] >> 8) & 0xFF, (colours[x] >> 16) & 0xFF);
    }
}

std::optional<QtPicture> DecodePicture(std::span<const uint8_t> bytes, std::string& why) {
    why = BmpLengthProblem(bytes);
    if (!why.empty()) return std::nullopt;
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) {
        why = reader.errorString().toStdString();
        if (why.empty()) why = "it cannot be decoded as a picture";
        return std::nullopt;
    }
    return QtPicture(std::move(image));
}

PictureFile ReadPicture(const std::string& path) {
    PictureFile result;
    struct stat st {};
    if (path.empty()) {
        result.missing = true;
        result.why = "No file was named.";
        return result;
    }
    if (::stat(path.c_str(), &st) != 0) {
        result.missing = true;
        result.why = path + ": " + std::strerror(errno);
        return result;
    }
    if (S_ISDIR(st.st_mode)) {
        result.missing = true;
        result.why = path + " is a folder, not a picture file";
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.why = path + " is not a regular file (a FIFO, device or socket)";
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        result.why = path + ": " + (errno ? std::strerror(errno) : "cannot be read whole");
        return result;
    }
    std::string why;
    result.picture = DecodePicture(bytes, why);
    if (!result.picture) result.why = path + ": " + why;
    return result;
}

std::optional<QtPicture> LoadPicture(const std::string& path) { return ReadPicture(path).picture; }

bool SavePicture(const Picture& picture, const std::string& path) {
    return SavePicture(picture, path, false);
}

bool SavePicture(const Picture& picture, const std::string& path, bool grey, std::string* why) {
    auto fail = [why](const std::string& cause) {
        if (why) *why = cause;
        return false;
    };
    const std::string noRoom = "There is no room for a " + std::to_string(picture.width()) + " x " +
                               std::to_string(picture.height()) + " picture in memory.";
    // A picture of the module is written as it is, without a second copy of its pixels.
    QImage image;
    if (const auto* own = dynamic_cast<const QtPicture*>(&picture)) {
        image = own->image();
    } else {
        image = QImage(picture.width(), picture.height(), QImage::Format_RGB32);
        if (image.isNull()) return fail(noRoom);
        for (int32_t y = 0; y < picture.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int32_t x = 0; x < picture.width(); ++x) {
                int32_t c = picture.pixel(x, y);
                row[x] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
            }
        }
    }
    if (grey) {
        QImage greyImage(image.width(), image.height(), QImage::Format_Grayscale8);
        if (greyImage.isNull()) return fail(noRoom);
        for (int32_t y = 0; y < image.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* out = greyImage.scanLine(y);
            for (int32_t x = 0; x < image.width(); ++x) out[x] = static_cast<uchar>(qRed(in[x]));
        }
        image = std::move(greyImage);
    }
    QString name = QString::fromStdString(path);
    QByteArray format = QFileInfo(name).suffix().toLower().toLatin1();
    if (format.isEmpty()) format = "bmp";
    QSaveFile file(name);
    auto cause = [&file, &path] { return path + ": " + file.errorString().toStdString(); };
    if (!file.open(QIODevice::WriteOnly)) return fail(cause());
    if (!image.save(&file, format.constData())) {
        // A write that failed set the file's error; otherwise the encoder gave up.
        std::string what = file.error() != QFileDevice::NoError
                               ? cause()
                               : path + ": it cannot be encoded as " + format.toStdString();
        file.cancelWriting();
        return fail(what);
    }
    if (!file.commit()) return fail(cause());
    return true;
}

std::unique_ptr<QtPicture> NewPicture(int32_t width, int32_t height) {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return nullptr;
    image.fill(Qt::black);
    return std::make_unique<QtPicture>(std::move(image));
}

}  // namespace vorlak
