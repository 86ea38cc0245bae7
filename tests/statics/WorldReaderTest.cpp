#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "mul/Error.h"
#include "statics/WorldReader.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

namespace vorlak {
namespace {

// A world file holding `text`, open for reading.
std::unique_ptr<RandomAccessFile> FileOf(const std::string& text) {
    static test::TempDir dir;
    test::WriteText(dir.path("items.wsc"), text);
    return DefaultFileSystem().Open(dir.path("items.wsc"), OpenMode::kReadOnly);
}

using Item = std::tuple<int32_t, int32_t, int32_t, int32_t, int16_t>;  // ID, X, Y, Z, colour

// Keeps the items handed to it.
struct Collect final : WorldItemSink {
    std::vector<Item> items;
    void StartPart(size_t) override {}
    void Take(const WorldItem& item) override {
        items.emplace_back(item.id, item.x, item.y, item.z, item.colour);
    }
    void Clear() override { items.clear(); }
};

// The items of `text` read with Next(), or, when `into`, handed on by ReadInto().
std::vector<Item> ReadOneWay(const std::string& text, WorldFormat format, int32_t wanted,
                             WorldReaderOptions options, bool into) {
    Collect sink;
    auto file = FileOf(text);
    WorldReader reader(*file, "items.wsc", format, wanted, options);
    if (into) {
        reader.ReadInto(sink);
    } else {
        WorldItem item;
        while (reader.Next(item)) sink.Take(item);
    }
    return sink.items;
}

// The items of `text`, which both ways of reading must agree on, failures included.
std::vector<Item> Read(const std::string& text, WorldFormat format, int32_t wanted = -1,
                       WorldReaderOptions options = {}) {
    std::string failure;
    try {
        ReadOneWay(text, format, wanted, options, true);
    } catch (const Error& e) {
        failure = e.what();
    }
    std::vector<Item> items;
    try {
        items = ReadOneWay(text, format, wanted, options, false);
    } catch (const Error& e) {
        EXPECT_EQ(failure, e.what()) << text;
        throw;
    }
    EXPECT_EQ(failure, "") << text;
    EXPECT_EQ(ReadOneWay(text, format, wanted, options, true), items) << text;
    return items;
}

std::vector<Item> Zedra3(const std::string& text, int32_t wanted = -1) {
    return Read(text, WorldFormat::kZedra3, wanted);
}
std::vector<Item> Sphere(const std::string& text, int32_t wanted = -1) {
    return Read(text, WorldFormat::kSphere, wanted);
}

// The message of the Error that reading throws, or "" when it reads to the end.
std::string Failure(const std::string& text, WorldFormat format, WorldReaderOptions options = {}) {
    try {
        Read(text, format, -1, options);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

std::vector<std::string> Fields(const std::string& text, size_t bufferBytes = 1 << 20) {
    auto file = FileOf(text);
    FieldReader reader(*file, bufferBytes, 1 << 20);
    std::vector<std::string> fields;
    while (reader.Next()) fields.emplace_back(reader.text());
    return fields;
}

using V = std::vector<std::string>;

const char kGroundItem[] =
    "SECTION WORLDITEM 1\r\n{\r\nID 1301\r\nX 1400\r\nY 1620\r\nZ 5\r\nTYPE 255\r\nCONT -1\r\n"
    "COLOR 0\r\n}\r\n";

TEST(FieldReader, CutsAtCommasAndLineEnds) {
    EXPECT_EQ(Fields("P=1300,1650,5\r\n"), (V{"P=1300", "1650", "5"}));
    EXPECT_EQ(Fields("SECTION WORLDITEM 12\n"), (V{"SECTION WORLDITEM 12"}));
    // A blank line is one empty field; blanks at a field's start are skipped, not at its end.
    EXPECT_EQ(Fields("a\r\n\r\n  \t b ,  c\n\nd"), (V{"a", "", "b ", "c", "", "d"}));
    // Nothing follows a last comma or line end; a CR alone is no line end.
    EXPECT_EQ(Fields("a,"), (V{"a"}));
    EXPECT_EQ(Fields("a,\n"), (V{"a", ""}));
    EXPECT_EQ(Fields("a\rb\n"), (V{"a\rb"}));
    EXPECT_EQ(Fields(""), V{});
    EXPECT_EQ(Fields("   "), (V{""}));
}

TEST(FieldReader, QuotedFieldsKeepCommasAndLineEnds) {
    EXPECT_EQ(Fields("\"a, b\",c\n"), (V{"a, b", "c"}));
    EXPECT_EQ(Fields("  \"x\ny\"\nz"), (V{"x\ny", "z"}));
    // What follows the closing mark up to the next comma or line end is dropped.
    EXPECT_EQ(Fields("\"a\"junk,b\r\n"), (V{"a", "b"}));
    EXPECT_EQ(Fields("\"ab\"junk,b\r\n", 4), (V{"ab", "b"}));  // dropped after a refill
    EXPECT_EQ(Fields("a\"b\",c"), (V{"a\"b\"", "c"}));         // a mark inside a field is text
    // A mark that is never closed runs to the end of the file.
    EXPECT_EQ(Fields("\"open, 1\n2\n"), (V{"open, 1\n2\n"}));
    EXPECT_EQ(Fields("\"open\r"), (V{"open\r"}));  // no line end: the CR stays
}

TEST(Zedra3Reader, TakesItemsOnTheGroundOfTheWantedType) {
    const Item ground{1301, 1400, 1620, 5, 0};
    EXPECT_EQ(Zedra3(kGroundItem, 255), std::vector<Item>{ground});
    EXPECT_EQ(Zedra3(kGroundItem, -1), std::vector<Item>{ground});
    EXPECT_TRUE(Zedra3(kGroundItem, 7).empty());
    std::string lf = kGroundItem;  // line feeds alone read like CR LF
    std::erase(lf, '\r');
    EXPECT_EQ(Zedra3(lf), std::vector<Item>{ground});

    // Only container -1 is the ground, however it is written.
    auto withContainer = [](const std::string& cont) {
        std::string text = kGroundItem;
        return text.replace(text.find("CONT -1"), 7, cont);
    };
    for (const char* cont : {"CONT 77", "CONT 11", "CONT 1", "CONT -11", "CONT -2", "CONT 0"}) {
        EXPECT_TRUE(Zedra3(withContainer(cont)).empty()) << cont;
    }
    for (const char* cont : {"cont -1", "CONT  -1", "CONT -01", "CONT -1.0", "CONT &HFFFFFFFF"}) {
        EXPECT_EQ(Zedra3(withContainer(cont)), std::vector<Item>{ground}) << cont;
    }
    // No ID, or ID 0: never taken.
    EXPECT_TRUE(Zedra3("SECTION WORLDITEM 1\n{\nX 1\nCONT -1\n}\n").empty());
    EXPECT_TRUE(Zedra3("SECTION WORLDITEM 1\n{\nID 0\nCONT -1\n}\n").empty());
}

TEST(Zedra3Reader, KeysIgnoreCaseAndLeadingBlanks) {
    EXPECT_EQ(Zedra3("section worlditem 1\n{\n  id 1301\n\tx 1400\n y 1620\nz 5\ncont -1\n"
                     "Color -2\n  }\n"),
              (std::vector<Item>{{1301, 1400, 1620, 5, -2}}));
    // A key needs its blank: "XY 5" and "IDENT 7" are no keys, nor are other words that start
    // as a key does.
    EXPECT_EQ(Zedra3("SECTION WORLDITEM 1\nID 9\nXY 5\nIDENT 7\nYEAR 6\nZONE 5\nTYPES 4\n"
                     "CONTAINER 3\nCOLORS 2\nSECTIONS 1\nCONT -1\n}\n"),
              (std::vector<Item>{{9, 0, 0, 0, 0}}));
}

TEST(Zedra3Reader, SectionBoundaries) {
    // Before the first header the container is 0: not taken.
    EXPECT_TRUE(Zedra3("ID 5\nCONT 7\n}\n").empty());
    // Values after the brace are not part of the item; a second brace does not store it twice.
    EXPECT_EQ(Zedra3("SECTION WORLDITEM 1\nID 5\nCONT -1\nX 1\n}\nX 2\n}\n"),
              (std::vector<Item>{{5, 1, 0, 0, 0}}));
    // A header clears every value of the item before it.
    EXPECT_EQ(Zedra3("SECTION WORLDITEM 1\nID 5\nX 3\nTYPE 4\nCOLOR 9\nCONT 2\n}\n"
                     "SECTION WORLDITEM 2\nID 6\nCONT -1\n}\n",
                     0),
              (std::vector<Item>{{6, 0, 0, 0, 0}}));
}

TEST(SphereReader, TakesEveryItemSectionEndedByABlankLine) {
    const std::string item = "[WORLDITEM item1]\r\nID=0e75\r\nP=1300,1650,5\r\n\r\n";
    const Item expected{0x0E75, 1300, 1650, 5, 0};
    EXPECT_EQ(Sphere(item, -1), std::vector<Item>{expected});
    EXPECT_EQ(Sphere(item, 0), std::vector<Item>{expected});  // no TYPE= line: type 0
    EXPECT_TRUE(Sphere(item, 255).empty());
    // A type that is a name reads as 0.
    EXPECT_EQ(Sphere("[WORLDITEM a]\nID=1\nTYPE=abc\n\n", 0).size(), 1u);
}

// An item section gives at most one item, which ends at its first blank line, at the next section
// header of any kind or at the end of the file; other sections never give one.
TEST(SphereReader, ItemsAreNeitherLostNorDoubledAtTheEdgesOfSections) {
    const std::string a = "[WORLDITEM a]\r\nID=0e75\r\nP=1300,1650,5\r\n";
    const std::string b = "[WORLDITEM b]\r\nID=2\r\nP=7,8,9\r\n";
    const Item itemA{0x0E75, 1300, 1650, 5, 0}, itemB{2, 7, 8, 9, 0};
    const std::vector<Item> one{itemA}, two{itemA, itemB};
    const std::string character = "[WORLDCHAR c]\r\nID=5\r\nP=1,2,3\r\n";
    const std::pair<std::string, std::vector<Item>> cases[] = {
        {a + "\r\n", one},                           // a blank line
        {a, one},                                    // the end of the file
        {a + b, two},                                // the next item section
        {a + "\r\n" + b + "\r\n", two},              // each followed by one blank line
        {a + "\r\n\r\n\r\n" + b + "\r\n\r\n", two},  // extra blank lines take nothing twice
        {a + "\r\nID=9\r\n\r\n", one},               // keys after the blank line: no second item
        {a + character + "\r\n", one},               // ended by a section of another kind
        {character + "\r\n" + a, one},               // which gives no item of its own
        {character + a + "[EOF]\r\n", one},
        {"[WORLDITEM a]\nID=3\nEVENTS=e_one,[e_two]\nP=4,5,6\n\n",  // "[" inside a line
         {{3, 4, 5, 6, 0}}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Sphere(text), expected) << text;
        // The same from a read buffer of a few bytes.
        EXPECT_EQ(Read(text, WorldFormat::kSphere, -1, {3, 1 << 20}), expected) << text;
    }
}

// Item sections left out are counted once, as they end (the Zedra3 counts: tests/cli).
TEST(WorldReader, CountsTheItemsItSkipsOncePerSection) {
    auto skipped = [](const std::string& text, WorldFormat format, int32_t wanted) {
        auto file = FileOf(text);
        WorldReader reader(*file, "items.wsc", format, wanted);
        WorldItem item;
        while (reader.Next(item)) {
        }
        // Handing the items on from the scan counts alike.
        Collect sink;
        WorldReader into(*file, "items.wsc", format, wanted);
        into.ReadInto(sink);
        EXPECT_EQ(into.skippedForType(), reader.skippedForType()) << text;
        EXPECT_EQ(into.skippedInContainer(), reader.skippedInContainer()) << text;
        return std::pair(reader.skippedForType(), reader.skippedInContainer());
    };
    // An item before the first header lies in no section: neither taken nor counted.
    EXPECT_EQ(skipped("ID 7\n}\nSECTION WORLDITEM 1\nCONT 4\n}\nSECTION WORLDITEM 2\nID 1\nCONT "
                      "4\n}\n}\n",
                      WorldFormat::kZedra3, -1),
              std::pair(uint64_t{0}, uint64_t{1}));
    EXPECT_EQ(
        skipped("[WORLDITEM a]\nID=1\nTYPE=3\n\n\n[WORLDITEM b]\nID=2\n", WorldFormat::kSphere, 5),
        std::pair(uint64_t{2}, uint64_t{0}));
}

TEST(SphereReader, PositionReadsItsNumbersWhereverTheyStand) {
    // Two numbers: Z comes from the blank line, which then ends the item.
    EXPECT_EQ(Sphere("[WORLDITEM a]\nID=1\nP=1300,1650\n\n"),
              (std::vector<Item>{{1, 1300, 1650, 0, 0}}));
    // One number: Y and Z from the following lines.
    EXPECT_EQ(Sphere("[WORLDITEM a]\nID=1\nP=5\n6\n7\n\n"), (std::vector<Item>{{1, 5, 6, 7, 0}}));
    // The keys after "P=" are tested on the last field it read.
    EXPECT_EQ(Sphere("[WORLDITEM a]\nID=1\nP=5,6,TYPE=9\n\n", 9).size(), 1u);
    // A quoted field keeps its commas: "P=" reads 10 from it, then the next two lines.
    EXPECT_EQ(Sphere("[WORLDITEM a]\nID=1\n\"P=10,99,99\"\n20\n30\n\n"),
              (std::vector<Item>{{1, 10, 20, 30, 0}}));
}

TEST(WorldReaderFailure, NumbersThatDoNotFitNameTheirValueAndLine) {
    EXPECT_EQ(Failure("SECTION WORLDITEM 1\r\n{\r\nCOLOR 40000\r\n}\r\n", WorldFormat::kZedra3),
              "the COLOR value 40000 on line 3 of items.wsc does not fit in -32768..32767");
    EXPECT_EQ(Failure("\n\nX 99999999999\n", WorldFormat::kZedra3),
              "the X value 99999999999 on line 3 of items.wsc does not fit in "
              "-2147483648..2147483647");
    EXPECT_EQ(Failure("[WORLDITEM a]\nP=1\n1e300\n", WorldFormat::kSphere),
              "the Y value 1e300 on line 3 of items.wsc does not fit in -2147483648..2147483647");
    EXPECT_EQ(Failure("X -2147483648.5\n", WorldFormat::kZedra3), "");  // rounds to even: fits
    // The value is shown without its leading blanks, cut after 40 characters, and with '?' for
    // characters that cannot be printed.
    const std::string digits(45, '9');
    for (const auto& [line, shown] :
         {std::pair<std::string, std::string>{"Z \t 99999999999", "99999999999"},
          {"Z 99999999999 7", "99999999999 7"},
          {"Z " + digits, digits.substr(0, 40) + "..."},
          {"Z 99999999999\x01", "99999999999?"}}) {
        EXPECT_EQ(Failure(line + "\n", WorldFormat::kZedra3),
                  "the Z value " + shown +
                      " on line 1 of items.wsc does not fit in -2147483648..2147483647")
            << line;
    }
}

TEST(WorldReaderFailure, PositionCutShortByTheEndOfTheFile) {
    for (const char* text : {"[WORLDITEM a]\nID=1\nP=1,2", "[WORLDITEM a]\nID=1\nP=1\n"}) {
        EXPECT_EQ(Failure(text, WorldFormat::kSphere),
                  "the position on line 3 of items.wsc is cut short by the end of the file")
            << text;
    }
}

TEST(WorldReaderFailure, OverlongValuesFailButOverlongOtherFieldsAreSkipped) {
    WorldReaderOptions small{16, 64};
    std::string longText(200, '7');
    EXPECT_EQ(Failure("SECTION WORLDITEM 1\nX " + longText + "\n", WorldFormat::kZedra3, small),
              "the X value on line 2 of items.wsc is longer than 64 characters");
    EXPECT_EQ(Failure("[WORLDITEM a]\nID=" + longText + "\n", WorldFormat::kSphere, small),
              "the ID value on line 2 of items.wsc is longer than 64 characters");
    std::string text =
        "SECTION WORLDITEM 1\nID 3\nNAME " + longText + "\n\"" + longText + "\"\nCONT -1\n}\n";
    EXPECT_EQ(Read(text, WorldFormat::kZedra3, -1, small), (std::vector<Item>{{3, 0, 0, 0, 0}}));
}

// Takes the items of the parts it is given, as the freeze job does, and refuses item 4242.
class PartSink final : public WorldItemSink {
  public:
    void StartPart(size_t part) override { parts.push_back({part, {}}); }
    void Take(const WorldItem& item) override {
        if (item.id == 4242)
            throw Error::InvalidArgument("4242 on line " + std::to_string(item.line));
        parts.back().second.push_back(item);
    }
    void Clear() override { parts.clear(); }
    std::vector<std::pair<size_t, std::vector<WorldItem>>> parts;
};

using Taken = std::tuple<int32_t, int32_t, int32_t, int64_t>;  // ID, X, container test, line

// Reads `text` in parts of about `partBytes` bytes and gives the items in the order the two sinks
// say, on the lines of the whole file, and the counts of skipped items; or the failure alone.
std::pair<std::vector<Taken>, std::string> InParts(const std::string& text, uint64_t partBytes,
                                                   std::vector<size_t>* order = nullptr) {
    auto file = FileOf(text);
    PartSink first, second;
    std::vector<Taken> taken;
    try {
        WorldItemsRead read = ReadWorldItems(*file, "items.wsc", WorldFormat::kZedra3, 7, first,
                                             second, {}, partBytes);
        // The second sink's parts come last, in ascending order.
        std::reverse(second.parts.begin(), second.parts.end());
        for (PartSink* sink : {&first, &second}) {
            for (const auto& [part, items] : sink->parts) {
                if (order) order->push_back(part);
                for (const WorldItem& i : items) {
                    taken.emplace_back(i.id, i.x, i.y, i.line + read.linesBefore.at(part));
                }
            }
        }
        return {taken, std::to_string(read.skippedForType) + " " +
                           std::to_string(read.skippedInContainer)};
    } catch (const Error& e) {
        return {{}, e.what()};
    }
}

std::pair<std::vector<Taken>, std::string> InOnePass(const std::string& text) {
    auto file = FileOf(text);
    WorldReader reader(*file, "items.wsc", WorldFormat::kZedra3, 7);
    std::vector<Taken> taken;
    try {
        WorldItem i;
        while (reader.Next(i)) {
            if (i.id == 4242)
                throw Error::InvalidArgument("4242 on line " + std::to_string(i.line));
            taken.emplace_back(i.id, i.x, i.y, i.line);
        }
    } catch (const Error& e) {
        return {{}, e.what()};
    }
    return {taken, std::to_string(reader.skippedForType()) + " " +
                       std::to_string(reader.skippedInContainer())};
}

// Sections of every kind, some of them `odd`.
std::string Sections(const std::map<int, std::string>& odd = {}) {
    std::string text = "INITMEM 300\r\n";
    for (int i = 1; i <= 300; ++i) {
        auto n = std::to_string(i);
        auto it = odd.find(i);
        text += it != odd.end() ? it->second
                : i % 5 == 0    ? test::Zedra3Item(n, n, "1", "0", "", "8")  // another type
                : i % 7 == 0    ? test::Zedra3Item(n, n, "2", "0", "CONT 9\r\n", "7")
                                : test::Zedra3Item(n, n, "3", "0", "", "7");
    }
    return text;
}

TEST(WorldReaderInParts, ReadsAsOnePassDoesWhicheverThreadTakesAPart) {
    const std::string text = Sections();
    auto whole = InOnePass(text);
    ASSERT_EQ(whole.first.size(), 300u - 60 - 34);
    ASSERT_EQ(whole.second, "60 34");
    for (uint64_t partBytes : {uint64_t{1} << 20, uint64_t{5000}, uint64_t{300}, uint64_t{1}}) {
        std::vector<size_t> order;
        EXPECT_EQ(InParts(text, partBytes, &order), whole) << partBytes;
        // Every part once, the first sink's before the second's.
        for (size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], k) << partBytes;
        EXPECT_EQ(order.size() > 50, partBytes <= 300) << partBytes;
    }
}

TEST(WorldReaderInParts, FailuresAndQuotationsOpenAtTheEndOfAPartReadTheFileAgain) {
    for (const auto& odd : std::vector<std::map<int, std::string>>{
             {{150, "SECTION WORLDITEM 1\r\nX 99999999999\r\n"}},
             {{150, test::Zedra3Item("4242", "1", "1", "0", "", "7")}},
             // The value runs on from section 100 into section 200: what lies between is in it.
             {{100, "SECTION WORLDITEM 1\r\n\"a\r\n"}, {200, "b\"\r\n"}},
             {{300, "SECTION WORLDITEM 1\r\n\"a\r\n"}},
         }) {
        const std::string text = Sections(odd);
        auto whole = InOnePass(text);
        EXPECT_EQ(InParts(text, 300), whole) << whole.second;
    }
}

}  // namespace
}  // namespace vorlak
