#include "app/MeltPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Controls.h"
#include "app/MapWindow.h"
#include "app/UndoButton.h"
#include "app/frmStart.h"
#include "statics/StaticsJobs.h"

namespace vorlak::app {
namespace {

constexpr int kLeft = 20;
constexpr int kLabelWidth = 100;
constexpr int kFileBoxWidth = 253;
constexpr int kNumberBoxWidth = 57;
constexpr int kHeadingWidth = 410;

QRect LabelAt(int y) { return {kLeft, y, kLabelWidth, kBoxHeight}; }
QRect BoxAt(int y, int width = kFileBoxWidth) { return {kCoordinateLeft, y, width, kBoxHeight}; }
QRect HeadingAt(int y) { return {kLeft, y, kHeadingWidth, kBoxHeight}; }

}  // namespace

MeltPage::MeltPage(frmStart& host, QWidget* parent) : QWidget(parent), host_(host) {
    MakeHeading(this, "The statics files to take items from and the wsc file:", HeadingAt(20));
    cmdMelt_ = MakeButton(this, "cmdMelt", "Melt", kActionButton);
    MakeLabel(this, "Statics:", LabelAt(44));
    txtMeltStatics_ = MakeTextBox(this, "txtMeltStatics", "statics0.mul", BoxAt(44));
    MakeLabel(this, "Staidx:", LabelAt(44 + kRowPitch));
    txtMeltStaIdx_ = MakeTextBox(this, "txtMeltStaIdx", "staidx0.mul", BoxAt(44 + kRowPitch));
    MakeLabel(this, "Items.wsc:", LabelAt(44 + 2 * kRowPitch));
    txtMeltItems_ = MakeTextBox(this, "txtMeltItems", "items.wsc", BoxAt(44 + 2 * kRowPitch));

    MakeHeading(this, "Serialnumber to start with and item type:", HeadingAt(126));
    MakeLabel(this, "Item start/type:", LabelAt(150));
    txtMeltCountStart_ =
        MakeTextBox(this, "txtMeltCountStart", "0", BoxAt(150, kNumberBoxWidth + 30));
    txtMeltItemType_ =
        MakeTextBox(this, "txtMeltItemType", "255",
                    {kCoordinateLeft + kNumberBoxWidth + 38, 150, kNumberBoxWidth, kBoxHeight});

    MakeHeading(this, "Cordinates to grab and where to put them:", HeadingAt(184));
    constexpr int kGrab = 208;
    MakeLabel(this, "Cordinates:", LabelAt(kGrab));
    MakeLabel(this, "X1:", CoordinateLabelAt(0, kGrab));
    txtMeltX1_ = MakeTextBox(this, "txtMeltX1", "0", CoordinateBoxAt(0, kGrab));
    MakeLabel(this, "Y1:", CoordinateLabelAt(1, kGrab));
    txtMeltY1_ = MakeTextBox(this, "txtMeltY1", "0", CoordinateBoxAt(1, kGrab));
    MakeLabel(this, "->", ArrowAt(kGrab));
    MakeLabel(this, "X2:", CoordinateLabelAt(2, kGrab));
    txtMeltX2_ = MakeTextBox(this, "txtMeltX2", "6143", CoordinateBoxAt(2, kGrab));
    MakeLabel(this, "Y2:", CoordinateLabelAt(3, kGrab));
    txtMeltY2_ = MakeTextBox(this, "txtMeltY2", "4095", CoordinateBoxAt(3, kGrab));
    auto* cmdMeltMap = MakeButton(this, "cmdMeltMap", "Map...", MapButtonAt(kGrab));
    connect(cmdMeltMap, &QPushButton::clicked, this, &MeltPage::cmdMeltMap_Click);

    constexpr int kPlace = kGrab + kRowPitch;
    MakeLabel(this, "Placed where:", LabelAt(kPlace));
    MakeLabel(this, "X:", CoordinateLabelAt(0, kPlace));
    txtMeltAddX_ = MakeTextBox(this, "txtMeltAddX", "0", CoordinateBoxAt(0, kPlace));
    MakeLabel(this, "Y:", CoordinateLabelAt(1, kPlace));
    txtMeltAddY_ = MakeTextBox(this, "txtMeltAddY", "0", CoordinateBoxAt(1, kPlace));
    MakeLabel(this, "Z:", CoordinateLabelAt(2, kPlace));
    txtMeltAddZ_ = MakeTextBox(this, "txtMeltAddZ", "0", CoordinateBoxAt(2, kPlace));

    cmdUndo_ = new UndoButton(host_, this, "cmdMeltUndo", kActionButton.translated(0, 31),
                              [this] { return std::vector<std::string>{Text(*txtMeltItems_)}; });
    connect(txtMeltItems_, &QLineEdit::textChanged, cmdUndo_, &UndoButton::Refresh);
    connect(cmdMelt_, &QPushButton::clicked, this, &MeltPage::cmdMelt_Click);
}

void MeltPage::cmdMelt_Click() {
    host_.RunJob("cmdMelt", [this] {
        MeltRequest request;
        request.statics = Text(*txtMeltStatics_);
        request.staidx = Text(*txtMeltStaIdx_);
        request.items = Text(*txtMeltItems_);
        try {
            request.x1 = ReadInt32(*txtMeltX1_, "X1");
            request.y1 = ReadInt32(*txtMeltY1_, "Y1");
            request.x2 = ReadInt32(*txtMeltX2_, "X2");
            request.y2 = ReadInt32(*txtMeltY2_, "Y2");
            request.addX = ReadInt32(*txtMeltAddX_, "Placed where X");
            request.addY = ReadInt32(*txtMeltAddY_, "Placed where Y");
            request.addZ = ReadInt32(*txtMeltAddZ_, "Placed where Z");
            request.itemType = ReadUInt8(*txtMeltItemType_, "Item type");
            request.countStart = ReadInt32(*txtMeltCountStart_, "Item start");
        } catch (const FieldError& e) {
            host_.ShowStatus(e.message);
            return;
        }
        request.history = cmdUndo_->Recorder("Melt into " + request.items);
        JobOutcome outcome = RunMelt(request, host_.JobStatus());
        cmdUndo_->JobDone(outcome.ok ? outcome.counts : outcome.detail);
    });
}

void MeltPage::cmdMeltMap_Click() {
    PickRectangle(this,
                  {TextOfBox(this, "txtB2MMap", "map0.mul"), Text(*txtMeltStaIdx_),
                   Text(*txtMeltStatics_), TextOfBox(this, "txtM2BRadarcol", "radarcol.mul")},
                  {txtMeltX1_, txtMeltY1_, txtMeltX2_, txtMeltY2_}, {});
}

}  // namespace vorlak::app
