#include "support/PngReader.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "support/WholeFile.h"

namespace vorlak::test {
namespace {

uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

int Paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

std::optional<ReadPng> ReadPngFile(const std::string& path, std::string* why) {
    auto fail = [&](std::string text) -> std::optional<ReadPng> {
        if (why) *why = std::move(text);
        return std::nullopt;
    };
    const Bytes b = ReadAll(path);
    const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 8 || std::memcmp(b.data(), signature, 8) != 0) return fail("no signature");
    uint32_t width = 0, height = 0;
    int channels = 0;
    Bytes zdata;
    bool ended = false;
    for (size_t at = 8; !ended;) {
        if (b.size() - at < 12) return fail("cut short at " + std::to_string(at));
        const uint32_t length = Big32(&b[at]);
        if (length > b.size() - at - 12) return fail("chunk past the end at " + std::to_string(at));
        const std::string type(reinterpret_cast<const char*>(&b[at + 4]), 4);
        const uint8_t* data = &b[at + 8];
        if (crc32(0, &b[at + 4], length + 4) != Big32(data + length)) return fail("CRC of " + type);
        if (type == "IHDR") {
            if (length != 13 || data[8] != 8 || (data[9] != 0 && data[9] != 2) || data[12] != 0) {
                return fail("not an 8-bit grey or RGB picture");
            }
            width = Big32(data);
            height = Big32(data + 4);
            channels = data[9] == 0 ? 1 : 3;
        } else if (type == "IDAT") {
            zdata.insert(zdata.end(), data, data + length);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    if (channels == 0) return fail("no IHDR");
    const size_t stride = 1 + size_t{width} * static_cast<size_t>(channels);
    Bytes raw(stride * height + 1);  // one byte more, to see data past the last row
    uLongf rawLength = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &rawLength, zdata.data(), static_cast<uLong>(zdata.size())) !=
        Z_OK) {
        return fail("IDAT is not one sound zlib stream");
    }
    if (rawLength != stride * height) return fail("IDAT holds " + std::to_string(rawLength));
    ReadPng out{MemoryPicture(static_cast<int32_t>(width), static_cast<int32_t>(height)),
                channels == 1};
    Bytes previous(stride, 0), row(stride);
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(row.data(), &raw[y * stride], stride);
        for (size_t i = 1; i < stride; ++i) {
            int left = i > static_cast<size_t>(channels) ? row[i - channels] : 0;
            int up = previous[i];
            int corner = i > static_cast<size_t>(channels) ? previous[i - channels] : 0;
            if (row[0] != 0 && row[0] != 2 && row[0] != 4) {
                return fail("filter " + std::to_string(row[0]));
            }
            int add = row[0] == 2 ? up : row[0] == 4 ? Paeth(left, up, corner) : 0;
            row[i] = static_cast<uint8_t>(row[i] + add);
        }
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &row[1 + x * static_cast<size_t>(channels)];
            out.picture.setPixel(static_cast<int32_t>(x), static_cast<int32_t>(y),
                                 channels == 1 ? Rgb(p[0], p[0], p[0]) : Rgb(p[0], p[1], p[2]));
        }
        previous.swap(row);
    }
    return out;
}

}  // namespace vorlak::test
