// Statics pairs built byte by byte, for tests and benchmarks that need a pair in a given state
// without going through the store they test. Header only; needs nothing beyond the standard
// library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "WholeFile.h"
#include "mul/LittleEndian.h"

namespace vorlak::test {

class StaticsPair {
  public:
    using Bytes = test::Bytes;
    static constexpr int32_t kBlocks = 393216;
    static constexpr int32_t kEntryBytes = 12;
    static constexpr int32_t kRecordBytes = 7;

    struct Entry {
        int32_t offset, length, extra;
    };

    Bytes index;
    Bytes data;

    // A pair of empty entries for a world of `blocks` blocks.
    explicit StaticsPair(int32_t blocks = kBlocks)
        : index(static_cast<size_t>(blocks) * kEntryBytes, 0xFF) {}

    static Bytes Record(uint16_t id, uint8_t x, uint8_t y, int8_t z = 0, uint16_t colour = 0) {
        return {static_cast<uint8_t>(id),
                static_cast<uint8_t>(id >> 8),
                x,
                y,
                static_cast<uint8_t>(z),
                static_cast<uint8_t>(colour),
                static_cast<uint8_t>(colour >> 8)};
    }

    void SetEntry(int32_t block, int32_t offset, int32_t length, int32_t extra = -1) {
        Bytes entry;
        for (int32_t v : {offset, length, extra}) le::Put32(entry, v);
        std::copy(entry.begin(), entry.end(),
                  index.begin() + static_cast<std::ptrdiff_t>(block) * kEntryBytes);
    }

    Entry EntryOf(int32_t block) const {
        size_t at = static_cast<size_t>(block) * kEntryBytes;
        auto field = [&](size_t i) {
            uint32_t u = 0;
            for (int k = 3; k >= 0; --k) u = u << 8 | index[at + i + static_cast<size_t>(k)];
            return static_cast<int32_t>(u);
        };
        return {field(0), field(4), field(8)};
    }

    // Appends `records` to the data file and points the block's entry at them.
    void AddRun(int32_t block, const Bytes& records) {
        SetEntry(block, static_cast<int32_t>(data.size()), static_cast<int32_t>(records.size()));
        data.insert(data.end(), records.begin(), records.end());
    }
    // Appends bytes that no entry refers to.
    void AddGarbage(size_t n, uint8_t value = 0xAB) { data.insert(data.end(), n, value); }

    // The block's records, empty when its entry holds none.
    Bytes RunOf(int32_t block) const {
        Entry e = EntryOf(block);
        if (e.length <= 0) return {};
        auto from = data.begin() + e.offset;
        return Bytes(from, from + e.length);
    }

    void Write(const std::string& staidx, const std::string& statics) const {
        WriteAll(staidx, index);
        WriteAll(statics, data);
    }
    static StaticsPair Read(const std::string& staidx, const std::string& statics) {
        StaticsPair p;
        p.index = ReadAll(staidx);
        p.data = ReadAll(statics);
        return p;
    }

    // About `statics` records spread over random blocks of a world of `blocks` blocks, laid out as
    // a pair looks after some use: every block's run in block order, then `savedAgain` of the
    // blocks saved once more, appended in block order, their first runs left behind unreferenced.
    static StaticsPair Spread(uint32_t statics, double savedAgain, uint32_t seed,
                              int32_t blocks = kBlocks) {
        std::mt19937 random(seed);
        std::vector<Bytes> runs(static_cast<size_t>(blocks));
        for (uint32_t i = 0; i < statics; ++i) {
            auto block = static_cast<size_t>(random() % static_cast<uint32_t>(blocks));
            Bytes r =
                Record(static_cast<uint16_t>(random()), static_cast<uint8_t>(random() % 8),
                       static_cast<uint8_t>(random() % 8),
                       static_cast<int8_t>(random() % 256 - 128), static_cast<uint16_t>(random()));
            runs[block].insert(runs[block].end(), r.begin(), r.end());
        }
        StaticsPair p(blocks);
        p.data.reserve(static_cast<size_t>(statics * kRecordBytes * (1 + savedAgain)) + 64);
        for (int32_t b = 0; b < blocks; ++b) {
            if (!runs[static_cast<size_t>(b)].empty()) p.AddRun(b, runs[static_cast<size_t>(b)]);
        }
        std::bernoulli_distribution again(savedAgain);
        for (int32_t b = 0; b < blocks; ++b) {
            if (!runs[static_cast<size_t>(b)].empty() && again(random)) {
                p.AddRun(b, runs[static_cast<size_t>(b)]);
            }
        }
        return p;
    }
};

}  // namespace vorlak::test
