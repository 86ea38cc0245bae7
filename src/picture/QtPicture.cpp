#include "picture/QtPicture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageReader>
#include <cerrno>
#include <cstring>
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
    if (path.empty()) {
        result.missing = true;
        result.why = "No file was named.";
        return result;
    }
    // Opened without waiting, and checked to be a regular file before the first read: a FIFO or
    // device could be read for ever.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.missing = errno == ENOENT || errno == ENOTDIR;
        result.why = path + ": " + std::strerror(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = errno;
        ::close(fd);
        result.missing = S_ISDIR(st.st_mode);
        result.why = st.st_mode == 0        ? path + ": " + std::strerror(err)
                     : S_ISDIR(st.st_mode)  ? path + " is a folder, not a picture file"
                     : S_ISFIFO(st.st_mode) ? path + " is a FIFO, not a regular file."
                     : S_ISSOCK(st.st_mode) ? path + " is a socket, not a regular file."
                                            : path + " is a device, not a regular file.";
        return result;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    int err = errno;
    ::close(fd);
    if (done != bytes.size()) {
        result.why = path + ": " + (err ? std::strerror(err) : "it cannot be read whole");
        return result;
    }
    std::string why;
    result.picture = DecodePicture(bytes, why);
    if (!result.picture) result.why = path + ": " + why;
    return result;
}

std::optional<QtPicture> LoadPicture(const std::string& path) { return ReadPicture(path).picture; }

bool EncodePicture(const Picture& picture, const std::string& format, bool grey,
                   std::vector<uint8_t>& bytes) {
    // A picture of the module is written as it is, without a second copy of its pixels.
    QImage image;
    if (const auto* own = dynamic_cast<const QtPicture*>(&picture)) {
        image = own->image();
    } else {
        image = QImage(picture.width(), picture.height(), QImage::Format_RGB32);
        if (image.isNull()) return false;
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
        if (greyImage.isNull()) return false;
        for (int32_t y = 0; y < image.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* out = greyImage.scanLine(y);
            for (int32_t x = 0; x < image.width(); ++x) out[x] = static_cast<uchar>(qRed(in[x]));
        }
        image = std::move(greyImage);
    }
    QByteArray data;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format.c_str())) return false;
    bytes.assign(data.begin(), data.end());
    return true;
}

std::unique_ptr<QtPicture> NewPicture(int32_t width, int32_t height) {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return nullptr;
    image.fill(Qt::black);
    return std::make_unique<QtPicture>(std::move(image));
}

}  // namespace vorlak
