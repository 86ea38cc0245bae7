// Art file pairs built byte by byte, for tests that need records in a given state without going
// through the code they test. Header only.
#pragma once

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "mul/LittleEndian.h"

namespace vorlak::test {

class ArtPair {
  public:
    using Bytes = std::vector<uint8_t>;
    static constexpr int32_t kEntryBytes = 12;

    Bytes index;
    Bytes data;

    static void Put16(Bytes& out, int32_t value) { le::Put16(out, value); }
    static void Put32(Bytes& out, int32_t value) { le::Put32(out, value); }

    // Sets the index entry of `record`, growing the index with all-zero entries as needed.
    void SetEntry(int32_t record, int32_t offset, int32_t length, int16_t flagA = 0,
                  int16_t flagB = 0) {
        size_t at = static_cast<size_t>(record) * kEntryBytes;
        if (index.size() < at + kEntryBytes) index.resize(at + kEntryBytes, 0);
        Bytes entry;
        Put32(entry, offset);
        Put32(entry, length);
        Put16(entry, flagA);
        Put16(entry, flagB);
        std::copy(entry.begin(), entry.end(), index.begin() + static_cast<std::ptrdiff_t>(at));
    }

    // Appends `record_bytes` to the data and points the entry of `record` at them.
    void Add(int32_t record, const Bytes& bytes, int16_t flagA = 0, int16_t flagB = 0) {
        SetEntry(record, static_cast<int32_t>(data.size()), static_cast<int32_t>(bytes.size()),
                 flagA, flagB);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    void Remove(int32_t record) { SetEntry(record, -1, -1); }

    void Write(const std::string& idxPath, const std::string& mulPath) const {
        WriteFile(idxPath, index);
        WriteFile(mulPath, data);
    }

    // A landscape tile of 2024 bytes whose pixel i (in diamond order) is colour(i).
    template <typename F>
    static Bytes Landscape(F colour) {
        Bytes out;
        for (int32_t i = 0; i < 1012; ++i) Put16(out, colour(i));
        return out;
    }

    // A static tile: header 0, width, the row count, the line table and the rows' runs, each row
    // ended by an end marker. A run is an x offset and its colours.
    using Run = std::pair<int32_t, std::vector<int32_t>>;
    static Bytes Static(int32_t width, const std::vector<std::vector<Run>>& rows) {
        Bytes runs;
        Bytes out;
        Put32(out, 0);
        Put16(out, width);
        Put16(out, static_cast<int32_t>(rows.size()));
        for (const auto& row : rows) {
            Put16(out, static_cast<int32_t>(runs.size() / 2));
            for (const auto& [offset, colours] : row) {
                Put16(runs, offset);
                Put16(runs, static_cast<int32_t>(colours.size()));
                for (int32_t c : colours) Put16(runs, c);
            }
            Put16(runs, 0);
            Put16(runs, 0);
        }
        out.insert(out.end(), runs.begin(), runs.end());
        return out;
    }

  private:
    static void WriteFile(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path);
    }
};

}  // namespace vorlak::test
