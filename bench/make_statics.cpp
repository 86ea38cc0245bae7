// Writes a statics pair holding COUNT statics spread evenly over the world, block by block in
// file order, as a long-lived server's files look after a fresh export.
// With MOVED = N above 0, every N-th block holding statics was saved again later: its run stands
// a second time at the end of the data file and its entry points there, as after edits.
// With LEAD above 0, that many unreferenced bytes stand before the first run, so that compacting
// moves every record.
// Usage: bench_make_statics STATICS STAIDX COUNT [SEED [MOVED [LEAD]]]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "mul/World.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s STATICS STAIDX COUNT [SEED [MOVED [LEAD]]]\n", argv[0]);
        return 2;
    }
    long count = std::atol(argv[3]);
    std::mt19937 rng(argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 1u);
    std::vector<uint32_t> perBlock(vorlak::world::kBlocks, 0);
    std::uniform_int_distribution<int32_t> block(0, vorlak::world::kBlocks - 1);
    for (long i = 0; i < count; ++i) ++perBlock[static_cast<size_t>(block(rng))];

    FILE* data = std::fopen(argv[1], "wb");
    FILE* index = std::fopen(argv[2], "wb");
    if (!data || !index) {
        std::perror("open");
        return 1;
    }
    int moved = argc > 5 ? std::atoi(argv[5]) : 0;
    std::vector<int32_t> entries(static_cast<size_t>(vorlak::world::kBlocks) * 3, -1);
    std::vector<unsigned char> again;
    std::uniform_int_distribution<int> byte(0, 255), cell(0, 7);
    uint32_t offset = argc > 6 ? static_cast<uint32_t>(std::atol(argv[6])) : 0;
    std::vector<unsigned char> lead(offset, 0xEE);
    std::fwrite(lead.data(), 1, lead.size(), data);
    for (int32_t b = 0; b < vorlak::world::kBlocks; ++b) {
        uint32_t n = perBlock[static_cast<size_t>(b)];
        int32_t* entry = &entries[static_cast<size_t>(b) * 3];
        if (n > 0) {
            entry[0] = static_cast<int32_t>(offset);
            entry[1] = static_cast<int32_t>(n * 7);
            for (uint32_t k = 0; k < n; ++k) {
                unsigned char r[7] = {static_cast<unsigned char>(byte(rng)),
                                      static_cast<unsigned char>(byte(rng) & 0x3F),
                                      static_cast<unsigned char>(cell(rng)),
                                      static_cast<unsigned char>(cell(rng)),
                                      static_cast<unsigned char>(byte(rng)),
                                      0,
                                      0};
                std::fwrite(r, 1, 7, data);
                if (moved > 0 && b % moved == 0) again.insert(again.end(), r, r + 7);
            }
            offset += n * 7;
        }
    }
    // The runs saved again: appended in block order, their entries moved to them.
    for (int32_t b = 0; moved > 0 && b < vorlak::world::kBlocks; b += moved) {
        int32_t* entry = &entries[static_cast<size_t>(b) * 3];
        if (entry[1] > 0) {
            entry[0] = static_cast<int32_t>(offset);
            offset += static_cast<uint32_t>(entry[1]);
        }
    }
    std::fwrite(again.data(), 1, again.size(), data);
    std::fwrite(entries.data(), 4, entries.size(), index);  // little-endian machine
    std::fclose(data);
    std::fclose(index);
    return 0;
}
