#include "statics/WorldReader.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

// The fast path cuts fields sixteen bytes a step with SSE2 and reads keys and numbers as
// little-endian words; every other build, and VORLAK_PORTABLE_WORLD_READER, takes the portable
// path, one byte at a time. The tests and the fuzzer run both.
#if defined(__SSE2__) && !defined(VORLAK_PORTABLE_WORLD_READER)
#define VORLAK_FAST_WORLD_READER 1
#include <emmintrin.h>
#endif

#include "mul/Error.h"
#include "mul/Numbers.h"

namespace vorlak {
namespace {

// Keys are compared on at most this many characters; fields are kept at least this long.
constexpr size_t kMinFieldBytes = 64;
constexpr size_t kShownValueBytes = 40;

constexpr size_t kWordBytes = 8;

#ifdef VORLAK_FAST_WORLD_READER
constexpr bool kFast = true;
static_assert(std::endian::native == std::endian::little,
              "the fast world-file path reads words as little-endian");
#else
constexpr bool kFast = false;
#endif

// The position of the first comma or LF in [from, end) of `b`, or `end` when there is none.
// Reads whole 8-byte words, so up to 7 bytes past `end` must be readable.
size_t FindFieldEnd(const char* b, size_t from, size_t end) {
    if constexpr (kFast) {
        constexpr uint64_t kOnes = 0x0101010101010101ull;
        constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
        // The high bit of every byte of `word` that equals `c`, and no other bit.
        auto equal = [](uint64_t word, uint8_t c) {
            uint64_t x = word ^ (kOnes * c);
            return ~(((x & kLow7) + kLow7) | x | kLow7);
        };
        for (size_t p = from; p < end; p += kWordBytes) {
            uint64_t word;
            std::memcpy(&word, b + p, kWordBytes);
            uint64_t hits = equal(word, ',') | equal(word, '\n');
            if (hits != 0) return std::min(p + std::countr_zero(hits) / 8, end);
        }
        return end;
    } else {
        size_t p = from;
        while (p < end && b[p] != ',' && b[p] != '\n') ++p;
        return p;
    }
}

constexpr size_t kChunkBytes = 64;

// Bit i is set when byte i of the 64 bytes at `p` is a comma or LF.
uint64_t ChunkMask(const char* p) {
    uint64_t mask = 0;
#ifdef VORLAK_FAST_WORLD_READER
    const __m128i comma = _mm_set1_epi8(','), lf = _mm_set1_epi8('\n');
    for (size_t i = 0; i < kChunkBytes; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, comma), _mm_cmpeq_epi8(bytes, lf));
        mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(hits))} << i;
    }
#else
    for (size_t i = 0; i < kChunkBytes; ++i) {
        if (p[i] == ',' || p[i] == '\n') mask |= uint64_t{1} << i;
    }
#endif
    return mask;
}

[[maybe_unused]] constexpr char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// A key of a world file, with its characters packed into words for a quick comparison. Letters
// are compared with bit 5 cleared, which matches exactly the letter and its lower-case form.
struct Key {
    static constexpr size_t kMaxBytes = 24;
    std::string_view text;
    std::array<uint64_t, kMaxBytes / kWordBytes> word{}, mask{};

    constexpr explicit Key(std::string_view key) : text(key) {
        for (size_t i = 0; i < key.size(); ++i) {
            auto c = static_cast<uint8_t>(key[i]);
            uint64_t m = c >= 'A' && c <= 'Z' ? 0xDF : 0xFF;
            word[i / kWordBytes] |= uint64_t{c} << (8 * (i % kWordBytes));
            mask[i / kWordBytes] |= m << (8 * (i % kWordBytes));
        }
    }
};

constexpr Key kZedra3Id("ID "), kZedra3X("X "), kZedra3Y("Y "), kZedra3Z("Z "),
    kZedra3Type("TYPE "), kZedra3Cont("CONT "), kZedra3Color("COLOR "),
    kZedra3Section("SECTION WORLDITEM ");
constexpr Key kSphereId("ID="), kSphereP("P="), kSphereType("TYPE="), kSphereSection("[WORLDITEM ");

// The first n bytes at p, 1 <= n <= 8, as a little-endian word, read in at most two loads.
template <size_t n>
uint64_t LoadPrefix(const char* p) {
    if constexpr (n == 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    } else if constexpr (n >= 4) {
        uint32_t low, high;  // overlapping when n < 8; the shared bytes are equal
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + n - 4, 4);
        return uint64_t{low} | uint64_t{high} << (8 * (n - 4));
    } else if constexpr (n >= 2) {
        uint16_t low, high;
        std::memcpy(&low, p, 2);
        std::memcpy(&high, p + n - 2, 2);
        return uint64_t{low} | uint64_t{high} << (8 * (n - 2));
    } else {
        return static_cast<uint8_t>(p[0]);
    }
}

template <const Key& key, size_t from = 0>
bool KeyWordsMatch(const char* p) {
    constexpr size_t n = key.text.size();
    if constexpr (from >= n) {
        return true;
    } else {
        constexpr size_t w = from / kWordBytes;
        if ((LoadPrefix<std::min(kWordBytes, n - from)>(p + from) & key.mask[w]) != key.word[w]) {
            return false;
        }
        return KeyWordsMatch<key, from + kWordBytes>(p);
    }
}

// True when the field's first characters, in upper case, are the key.
template <const Key& key>
bool HasKey(std::string_view field) {
    if (field.size() < key.text.size()) return false;
    if constexpr (kFast) {
        return KeyWordsMatch<key>(field.data());
    } else {
        for (size_t i = 0; i < key.text.size(); ++i) {
            if (Upper(field[i]) != key.text[i]) return false;
        }
        return true;
    }
}

// The value of a plain decimal text of at most 7 digits ("1400", "-1", "7abc"), exactly as
// NumericValue and the whole-number conversion give it. Returns false for anything that might
// read otherwise (more digits, blanks, a decimal point, an exponent, "&H"), which then takes the
// general way. Most values of a world file are plain, and this keeps them cheap: the digits are
// found and added up eight bytes at a time, so `text` must be followed by at least 8 readable
// bytes, as every field of a FieldReader is.
inline bool PlainWhole(std::string_view text, int32_t& out) {
    // Characters after the digits that could still change the number.
    static constexpr auto kContinues = [] {
        std::array<bool, 256> t{};
        for (unsigned char c : std::string_view("0123456789.EeDd \t\r\n")) t[c] = true;
        return t;
    }();
    const char* p = text.data();
    size_t size = text.size();
    bool negative = false;
    if (size > 0 && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
        --size;
    }
    size_t digits = 0;
    int32_t value = 0;
    if constexpr (kFast) {
        uint64_t w;
        std::memcpy(&w, p, kWordBytes);
        // The high bit of each byte that is no digit; exact for the first of them, which is all
        // that counts (borrows and carries only run towards later bytes).
        uint64_t d = w - 0x3030303030303030ull;
        uint64_t other = (d | (d + 0x7676767676767676ull)) & 0x8080808080808080ull;
        digits = other == 0 ? kWordBytes : static_cast<size_t>(std::countr_zero(other)) / 8;
        digits = std::min(digits, size);
        if (digits == 0 || digits == kWordBytes) return false;
        // Digits to the top bytes (zeros before them), then pairs, fours and eights added up.
        uint64_t v = (w & 0x0F0F0F0F0F0F0F0Full) << (8 * (kWordBytes - digits));
        v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
        v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
        v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
        value = static_cast<int32_t>(v);
    } else {
        while (digits < size && digits < 7 && static_cast<unsigned char>(p[digits] - '0') < 10) {
            value = value * 10 + (p[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits == 7) return false;
    }
    if (digits < size && kContinues[static_cast<unsigned char>(p[digits])]) return false;
    out = negative ? -value : value;
    return true;
}

// A value as it may be shown in a message: printable, and not too long.
std::string Shown(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    std::string shown;
    for (char c : value.substr(0, kShownValueBytes)) {
        auto u = static_cast<unsigned char>(c);
        shown += u >= 0x20 && u < 0x7F ? c : '?';
    }
    if (value.size() > kShownValueBytes) shown += "...";
    if (shown.empty()) shown = "(empty)";
    return shown;
}

}  // namespace

FieldReader::FieldReader(RandomAccessFile& file, size_t bufferBytes, size_t maxFieldBytes,
                         int64_t firstLine)
    : file_(file),
      buffer_(std::max<size_t>(bufferBytes, 1) + kChunkBytes, '\0'),
      capacity_(std::max<size_t>(bufferBytes, 1)),
      maxFieldBytes_(std::max(maxFieldBytes, kMinFieldBytes)),
      nextLine_(firstLine) {}

bool FieldReader::Refill() {
    if (eof_) return false;
    size_t n = file_.ReadAt(fileOffset_, {reinterpret_cast<uint8_t*>(buffer_.data()), capacity_});
    fileOffset_ += n;
    pos_ = 0;
    end_ = n;
    // ReadAt returns fewer bytes than asked only at the end of the file.
    if (n < capacity_) eof_ = true;
    return n > 0;
}

void FieldReader::Keep(size_t from, size_t to) {
    // One byte more than the limit is kept, so that a CR before the line end can still be told
    // from a field that is too long.
    size_t room = maxFieldBytes_ + 1 - scratch_.size();
    size_t n = to - from;
    if (n > room) {
        n = room;
        dropped_ = true;
    }
    scratch_.append(buffer_.data() + from, n);
}

std::string_view FieldReader::PaddedScratch() {
    size_t n = scratch_.size();
    scratch_.append(kFieldPadding, '\0');
    return {scratch_.data(), n};
}

void FieldReader::Finish(std::string_view text, bool atLineEnd) {
    if (atLineEnd && !dropped_ && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    truncated_ = dropped_ || text.size() > maxFieldBytes_;
    if (truncated_) text = text.substr(0, maxFieldBytes_);
    text_ = text;
}

bool FieldReader::NextInChunks() {
    if (maskValid_) {
        const char* b = buffer_.data();
        for (;;) {
            if (mask_ != 0) {
                size_t stop = maskBase_ + static_cast<size_t>(std::countr_zero(mask_));
                if (stop >= end_) break;
                size_t start = pos_;
                while (start < stop && (b[start] == ' ' || b[start] == '\t')) ++start;
                if ((start < stop && b[start] == '"') || stop - start > maxFieldBytes_) break;
                mask_ &= mask_ - 1;
                line_ = nextLine_;
                size_t length = stop - start;
                if (b[stop] == '\n') {
                    ++nextLine_;
                    if (length > 0 && b[stop - 1] == '\r') --length;
                }
                text_ = {b + start, length};
                truncated_ = false;
                pos_ = stop + 1;
                return true;
            }
            if (maskBase_ + kChunkBytes >= end_) break;
            maskBase_ += kChunkBytes;
            mask_ = ChunkMask(b + maskBase_);
        }
    }
    bool more = NextSlow();
    // Start the masks again where the slow way stopped.
    maskValid_ = pos_ < end_;
    mask_ = 0;
    if (maskValid_) {
        maskBase_ = pos_;
        mask_ = ChunkMask(buffer_.data() + pos_);
    }
    return more;
}

bool FieldReader::NextSlow() {
    if (pos_ == end_ && !Refill()) return false;
    scratch_.clear();
    dropped_ = false;
    line_ = nextLine_;
    for (;;) {
        while (pos_ < end_ && (buffer_[pos_] == ' ' || buffer_[pos_] == '\t')) ++pos_;
        if (pos_ < end_) break;
        if (!Refill()) {
            Finish({buffer_.data() + pos_, 0}, true);
            return true;
        }
    }
    if (buffer_[pos_] == '"') {
        ++pos_;
        ReadQuoted();
    } else {
        ReadPlain();
    }
    return true;
}

void FieldReader::ReadPlain() {
    size_t start = pos_;
    bool copied = false;
    for (;;) {
        const char* b = buffer_.data();
        size_t stop = FindFieldEnd(b, pos_, end_);
        if (stop != end_) {
            bool lineEnd = b[stop] == '\n';
            if (lineEnd) ++nextLine_;
            pos_ = stop + 1;
            if (copied) {
                Keep(start, stop);
                Finish(PaddedScratch(), lineEnd);
            } else {
                Finish({b + start, stop - start}, lineEnd);
            }
            return;
        }
        Keep(start, end_);
        copied = true;
        pos_ = end_;
        if (!Refill()) {
            Finish(PaddedScratch(), true);
            return;
        }
        start = 0;
    }
}

void FieldReader::ReadQuoted() {
    size_t start = pos_;
    bool copied = false;
    for (;;) {
        const char* b = buffer_.data();
        const char* p = b + pos_;
        const char* e = b + end_;
        const char* quote =
            static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(e - p)));
        const char* stopAt = quote ? quote : e;
        nextLine_ += std::count(p, stopAt, '\n');
        auto stop = static_cast<size_t>(stopAt - b);
        if (quote) {
            pos_ = stop + 1;
            if (copied) {
                Keep(start, stop);
                Finish(PaddedScratch(), false);
            } else {
                Finish({b + start, stop - start}, false);
            }
            SkipRest(copied);
            return;
        }
        Keep(start, end_);
        copied = true;
        pos_ = end_;
        if (!Refill()) {
            Finish(PaddedScratch(), false);  // never closed: the field runs to the end of the file
            unclosedQuote_ = true;
            return;
        }
        start = 0;
    }
}

void FieldReader::SkipRest(bool copied) {
    for (;;) {
        while (pos_ < end_ && buffer_[pos_] != ',' && buffer_[pos_] != '\n') ++pos_;
        if (pos_ < end_) {
            if (buffer_[pos_] == '\n') ++nextLine_;
            ++pos_;
            return;
        }
        if (!copied) {
            // The field still lies in the buffer that is about to be refilled.
            scratch_.assign(text_);
            text_ = PaddedScratch();
            copied = true;
        }
        if (!Refill()) return;
    }
}

template <class Visit>
bool FieldReader::Scan(const std::array<bool, 256>& passed, Visit&& visit) {
    // The reader's state is kept in locals while plain fields follow each other.
    const char* b = buffer_.data();
    size_t pos = pos_, base = maskBase_, end = end_;
    uint64_t mask = mask_;
    int64_t nextLine = nextLine_;
    for (;;) {
        std::string_view text;
        size_t stop = base + static_cast<size_t>(std::countr_zero(mask));  // 64 when mask is 0
        size_t start = pos;
        bool plain = false;
        if (mask != 0 && stop < end) {
            auto first = static_cast<unsigned char>(b[pos]);
            // A field passed over needs neither its blanks skipped nor its length checked.
            if (passed[first]) {
                mask &= mask - 1;
                nextLine += b[stop] == '\n';
                pos = stop + 1;
                continue;
            }
            if (first <= ' ' || first == '"') {
                while (start < stop && (b[start] == ' ' || b[start] == '\t')) ++start;
                plain = !(start < stop && b[start] == '"');
            } else {
                plain = true;
            }
            plain = plain && stop - start <= maxFieldBytes_;
        }
        if (plain) {
            mask &= mask - 1;
            line_ = nextLine;
            bool lineEnd = b[stop] == '\n';
            nextLine += lineEnd;
            size_t length = stop - start - (lineEnd && stop > start && b[stop - 1] == '\r');
            pos = stop + 1;
            text = text_ = std::string_view(b + start, length);
            truncated_ = false;
        } else if (mask == 0 && maskValid_ && base + kChunkBytes < end) {
            base += kChunkBytes;
            mask = ChunkMask(b + base);
            continue;
        } else {
            pos_ = pos;
            maskBase_ = base;
            mask_ = mask;
            nextLine_ = nextLine;
            if (!Next()) return false;
            text = text_;
            b = buffer_.data();
            pos = pos_, base = maskBase_, end = end_;
            mask = mask_;
            nextLine = nextLine_;
        }
        if (visit(text)) {
            pos_ = pos;
            maskBase_ = base;
            mask_ = mask;
            nextLine_ = nextLine;
            return true;
        }
    }
}

WorldReader::WorldReader(RandomAccessFile& file, std::string name, WorldFormat format,
                         int32_t wantedType, WorldReaderOptions options)
    : fields_(file, options.bufferBytes, options.maxFieldBytes, options.firstLine),
      name_(std::move(name)),
      format_(format),
      wantedType_(wantedType) {}

// The first characters of the Zedra3 keys, in either case, and of the end marker, as the number
// of the key in this list, from 1.
constexpr std::string_view kZedra3Starts = "IXYZTCS}";
constexpr auto kZedra3KeyStart = [] {
    std::array<uint8_t, 256> key{};
    for (size_t i = 0; i < kZedra3Starts.size(); ++i) {
        auto c = static_cast<unsigned char>(kZedra3Starts[i]);
        key[c] = key[c | 0x20] = static_cast<uint8_t>(i + 1);
    }
    return key;
}();
constexpr uint8_t Start(char c) { return static_cast<uint8_t>(kZedra3Starts.find(c) + 1); }

// The first characters of the Zedra3 fields that Zedra3Field ignores: all but those above, and
// but blanks and quotation marks, after which a key may still stand.
constexpr auto kZedra3Passed = [] {
    std::array<bool, 256> passed{};
    for (size_t c = 0; c < passed.size(); ++c) passed[c] = kZedra3KeyStart[c] == 0;
    for (unsigned char c : std::string_view(" \t\"")) passed[c] = false;
    return passed;
}();

void WorldReader::ReadInto(WorldItemSink& sink, const std::atomic<bool>* cancel) {
    auto cancelled = [cancel] {
        return cancel != nullptr && cancel->load(std::memory_order_relaxed);
    };
    WorldItem item;
    if (format_ == WorldFormat::kZedra3) {
        // The items are handed on from inside the scan, which keeps its place in registers.
        bool ended = !fields_.Scan(kZedra3Passed, [&](std::string_view f) {
            if (!Zedra3Field(f, item)) return false;
            if (cancelled()) return true;
            sink.Take(item);
            return false;
        });
        if (ended) EndSection();
        return;
    }
    while (Next(item)) {
        if (cancelled()) return;
        sink.Take(item);
    }
}

bool WorldReader::Next(WorldItem& item) {
    if (format_ == WorldFormat::kZedra3) {
        if (fields_.Scan(kZedra3Passed,
                         [this, &item](std::string_view f) { return Zedra3Field(f, item); })) {
            return true;
        }
    } else {
        while (fields_.Next()) {
            if (SphereField(item)) return true;
        }
        // The end of the file ends the last item section too.
        if (inItem_ && EndSphereItem(item)) return true;
    }
    EndSection();
    return false;
}

// The keys are tested in a fixed order on every field; as no field can match two of them, the
// first character picks the one to test. Inlined into the scan, which calls it for most fields.
[[gnu::always_inline]] inline bool WorldReader::Zedra3Field(std::string_view f, WorldItem& item) {
    if (f.empty()) return false;
    // The whole-number keys share one reading of their value.
    int32_t* value;
    size_t keyBytes;
    std::string_view label;
    switch (kZedra3KeyStart[static_cast<unsigned char>(f[0])]) {
        case Start('I'):
            if (!HasKey<kZedra3Id>(f)) return false;
            value = &id_, keyBytes = 3, label = "ID";
            break;
        case Start('X'):
            if (!HasKey<kZedra3X>(f)) return false;
            value = &x_, keyBytes = 2, label = "X";
            break;
        case Start('Y'):
            if (!HasKey<kZedra3Y>(f)) return false;
            value = &y_, keyBytes = 2, label = "Y";
            break;
        case Start('Z'):
            if (!HasKey<kZedra3Z>(f)) return false;
            value = &z_, keyBytes = 2, label = "Z";
            break;
        case Start('T'):
            if (!HasKey<kZedra3Type>(f)) return false;
            value = &type_, keyBytes = 5, label = "TYPE";
            break;
        case Start('C'):
            if (!HasKey<kZedra3Cont>(f)) {
                if (HasKey<kZedra3Color>(f)) colour_ = Colour(f, 6);
                return false;
            }
            // Items on the ground, most of a world file, read "CONT -1".
            if (f.size() == 7 && f[5] == '-' && f[6] == '1') {
                container_ = -1;
                return false;
            }
            value = &container_, keyBytes = 5, label = "CONT";
            break;
        case Start('S'):
            if (HasKey<kZedra3Section>(f)) StartSection();
            return false;
        case Start('}'):
            return Take(item);
        default:
            return false;
    }
    *value = Whole(f, keyBytes, label);
    return false;
}

bool WorldReader::SphereLineStart() {
    // A field that starts a line lies on a later line than the field before it.
    bool start = fields_.line() != lastLine_;
    lastLine_ = fields_.line();
    return start;
}

bool WorldReader::SphereField(WorldItem& item) {
    std::string_view f = fields_.text();
    bool lineStart = SphereLineStart();
    if (HasKey<kSphereId>(f)) id_ = SphereId(f);
    if (HasKey<kSphereP>(f)) {
        // X, Y and Z stand in this field and the next two, wherever those are; the tests below
        // go on with the last of them.
        int64_t at = fields_.line();
        x_ = Whole(f, 2, "X");
        y_ = NextPositionValue("Y", at);
        SphereLineStart();
        z_ = NextPositionValue("Z", at);
        lineStart = SphereLineStart();
        f = fields_.text();
    }
    if (HasKey<kSphereType>(f)) type_ = Whole(f, 5, "TYPE");
    const bool itemHeader = HasKey<kSphereSection>(f);
    if (itemHeader || (lineStart && !f.empty() && f[0] == '[')) {
        // A header ends the item section before it, whatever its own kind.
        bool taken = inItem_ && EndSphereItem(item);
        if (itemHeader) {
            StartSection();
            inItem_ = true;
        }
        return taken;
    }
    return f.empty() && inItem_ && EndSphereItem(item);
}

bool WorldReader::EndSphereItem(WorldItem& item) {
    inItem_ = false;
    bool taken = Take(item);
    EndSection();
    return taken;
}

void WorldReader::EndSection() {
    if (!taken_) {
        if (skip_ == Skip::kType) ++skippedForType_;
        if (skip_ == Skip::kContainer) ++skippedInContainer_;
    }
    skip_ = Skip::kNone;
}

void WorldReader::StartSection() {
    EndSection();
    container_ = -1;
    id_ = x_ = y_ = z_ = type_ = colour_ = 0;
    taken_ = false;
    sectionLine_ = fields_.line();
}

bool WorldReader::Take(WorldItem& item) {
    // Fields after a taken item still change its values; a second end marker in the same
    // section must not store it twice.
    if (taken_ || id_ == 0) return false;
    // Only items of a section are counted as skipped: before the first header the container is 0.
    if (container_ != -1) {
        if (sectionLine_ > 0) skip_ = Skip::kContainer;
        return false;
    }
    if (wantedType_ != -1 && type_ != wantedType_) {
        skip_ = Skip::kType;
        return false;
    }
    taken_ = true;
    item.id = id_;
    item.x = x_;
    item.y = y_;
    item.z = z_;
    item.colour = static_cast<int16_t>(colour_);
    item.line = sectionLine_;
    return true;
}

std::string WorldReader::Where() const { return Where(fields_.line()); }

std::string WorldReader::Where(int64_t line) const {
    return " on line " + std::to_string(line) + " of " + name_;
}

void WorldReader::CheckWhole(std::string_view label) {
    if (fields_.truncated()) {
        throw Error::Corrupt("the " + std::string(label) + " value" + Where() + " is longer than " +
                             std::to_string(fields_.text().size()) + " characters");
    }
}

[[gnu::always_inline]] inline int32_t WorldReader::Whole(std::string_view field, size_t keyBytes,
                                                         std::string_view label) {
    int32_t v;
    if (!fields_.truncated() && PlainWhole(field.substr(keyBytes), v)) return v;
    return WholeSlow(field.substr(keyBytes), label);
}

int32_t WorldReader::WholeSlow(std::string_view value, std::string_view label) {
    CheckWhole(label);
    try {
        return ToInt32(NumericValue(value));
    } catch (const Error&) {
        throw Error::Overflow("the " + std::string(label) + " value " + Shown(value) + Where() +
                              " does not fit in -2147483648..2147483647");
    }
}

int32_t WorldReader::Colour(std::string_view field, size_t keyBytes) {
    CheckWhole("COLOR");
    std::string_view value = field.substr(keyBytes);
    int32_t v;
    if (PlainWhole(value, v) && v >= -32768 && v <= 32767) return v;
    try {
        return ToInt16(NumericValue(value));
    } catch (const Error&) {
        throw Error::Overflow("the COLOR value " + Shown(value) + Where() +
                              " does not fit in -32768..32767");
    }
}

int32_t WorldReader::SphereId(std::string_view field) {
    CheckWhole("ID");
    // The value is hexadecimal without its "&H".
    hexText_.assign("&H");
    hexText_.append(field.substr(3));
    try {
        return ToInt32(NumericValue(hexText_));
    } catch (const Error&) {
        throw Error::Overflow("the ID value " + Shown(field.substr(3)) + Where() +
                              " does not fit in -2147483648..2147483647");
    }
}

int32_t WorldReader::NextPositionValue(std::string_view label, int64_t positionLine) {
    if (!fields_.Next()) {
        throw Error::Corrupt("the position" + Where(positionLine) +
                             " is cut short by the end of the file");
    }
    return Whole(fields_.text(), 0, label);
}

namespace {

// The bytes of another file from `begin`, up to `end` at most, as a file of their own, for
// reading only: from two threads at once when the other file allows that.
class FilePart final : public RandomAccessFile {
  public:
    FilePart(RandomAccessFile& file, uint64_t begin, uint64_t end)
        : file_(file), begin_(begin), end_(end) {}
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        uint64_t length = end_ - begin_;
        uint64_t left = length - std::min(offset, length);
        return file_.ReadAt(begin_ + offset, out.first(std::min<uint64_t>(out.size(), left)));
    }
    void WriteAt(uint64_t, std::span<const uint8_t>) override {
        throw Error::Io("a part of " + file_.path() + " cannot be written");
    }
    uint64_t Size() override {
        uint64_t size = std::min(file_.Size(), end_);
        return size > begin_ ? size - begin_ : 0;
    }
    void Sync() override {}
    const std::string& path() const override { return file_.path(); }

  private:
    RandomAccessFile& file_;
    uint64_t begin_, end_;
};

// Where a part of the file from `offset` on starts: at the first item section header whole in a
// window read there, with its key as servers write it. 0 when there is none.
uint64_t PartStart(RandomAccessFile& file, uint64_t offset) {
    constexpr std::string_view kHeader = "\nSECTION WORLDITEM ";
    constexpr size_t kWindowBytes = 16384;
    std::string window(kWindowBytes, '\0');
    size_t n = file.ReadAt(offset, {reinterpret_cast<uint8_t*>(window.data()), window.size()});
    size_t at = std::string_view(window.data(), n).find(kHeader);
    return at == std::string_view::npos ? 0 : offset + at + 1;
}

}  // namespace

WorldItemsRead ReadWorldItems(RandomAccessFile& file, const std::string& name, WorldFormat format,
                              int32_t wantedType, WorldItemSink& first, WorldItemSink& second,
                              WorldReaderOptions options, uint64_t partBytes) {
    auto readAll = [&]() {
        WorldReader reader(file, name, format, wantedType, options);
        first.StartPart(0);
        reader.ReadInto(first);
        return WorldItemsRead{reader.skippedForType(), reader.skippedInContainer(), {0}};
    };
    // Where each part starts, and then where the file ends. Each part but the first starts at an
    // item section header, which starts its section afresh, and the end of a part ends the section
    // before it: so the parts read as the whole file does unless a quoted value is open at the end
    // of one. A header found twice starts one part.
    std::vector<uint64_t> starts{0};
    if (format == WorldFormat::kZedra3) {
        constexpr uint64_t kMostParts = 4096;
        const uint64_t size = file.Size();
        const uint64_t parts = std::min(size / std::max<uint64_t>(partBytes, 1), kMostParts);
        for (uint64_t k = 1; k < parts; ++k) {
            uint64_t at = PartStart(file, size / parts * k);
            if (at > starts.back()) starts.push_back(at);
        }
    }
    const size_t parts = starts.size();
    if (parts < 2) return readAll();
    starts.push_back(std::numeric_limits<uint64_t>::max());

    struct Part {
        uint64_t skippedForType = 0, skippedInContainer = 0;
        int64_t lines = 0;
        bool whole = false;  // read to its end, with no quotation open there
    };
    std::vector<Part> read(parts);
    std::mutex taking;
    size_t low = 0, high = parts;  // the parts not taken yet
    std::atomic<bool> failed = false;
    auto readParts = [&](WorldItemSink& sink, bool fromEnd) {
        for (;;) {
            size_t k;
            {
                std::lock_guard lock(taking);
                if (low == high || failed) return;
                k = fromEnd ? --high : low++;
            }
            try {
                FilePart part(file, starts[k], starts[k + 1]);
                WorldReader reader(part, name, format, wantedType, options);
                sink.StartPart(k);
                reader.ReadInto(sink, &failed);
                read[k] = {reader.skippedForType(), reader.skippedInContainer(),
                           reader.nextLine() - options.firstLine, !reader.unclosedQuote()};
            } catch (...) {
                failed = true;
                return;
            }
        }
    };
    std::thread other;
    try {
        other = std::thread(readParts, std::ref(second), true);
    } catch (const std::system_error&) {
        return readAll();  // no second thread to be had
    }
    readParts(first, false);
    other.join();
    WorldItemsRead total;
    int64_t lines = 0;
    for (const Part& part : read) {
        if (!part.whole) {
            // A part failed, or a quoted value runs on past its end in the whole file (the
            // last part's too, which is rare enough to be read again all the same).
            first.Clear();
            second.Clear();
            return readAll();
        }
        total.skippedForType += part.skippedForType;
        total.skippedInContainer += part.skippedInContainer;
        total.linesBefore.push_back(lines);
        lines += part.lines;
    }
    return total;
}

}  // namespace vorlak
