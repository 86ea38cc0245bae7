// Little-endian fields, as every file of this program stores its numbers. Header only.
#pragma once

#include <cstdint>
#include <vector>

namespace vorlak::le {

// The 16-bit field at `p`, unsigned; the caller has checked that two bytes lie there.
inline int32_t Load16(const uint8_t* p) { return p[0] | p[1] << 8; }

// The 32-bit field at `p`; the caller has checked that four bytes lie there.
inline int32_t Load32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

inline void Store32(uint8_t* p, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Appends the field to `out`.
inline void Put16(std::vector<uint8_t>& out, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(std::vector<uint8_t>& out, int32_t value) {
    Put16(out, value);
    Put16(out, static_cast<int32_t>(static_cast<uint32_t>(value) >> 16));
}

}  // namespace vorlak::le
