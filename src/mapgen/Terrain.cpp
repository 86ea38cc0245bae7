// The terrain colour table and the texts the Bmp->Map job shows.
#include <chrono>
#include <cmath>

#include "mapgen/MapGen.h"
#include "mul/Error.h"
#include "mul/Numbers.h"

namespace vorlak {
namespace {

constexpr uint16_t kGrass[] = {3, 4, 5, 6};
constexpr uint16_t kDirt[] = {113, 114, 115, 116, 117, 118, 119, 120};
// 555 is not a mountain tile.
constexpr uint16_t kMontain[] = {1787, 1788, 1789, 1790, 551, 552, 553, 554, 556, 557, 558, 559};
constexpr uint16_t kJungle[] = {172, 173, 174, 175};
constexpr uint16_t kWater[] = {168, 169, 170, 171, 310, 311};
constexpr uint16_t kLava[] = {501, 503};
constexpr uint16_t kSnow[] = {282, 283, 284, 285};
constexpr uint16_t kCave[] = {581, 582, 583, 584, 585};
constexpr uint16_t kSand[] = {22, 23, 24, 25};
constexpr uint16_t kCStones[] = {1693, 1694, 1695, 1696};
constexpr uint16_t kSwamp[] = {15849, 15850, 15851, 15852};
constexpr uint16_t kEntrance[] = {475};

constexpr int32_t kLowestHeight = -128;
constexpr int32_t kHighestHeight = 127;

int16_t HeightBound(const std::string& text, int32_t kind) {
    double value = std::nearbyint(NumericValue(text));  // ties to even
    if (!(value >= kLowestHeight && value <= kHighestHeight)) {
        throw Error::OutOfRange("The heights of " + TerrainName(kind) + " must lie between " +
                                std::to_string(kLowestHeight) + " and " +
                                std::to_string(kHighestHeight) + "! BMP to Map aborted");
    }
    return static_cast<int16_t>(value);
}

HeightTexts Defaults(std::string_view TerrainKindInfo::*field) {
    HeightTexts texts;
    for (int32_t k = 0; k < kTerrainKinds; ++k) texts[k] = std::string(TerrainKinds()[k].*field);
    return texts;
}

}  // namespace

const std::array<TerrainKindInfo, kTerrainKinds>& TerrainKinds() {
    static const std::array<TerrainKindInfo, kTerrainKinds> kinds = {{
        {"Grass:", kGrass, "-1", "0"},
        {"Dirt:", kDirt, "-1", "0"},
        {"Montain:", kMontain, "20", "70"},
        {"Jungle:", kJungle, "-1", "0"},
        {"Water:", kWater, "-3", "-3"},
        {"Lava:", kLava, "-3", "-3"},
        {"Snow:", kSnow, "-1", "0"},
        {"Cave:", kCave, "-1", "0"},
        {"Sand:", kSand, "-1", "0"},
        {"CStones:", kCStones, "-1", "0"},
        {"Swamp:", kSwamp, "-1", "0"},
        {"Entrance:", kEntrance, "20", "25"},
    }};
    return kinds;
}

std::string TerrainName(int32_t kind) {
    std::string_view label = TerrainKinds().at(static_cast<size_t>(kind)).label;
    return std::string(label.substr(0, label.size() - 1));
}

HeightTexts DefaultAltMin() { return Defaults(&TerrainKindInfo::altMin); }
HeightTexts DefaultAltMax() { return Defaults(&TerrainKindInfo::altMax); }

TerrainTable BuildTerrainTable(const Picture* palette, const HeightTexts& altMin,
                               const HeightTexts& altMax) {
    TerrainTable table;
    for (int32_t k = 0; k < kTerrainKinds; ++k) table[k].Tiles = TerrainKinds()[k].tiles;
    for (int32_t k = 0; k < kTerrainKinds; ++k) table[k].AltMin = HeightBound(altMin[k], k);
    for (int32_t k = 0; k < kTerrainKinds; ++k) table[k].AltMax = HeightBound(altMax[k], k);
    for (int32_t k = 0; k < kTerrainKinds; ++k) {
        bool present = palette && k < palette->width() && palette->height() > 0;
        table[k].Color = present ? palette->pixel(k, 0) : -1;
    }
    return table;
}

TerrainRandom::TerrainRandom(uint32_t seed) {
    uint64_t z = seed;
    for (uint32_t& word : s_) {
        z += 0x9E3779B97F4A7C15u;  // splitmix64
        uint64_t m = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        m = (m ^ (m >> 27)) * 0x94D049BB133111EBu;
        word = static_cast<uint32_t>((m ^ (m >> 31)) >> 32);
    }
    if ((s_[0] | s_[1] | s_[2] | s_[3]) == 0) s_[0] = 1;  // the one state that never leaves 0
}

uint32_t TerrainRandom::ClockSeed() {
    auto ticks = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    return static_cast<uint32_t>(ticks ^ (ticks >> 32));
}

std::string PlacementCaption(int32_t width, int32_t height, std::string_view xText,
                             std::string_view yText) {
    return " -> " + FormatShortest(width + NumericValue(xText)) + "x" +
           FormatShortest(height + NumericValue(yText));
}

std::string ProgressText(int32_t row, int32_t rows) {
    double percent = std::nearbyint(static_cast<double>(row) / rows * 100);  // ties to even
    return std::to_string(static_cast<int32_t>(percent)) + "% finished";
}

}  // namespace vorlak
