// Reading the items of a world file: the item world file of the Zedra3 server and the world save
// of the Sphere server. Both formats are laid out in docs/world-files.md.
//
// Reading streams through one read buffer: memory does not grow with the file. A field that runs
// past the buffer is copied aside, at most maxFieldBytes of it; a longer field can still end an
// item or be skipped, but a value that must be read from it fails the read.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mul/File.h"

namespace vorlak {

// Cuts a text file into fields, the way both world formats are read:
//  - a field ends at a comma or at the end of its line (LF, or CR LF); neither belongs to it;
//  - blanks (spaces, tabs) at its start are skipped, so a blank line gives one empty field;
//  - a field that begins with a double quotation mark runs to the next one, commas and line ends
//    included; the marks are not part of it, and what follows the closing mark up to the next
//    comma or line end is dropped. A mark that is never closed runs to the end of the file.
// After a comma or line end that is the last byte of the file, there is no further field.
class FieldReader {
  public:
    // `file` must outlive the reader.
    FieldReader(RandomAccessFile& file, size_t bufferBytes, size_t maxFieldBytes,
                int64_t firstLine = 1);

    // Reads the next field. Returns false when the last field has been read. Throws Error (kIo)
    // when the file cannot be read.
    bool Next();

    // Reads the following fields as Next() does and calls visit(text) on each, until visit
    // returns true (then returns true) or the last field has been read (then returns false).
    // While visit runs, text(), truncated() and line() describe its field. A field whose first
    // character is marked in `passed` is read past without a call; blanks and quotation marks
    // must not be marked. Faster than Next() in a loop: runs of plain fields are cut without
    // leaving the loop.
    template <class Visit>
    bool Scan(const std::array<bool, 256>& passed, Visit&& visit);

    // The field last read; valid until the next call of Next(). When truncated(), it holds only
    // the first maxFieldBytes characters.
    std::string_view text() const { return text_; }
    bool truncated() const { return truncated_; }
    // Line (from 1) on which the field starts.
    int64_t line() const { return line_; }
    // Line on which the next field would start.
    int64_t nextLine() const { return nextLine_; }
    // True when the file ended inside a quotation that was never closed.
    bool unclosedQuote() const { return unclosedQuote_; }

  private:
    bool NextInChunks();
    bool NextSlow();
    bool Refill();
    void Keep(size_t from, size_t to);
    void ReadPlain();
    void ReadQuoted();
    void SkipRest(bool copied);
    void Finish(std::string_view text, bool atLineEnd);
    std::string_view PaddedScratch();

    RandomAccessFile& file_;
    std::string buffer_;  // capacity_ bytes read from the file, then 64 bytes of padding
    size_t capacity_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t fileOffset_ = 0;
    bool eof_ = false;
    bool unclosedQuote_ = false;
    // Commas and LFs of the 64 bytes from maskBase_ that lie at pos_ or later, one bit each;
    // 0 when the masks are not valid.
    uint64_t mask_ = 0;
    size_t maskBase_ = 0;
    bool maskValid_ = false;

    // Every field handed out is followed by this many readable bytes, so that values can be
    // read a word at a time.
    static constexpr size_t kFieldPadding = 8;
    size_t maxFieldBytes_;
    std::string scratch_;   // a field that runs past the end of the buffer
    bool dropped_ = false;  // scratch_ is full: bytes of the field were dropped
    std::string_view text_;
    bool truncated_ = false;
    int64_t line_ = 0;
    int64_t nextLine_;
};

// Most fields start with neither a blank nor a quotation mark and end inside the buffer, at the
// next comma or LF that the mask of the current 64-byte chunk holds.
inline bool FieldReader::Next() {
    if (mask_ != 0) {
        const char* b = buffer_.data();
        size_t stop = maskBase_ + static_cast<size_t>(std::countr_zero(mask_));
        char first = b[pos_];
        if (stop < end_ && stop - pos_ <= maxFieldBytes_ && first != ' ' && first != '\t' &&
            first != '"') {
            mask_ &= mask_ - 1;
            line_ = nextLine_;
            size_t length = stop - pos_;
            if (b[stop] == '\n') {
                ++nextLine_;
                if (length > 0 && b[stop - 1] == '\r') --length;
            }
            text_ = {b + pos_, length};
            truncated_ = false;
            pos_ = stop + 1;
            return true;
        }
    }
    return NextInChunks();
}

enum class WorldFormat { kZedra3, kSphere };

class WorldItemSink;

// One item taken from a world file.
struct WorldItem {
    int32_t id = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    int16_t colour = 0;  // always 0 in the Sphere format
    int64_t line = 0;    // line of the section header that opened the item
};

struct WorldReaderOptions {
    size_t bufferBytes = size_t{1} << 20;
    size_t maxFieldBytes = size_t{1} << 20;
    // The number of the file's first line: above 1 for a part cut from a longer file.
    int64_t firstLine = 1;
};

// Hands out the items of a world file that the freeze job takes: items with an ID other than 0,
// of the wanted type (-1: any type), and, in the Zedra3 format, lying on the ground (container
// -1). Each item section yields at most one item. A Sphere item section ends at its first blank
// line, at the next section header of any kind (a line that starts with "[") or at the end of the
// file; sections of other kinds never yield an item.
class WorldReader {
  public:
    // `file` must outlive the reader; `name` is used in messages.
    WorldReader(RandomAccessFile& file, std::string name, WorldFormat format, int32_t wantedType,
                WorldReaderOptions options = {});

    // Reads on up to the next item taken and stores it in `item`. Returns false at the end of the
    // file. Throws Error::Overflow for a number that does not fit its value and Error::Corrupt for
    // a position cut short by the end of the file or a value longer than maxFieldBytes; the
    // message names the value and its line.
    bool Next(WorldItem& item);
    // Reads on to the end of the file as Next() does, handing each item taken to sink.Take(), and
    // throws what Next() and Take() throw; after a throw the reader is not to be used again.
    // Returns early, with an item read but not handed on, once `cancel` is set.
    void ReadInto(WorldItemSink& sink, const std::atomic<bool>* cancel = nullptr);

    // Item sections that ended without giving an item although they had an ID: of another type
    // than the wanted one, or (Zedra3) lying in a container. Counted as their sections end.
    uint64_t skippedForType() const { return skippedForType_; }
    uint64_t skippedInContainer() const { return skippedInContainer_; }
    // Line on which the next field would start: after the end, one more than the file's lines.
    int64_t nextLine() const { return fields_.nextLine(); }
    // True when the file ended inside a quoted value: a file that went on would read otherwise.
    bool unclosedQuote() const { return fields_.unclosedQuote(); }

  private:
    enum class Skip : uint8_t { kNone, kType, kContainer };

    bool EndSphereItem(WorldItem& item);
    void EndSection();
    bool SphereLineStart();
    bool Zedra3Field(std::string_view field, WorldItem& item);
    bool SphereField(WorldItem& item);
    void StartSection();
    bool Take(WorldItem& item);
    int32_t Whole(std::string_view field, size_t keyBytes, std::string_view label);
    int32_t WholeSlow(std::string_view value, std::string_view label);
    int32_t Colour(std::string_view field, size_t keyBytes);
    int32_t SphereId(std::string_view field);
    int32_t NextPositionValue(std::string_view label, int64_t positionLine);
    std::string Where() const;
    std::string Where(int64_t line) const;
    void CheckWhole(std::string_view label);

    FieldReader fields_;
    std::string name_;
    WorldFormat format_;
    int32_t wantedType_;

    // The current item. Before the first section header the container is 0, so nothing is taken.
    int32_t id_ = 0, x_ = 0, y_ = 0, z_ = 0, type_ = 0, container_ = 0;
    int32_t colour_ = 0;
    bool taken_ = false;
    bool inItem_ = false;  // Sphere: inside an item section that has not ended yet
    Skip skip_ = Skip::kNone;
    uint64_t skippedForType_ = 0, skippedInContainer_ = 0;
    int64_t lastLine_ = 0;  // Sphere: the line of the field read before
    int64_t sectionLine_ = 0;
    std::string hexText_;  // reused for the Sphere ID
};

// Takes the items of parts of a world file from ReadWorldItems.
class WorldItemSink {
  public:
    virtual ~WorldItemSink() = default;
    // The items taken from here on, up to the next call, come from part `part` of the file (the
    // parts are numbered from 0 in file order), with lines counted from the part's start.
    virtual void StartPart(size_t part) = 0;
    virtual void Take(const WorldItem& item) = 0;
    // Drops the items taken: the file is read once more.
    virtual void Clear() = 0;
};

struct WorldItemsRead {
    uint64_t skippedForType = 0;
    uint64_t skippedInContainer = 0;
    // For each part, the lines of the file before it: added to the lines of its items, gives
    // their lines in the file.
    std::vector<int64_t> linesBefore;
};

// Reads the items of `file` exactly as one WorldReader with these arguments hands them out, and
// throws what it would throw, or what a sink throws for the first item it refuses. A Zedra3 file
// of at least twice `partBytes` bytes is cut into parts of about that size, each starting at an
// item section header, and read on two threads at once: `first` takes the parts from the start
// of the file on this thread, in ascending order, while `second` takes them from the end on
// another thread, in descending order, until the two meet. So every part `first` takes lies
// before every part `second` takes, and the faster thread reads more of them. When that cannot
// stand for the whole (a quotation open at the end of a part, a failure in any part), the file is
// read again on this thread, from Clear(), so that messages give the right line. Otherwise, and
// for a smaller file, `first` takes all items as part 0. `file` is read from both threads at
// once, by offset, which the files of a FileSystem allow.
WorldItemsRead ReadWorldItems(RandomAccessFile& file, const std::string& name, WorldFormat format,
                              int32_t wantedType, WorldItemSink& first, WorldItemSink& second,
                              WorldReaderOptions options = {},
                              uint64_t partBytes = uint64_t{4} << 20);

}  // namespace vorlak
