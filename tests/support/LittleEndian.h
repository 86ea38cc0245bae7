// Little-endian fields appended to byte vectors, for tests that lay out file bytes by hand rather
// than through the code they test. Header only; standard library only.
#pragma once

#include <cstdint>
#include <vector>

namespace vorlak::test {

inline void PutLe16(std::vector<uint8_t>& out, int32_t value) {
    auto u = static_cast<uint32_t>(value);
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
}

inline void PutLe32(std::vector<uint8_t>& out, int32_t value) {
    PutLe16(out, value);
    PutLe16(out, static_cast<int32_t>(static_cast<uint32_t>(value) >> 16));
}

}  // namespace vorlak::test
