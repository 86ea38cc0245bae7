#include "app/ClearPage.h"

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
constexpr int kHeadingWidth = 410;

QRect LabelAt(int y) { return {kLeft, y, kLabelWidth, kBoxHeight}; }
QRect BoxAt(int y) { return {kCoordinateLeft, y, kFileBoxWidth, kBoxHeight}; }
QRect HeadingAt(int y) { return {kLeft, y, kHeadingWidth, kBoxHeight}; }

}  // namespace

ClearPage::ClearPage(frmStart& host, QWidget* parent) : QWidget(parent), host_(host) {
    MakeHeading(this, "Statics to be cleared:", HeadingAt(20));
    cmdClear_ = MakeButton(this, "cmdClear", "Clear", kActionButton);
    MakeLabel(this, "Statics:", LabelAt(44));
    txtClearStatics_ = MakeTextBox(this, "txtClearStatics", "statics0.mul", BoxAt(44));
    MakeLabel(this, "Staidx:", LabelAt(44 + kRowPitch));
    txtClearStaIdx_ = MakeTextBox(this, "txtClearStaIdx", "staidx0.mul", BoxAt(44 + kRowPitch));

    MakeHeading(this, "Select what cords that is being cleared:", HeadingAt(102));
    constexpr int kRow = 126;
    MakeLabel(this, "Cordinates:", LabelAt(kRow));
    MakeLabel(this, "X1:", CoordinateLabelAt(0, kRow));
    txtClearX1_ = MakeTextBox(this, "txtClearX1", "0", CoordinateBoxAt(0, kRow));
    MakeLabel(this, "Y1:", CoordinateLabelAt(1, kRow));
    txtClearY1_ = MakeTextBox(this, "txtClearY1", "0", CoordinateBoxAt(1, kRow));
    MakeLabel(this, "->", ArrowAt(kRow));
    MakeLabel(this, "X2:", CoordinateLabelAt(2, kRow));
    txtClearX2_ = MakeTextBox(this, "txtClearX2", "6143", CoordinateBoxAt(2, kRow));
    MakeLabel(this, "Y2:", CoordinateLabelAt(3, kRow));
    txtClearY2_ = MakeTextBox(this, "txtClearY2", "4095", CoordinateBoxAt(3, kRow));
    auto* cmdClearMap = MakeButton(this, "cmdClearMap", "Map...", MapButtonAt(kRow));
    connect(cmdClearMap, &QPushButton::clicked, this, &ClearPage::cmdClearMap_Click);

    cmdUndo_ = new UndoButton(
        host_, this, "cmdClearUndo", kActionButton.translated(0, kRowPitch + 6), [this] {
            return std::vector<std::string>{Text(*txtClearStaIdx_), Text(*txtClearStatics_)};
        });
    connect(txtClearStaIdx_, &QLineEdit::textChanged, cmdUndo_, &UndoButton::Refresh);
    connect(cmdClear_, &QPushButton::clicked, this, &ClearPage::cmdClear_Click);
}

void ClearPage::cmdClear_Click() {
    host_.RunJob("cmdClear", [this] {
        ClearRequest request;
        request.statics = Text(*txtClearStatics_);
        request.staidx = Text(*txtClearStaIdx_);
        try {
            request.x1 = ReadInt32(*txtClearX1_, "X1");
            request.y1 = ReadInt32(*txtClearY1_, "Y1");
            request.x2 = ReadInt32(*txtClearX2_, "X2");
            request.y2 = ReadInt32(*txtClearY2_, "Y2");
        } catch (const FieldError& e) {
            host_.ShowStatus(e.message);
            return;
        }
        request.history =
            cmdUndo_->Recorder("Clear X1 " + Text(*txtClearX1_) + " Y1 " + Text(*txtClearY1_) +
                               " X2 " + Text(*txtClearX2_) + " Y2 " + Text(*txtClearY2_));
        JobOutcome outcome = RunClear(request, host_.JobStatus());
        cmdUndo_->JobDone(outcome.ok ? outcome.counts : outcome.detail);
    });
}

void ClearPage::cmdClearMap_Click() {
    PickRectangle(this,
                  {TextOfBox(this, "txtB2MMap", "map0.mul"), Text(*txtClearStaIdx_),
                   Text(*txtClearStatics_), TextOfBox(this, "txtM2BRadarcol", "radarcol.mul")},
                  {txtClearX1_, txtClearY1_, txtClearX2_, txtClearY2_}, "(what Clear removes)");
}

}  // namespace vorlak::app
