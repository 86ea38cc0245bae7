// Art file pairs built byte by byte, for tests that need records in a given state without going
// through the code they test. Header only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mul/LittleEndian.h"
#include "support/WholeFile.h"

namespace vorlak::test {

struct ArtPair {
    Bytes index, data;

    // Sets the index entry of `record`, growing the index with all-zero entries as needed.
    void SetEntry(int32_t record, int32_t offset, int32_t length, int16_t a = 0, int16_t b = 0) {
        Bytes entry;
        le::Put32(entry, offset);
        le::Put32(entry, length);
        le::Put16(entry, a);
        le::Put16(entry, b);
        index.resize(std::max(index.size(), static_cast<size_t>(record + 1) * 12));
        std::copy(entry.begin(), entry.end(), index.begin() + record * 12);
    }
    // Appends `bytes` to the data and points the entry of `record` at them.
    void Add(int32_t record, const Bytes& bytes, int16_t a = 0, int16_t b = 0) {
        SetEntry(record, static_cast<int32_t>(data.size()), static_cast<int32_t>(bytes.size()), a,
                 b);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    void Write(const std::string& idx, const std::string& mul) const {
        WriteAll(idx, index);
        WriteAll(mul, data);
    }

    // A landscape tile of 2024 bytes whose pixel i (in diamond order) is colour(i).
    template <typename F>
    static Bytes Landscape(F colour) {
        Bytes out;
        for (int32_t i = 0; i < 1012; ++i) le::Put16(out, colour(i));
        return out;
    }

    // A static tile: header 0, width, the row count, the line table and the rows' runs, each row
    // ended by an end marker. A run is an x offset and its colours.
    using Run = std::pair<int32_t, std::vector<int32_t>>;
    static Bytes Static(int32_t width, const std::vector<std::vector<Run>>& rows) {
        Bytes out, runs;
        le::Put32(out, 0);
        le::Put16(out, width);
        le::Put16(out, static_cast<int32_t>(rows.size()));
        for (const auto& row : rows) {
            le::Put16(out, static_cast<int32_t>(runs.size() / 2));
            for (const auto& [offset, colours] : row) {
                le::Put16(runs, offset);
                le::Put16(runs, static_cast<int32_t>(colours.size()));
                for (int32_t c : colours) le::Put16(runs, c);
            }
            le::Put32(runs, 0);
        }
        out.insert(out.end(), runs.begin(), runs.end());
        return out;
    }
};

}  // namespace vorlak::test
