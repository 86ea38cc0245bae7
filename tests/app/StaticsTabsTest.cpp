#include <filesystem>

#include "AppFixture.h"

namespace vorlak::app::test {
namespace {

using vorlak::test::Bytes;
using vorlak::test::Exists;
using vorlak::test::ReadAll;

// The statics pages pointed at files in the test's folder.
class StaticsTabs : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        UseTestFiles();
        QObject::connect(&window(), &frmStart::statusShown,
                         [this](const QString& text) { shown_.push_back(text.toStdString()); });
    }
    // Clicks `button` and returns the texts the status line showed.
    std::vector<std::string> Click(const char* button) {
        shown_.clear();
        Button(button)->click();
        return shown_;
    }
    size_t StaticsBytes() { return std::filesystem::file_size(data_); }

    std::vector<std::string> shown_;
};

// Each button runs its job on what its page's boxes hold, numbers read by the number rules.
TEST_F(StaticsTabs, ClicksRunTheirJobs) {
    using Texts = std::vector<std::string>;
    EXPECT_EQ(Click("cmdMelt"),
              (Texts{"Melting statics. Please wait.", "Can not find the statics files."}));
    EXPECT_FALSE(Exists(data_));
    EXPECT_FALSE(Exists(melted_));
    EXPECT_EQ(Click("cmdFreeze"),
              (Texts{"Freezing statics. Please wait.", "Cannot find " + items_ + "."}));
    EXPECT_TRUE(Exists(data_));  // the pair is made before the item file is looked for
    EXPECT_TRUE(Exists(index_));

    vorlak::test::WriteText(items_, Item(1, 10, 10) + Item(2, 11, 10, 3) + Item(3, 3000, 2000));
    EXPECT_EQ(Click("cmdFreeze"),
              (Texts{"Freezing statics. Please wait.", "Statics was successfully freezed."}));
    EXPECT_EQ(StaticsBytes(), 2u * 7);  // the two of type 255

    SetText("txtMeltX1", "12abc");  // read as 12: the item at X 10 stays out
    EXPECT_EQ(Click("cmdMelt").back(), "Statics was successfully melted.");
    std::string melted = vorlak::test::ReadText(melted_);
    EXPECT_NE(melted.find("X 3000"), std::string::npos) << melted;
    EXPECT_EQ(melted.find("X 10\r"), std::string::npos) << melted;

    SetText("txtMeltX1", "0");
    SetText("txtClearX2", "100");
    SetText("txtClearY2", "100");
    EXPECT_EQ(Click("cmdClear"),
              (Texts{"Clearing statics. Please wait.", "Statics was successfully cleared."}));
    Click("cmdMelt");
    melted = vorlak::test::ReadText(melted_);
    EXPECT_NE(melted.find("X 3000"), std::string::npos);
    EXPECT_EQ(melted.find("X 10\r"), std::string::npos);
    SetText("txtClearX2", "6144");
    EXPECT_EQ(Click("cmdClear").back(), "Illegal cordinates.");
}

TEST_F(StaticsTabs, FreezeAllTakesEveryTypeWithoutReadingTheTypeBox) {
    vorlak::test::WriteText(items_, Item(1, 10, 10) + Item(2, 11, 10, 3) + Item(3, 12, 10));
    SetText("txtFreezeItemType", "abc");
    Find<QCheckBox>("chkAllTypes")->setCheckState(Qt::Checked);
    Click("cmdFreeze");
    EXPECT_EQ(StaticsBytes(), 3u * 7);
    // Without "All" the same text reads as type 0, which none of them has: nothing is added.
    Find<QCheckBox>("chkAllTypes")->setCheckState(Qt::Unchecked);
    EXPECT_EQ(Click("cmdFreeze").back(), "Statics was successfully freezed.");
    EXPECT_EQ(StaticsBytes(), 3u * 7);
}

// A value that does not fit its field names the field, and the job does not start.
TEST_F(StaticsTabs, ValuesThatDoNotFitNameTheirField) {
    vorlak::test::WriteText(items_, Item(1, 10, 10));
    Click("cmdFreeze");
    const Bytes indexBefore = ReadAll(index_);
    struct Case {
        const char *box, *text, *button, *status;
    } cases[] = {
        {"txtMeltItemType", "300", "cmdMelt", "Item type 300 is out of range (0 to 255)."},
        {"txtMeltItemType", "-1", "cmdMelt", "Item type -1 is out of range (0 to 255)."},
        {"txtMeltCountStart", "3e9", "cmdMelt", "Item start 3e9 is out of range"},
        {"txtMeltX1", "1e10", "cmdMelt", "X1 1e10 is out of range (-2147483648 to 2147483647)."},
        {"txtMeltAddZ", "3000000000", "cmdMelt", "Placed where Z 3000000000 is out of range"},
        {"txtClearY2", "99999999999", "cmdClear", "Y2 99999999999 is out of range"},
        {"txtFreezeItemType", "2147483648", "cmdFreeze", "Item type 2147483648 is out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        const QString before = TextOf(c.box);
        SetText(c.box, c.text);
        std::vector<std::string> shown = Click(c.button);
        SetText(c.box, before);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].rfind(c.status, 0), 0u) << shown[0];
        EXPECT_EQ(Status().toStdString(), shown[0]);
    }
    EXPECT_FALSE(Exists(melted_));
    EXPECT_EQ(ReadAll(index_), indexBefore);
}

}  // namespace
}  // namespace vorlak::app::test
