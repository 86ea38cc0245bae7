// Feeds arbitrary bytes to the world file reader, in both formats.
//
// The first byte picks the case: bit 0 the format (Sphere when set), bits 1-2 the wanted type,
// bit 3 a small field limit, bits 4-6 a small read buffer, bit 7 the value check. The reader must
// never crash, must fail only with an Error, and must read the same items (or fail with the same
// message) whatever the size of its read buffer, and when read in parts on two threads at once. In
// the value check the rest of the input is one value text, and the reader must read it exactly as
// the number rules do.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "mul/Error.h"
#include "mul/Numbers.h"
#include "statics/WorldReader.h"

namespace {

using vorlak::RandomAccessFile;
using vorlak::WorldFormat;
using vorlak::WorldItem;
using vorlak::WorldReader;
using vorlak::WorldReaderOptions;

class MemoryFile final : public RandomAccessFile {
  public:
    explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        if (offset >= bytes_.size()) return 0;
        size_t n = std::min(out.size(), bytes_.size() - static_cast<size_t>(offset));
        std::memcpy(out.data(), bytes_.data() + offset, n);
        return n;
    }
    void WriteAt(uint64_t, std::span<const uint8_t>) override { std::abort(); }
    uint64_t Size() override { return bytes_.size(); }
    void Sync() override {}
    const std::string& path() const override { return path_; }

  private:
    std::string_view bytes_;
    std::string path_ = "fuzz.wsc";
};

struct Outcome {
    std::vector<WorldItem> items;
    std::string error;
    uint64_t skippedForType = 0, skippedInContainer = 0;
};

bool Same(const Outcome& a, const Outcome& b) {
    if (a.error != b.error || a.items.size() != b.items.size() ||
        a.skippedForType != b.skippedForType || a.skippedInContainer != b.skippedInContainer) {
        return false;
    }
    for (size_t i = 0; i < a.items.size(); ++i) {
        const WorldItem &p = a.items[i], &q = b.items[i];
        if (p.id != q.id || p.x != q.x || p.y != q.y || p.z != q.z || p.colour != q.colour ||
            p.line != q.line) {
            return false;
        }
    }
    return true;
}

// Both ways of reading refuse an item of this ID as a caller would, naming its line.
constexpr int32_t kRefusedId = 666;

void Refuse(const WorldItem& item) {
    if (item.id == kRefusedId)
        throw vorlak::Error::Overflow("refused on " + std::to_string(item.line));
}

Outcome ReadAll(std::string_view text, WorldFormat format, int32_t wanted,
                WorldReaderOptions options) {
    MemoryFile file(text);
    WorldReader reader(file, "fuzz.wsc", format, wanted, options);
    Outcome outcome;
    try {
        WorldItem item;
        while (reader.Next(item)) {
            Refuse(item);
            outcome.items.push_back(item);
        }
        outcome.skippedForType = reader.skippedForType();
        outcome.skippedInContainer = reader.skippedInContainer();
    } catch (const vorlak::Error& e) {
        outcome.error = e.what();
    }
    return outcome;
}

class Collect final : public vorlak::WorldItemSink {
  public:
    void StartPart(size_t part) override { parts.push_back({part, {}}); }
    void Take(const WorldItem& item) override {
        Refuse(item);
        parts.back().second.push_back(item);
    }
    void Clear() override { parts.clear(); }
    // Appends the items to `out` in the order of their parts, on the lines of the whole file.
    void AddTo(std::vector<WorldItem>& out, const std::vector<int64_t>& linesBefore) {
        std::sort(parts.begin(), parts.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [part, items] : parts) {
            for (WorldItem item : items) {
                item.line += linesBefore.at(part);
                out.push_back(item);
            }
        }
    }
    std::vector<std::pair<size_t, std::vector<WorldItem>>> parts;
};

Outcome ReadInParts(std::string_view text, WorldFormat format, int32_t wanted,
                    WorldReaderOptions options, uint64_t partBytes) {
    MemoryFile file(text);
    Collect first, second;
    Outcome outcome;
    try {
        vorlak::WorldItemsRead read = vorlak::ReadWorldItems(file, "fuzz.wsc", format, wanted,
                                                             first, second, options, partBytes);
        first.AddTo(outcome.items, read.linesBefore);
        second.AddTo(outcome.items, read.linesBefore);
        outcome.skippedForType = read.skippedForType;
        outcome.skippedInContainer = read.skippedInContainer;
    } catch (const vorlak::Error& e) {
        outcome.error = e.what();
    }
    return outcome;
}

void CheckValue(std::string_view raw) {
    std::string value;
    for (char c : raw) {
        if (c != ',' && c != '\n' && c != '\r') value += c;
    }
    std::string text = "SECTION WORLDITEM 1\nID 1\nCONT -1\nX " + value + "\n}\n";
    Outcome got = ReadAll(text, WorldFormat::kZedra3, -1, {text.size() + 1});
    bool fits = true;
    int32_t expected = 0;
    try {
        expected = vorlak::ToInt32(vorlak::NumericValue(value));
    } catch (const vorlak::Error&) {
        fits = false;
    }
    if (fits ? (got.items.size() != 1 || got.items[0].x != expected) : got.error.empty()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t control = data[0];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (control & 0x80) {
        CheckValue(text);
        return 0;
    }
    WorldFormat format = control & 1 ? WorldFormat::kSphere : WorldFormat::kZedra3;
    static constexpr int32_t kWanted[] = {-1, 255, 0, 7};
    int32_t wanted = kWanted[(control >> 1) & 3];
    size_t maxField = control & 8 ? 64 : size_t{1} << 20;
    size_t smallBuffer = 1 + ((control >> 4) & 7);
    // The whole input in one buffer, then in pieces of a few bytes.
    Outcome whole = ReadAll(text, format, wanted, {text.size() + 1, maxField});
    Outcome pieces = ReadAll(text, format, wanted, {smallBuffer, maxField});
    if (!Same(whole, pieces)) std::abort();
    // Read in parts, a failure is its message: what the sinks took before is theirs to drop.
    Outcome parts = ReadInParts(text, format, wanted, {smallBuffer, maxField}, 16 * smallBuffer);
    if (parts.error.empty() ? !Same(whole, parts) : parts.error != whole.error) std::abort();
    return 0;
}
