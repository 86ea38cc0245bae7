#include "statics/WorldReader.h"

#include <algorithm>
#include <cstring>

#include "mul/Error.h"
#include "mul/Numbers.h"

namespace vorlak {
namespace {

// Keys are compared on at most this many characters; fields are kept at least this long.
constexpr size_t kMinFieldBytes = 64;
constexpr size_t kShownValueBytes = 40;

constexpr char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// True when the field's first key.size() characters, in upper case, are the key.
bool HasKey(std::string_view field, std::string_view key) {
    if (field.size() < key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        if (Upper(field[i]) != key[i]) return false;
    }
    return true;
}

// The value of a plain decimal text of at most 9 digits ("1400", "-1", " 5", "7abc"), exactly as
// NumericValue and the whole-number conversion give it. Returns false for anything that might
// read otherwise (more digits, a decimal point, an exponent, blanks inside, "&H"), which then
// takes the general way. Most values of a world file are plain, and this keeps them cheap.
bool PlainWhole(std::string_view text, int32_t& out) {
    const char* p = text.data();
    const char* e = p + text.size();
    while (p != e && (*p == ' ' || *p == '\t')) ++p;
    bool negative = false;
    if (p != e && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    int32_t value = 0;
    while (p != e && *p >= '0' && *p <= '9' && p - digits < 9) {
        value = value * 10 + (*p - '0');
        ++p;
    }
    if (p == digits) return false;
    if (p != e) {
        switch (*p) {
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7':
            case '8':
            case '9':
            case '.':
            case 'E':
            case 'e':
            case 'D':
            case 'd':
            case ' ':
            case '\t':
            case '\r':
            case '\n':
                return false;
            default:
                break;
        }
    }
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

FieldReader::FieldReader(RandomAccessFile& file, size_t bufferBytes, size_t maxFieldBytes)
    : file_(file),
      buffer_(std::max<size_t>(bufferBytes, 1), '\0'),
      maxFieldBytes_(std::max(maxFieldBytes, kMinFieldBytes)) {}

bool FieldReader::Refill() {
    if (eof_) return false;
    size_t n =
        file_.ReadAt(fileOffset_, {reinterpret_cast<uint8_t*>(buffer_.data()), buffer_.size()});
    fileOffset_ += n;
    pos_ = 0;
    end_ = n;
    // ReadAt returns fewer bytes than asked only at the end of the file.
    if (n < buffer_.size()) eof_ = true;
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

void FieldReader::Finish(std::string_view text, bool atLineEnd) {
    if (atLineEnd && !dropped_ && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    truncated_ = dropped_ || text.size() > maxFieldBytes_;
    if (truncated_) text = text.substr(0, maxFieldBytes_);
    text_ = text;
}

bool FieldReader::Next() {
    if (pos_ == end_ && !Refill()) return false;
    scratch_.clear();
    dropped_ = false;
    line_ = nextLine_;
    for (;;) {
        while (pos_ < end_ && (buffer_[pos_] == ' ' || buffer_[pos_] == '\t')) ++pos_;
        if (pos_ < end_) break;
        if (!Refill()) {
            Finish({}, true);
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
        const char* p = b + pos_;
        const char* e = b + end_;
        while (p != e && *p != ',' && *p != '\n') ++p;
        auto stop = static_cast<size_t>(p - b);
        if (p != e) {
            bool lineEnd = *p == '\n';
            if (lineEnd) ++nextLine_;
            pos_ = stop + 1;
            if (copied) {
                Keep(start, stop);
                Finish(scratch_, lineEnd);
            } else {
                Finish({b + start, stop - start}, lineEnd);
            }
            return;
        }
        Keep(start, end_);
        copied = true;
        pos_ = end_;
        if (!Refill()) {
            Finish(scratch_, true);
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
                Finish(scratch_, false);
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
            Finish(scratch_, false);  // never closed: the field runs to the end of the file
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
            text_ = scratch_;
            copied = true;
        }
        if (!Refill()) return;
    }
}

WorldReader::WorldReader(RandomAccessFile& file, std::string name, WorldFormat format,
                         int32_t wantedType, WorldReaderOptions options)
    : fields_(file, options.bufferBytes, options.maxFieldBytes),
      name_(std::move(name)),
      format_(format),
      wantedType_(wantedType) {}

bool WorldReader::Next(WorldItem& item) {
    if (format_ == WorldFormat::kZedra3) {
        while (fields_.Next()) {
            if (Zedra3Field(item)) return true;
        }
    } else {
        while (fields_.Next()) {
            if (SphereField(item)) return true;
        }
    }
    return false;
}

// The keys are tested in a fixed order on every field; as no field can match two of them, the
// first character picks the one to test.
bool WorldReader::Zedra3Field(WorldItem& item) {
    std::string_view f = fields_.text();
    if (f.empty()) return false;
    switch (Upper(f[0])) {
        case 'I':
            if (HasKey(f, "ID ")) id_ = Whole(f, 3, "ID");
            break;
        case 'X':
            if (HasKey(f, "X ")) x_ = Whole(f, 2, "X");
            break;
        case 'Y':
            if (HasKey(f, "Y ")) y_ = Whole(f, 2, "Y");
            break;
        case 'Z':
            if (HasKey(f, "Z ")) z_ = Whole(f, 2, "Z");
            break;
        case 'T':
            if (HasKey(f, "TYPE ")) type_ = Whole(f, 5, "TYPE");
            break;
        case 'C':
            if (HasKey(f, "CONT ")) {
                container_ = Whole(f, 5, "CONT");
            } else if (HasKey(f, "COLOR ")) {
                colour_ = Colour(f, 6);
            }
            break;
        case 'S':
            if (HasKey(f, "SECTION WORLDITEM ")) StartSection();
            break;
        case '}':
            return Take(item);
        default:
            break;
    }
    return false;
}

bool WorldReader::SphereField(WorldItem& item) {
    std::string_view f = fields_.text();
    if (HasKey(f, "ID=")) id_ = SphereId(f);
    if (HasKey(f, "P=")) {
        // X, Y and Z stand in this field and the next two, wherever those are; the tests below
        // go on with the last of them.
        int64_t at = fields_.line();
        x_ = Whole(f, 2, "X");
        y_ = NextPositionValue("Y", at);
        z_ = NextPositionValue("Z", at);
        f = fields_.text();
    }
    if (HasKey(f, "TYPE=")) type_ = Whole(f, 5, "TYPE");
    if (HasKey(f, "[WORLDITEM ")) StartSection();
    return f.empty() && Take(item);
}

void WorldReader::StartSection() {
    container_ = -1;
    id_ = x_ = y_ = z_ = type_ = colour_ = 0;
    taken_ = false;
    sectionLine_ = fields_.line();
}

bool WorldReader::Take(WorldItem& item) {
    // Fields after a taken item still change its values; a second end marker in the same
    // section must not store it twice.
    if (taken_ || id_ == 0 || container_ != -1) return false;
    if (wantedType_ != -1 && type_ != wantedType_) return false;
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

int32_t WorldReader::Whole(std::string_view field, size_t keyBytes, std::string_view label) {
    CheckWhole(label);
    std::string_view value = field.substr(keyBytes);
    int32_t v;
    if (PlainWhole(value, v)) return v;
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

}  // namespace vorlak
