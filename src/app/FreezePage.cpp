#include "app/FreezePage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/Controls.h"
#include "app/UndoButton.h"
#include "app/frmStart.h"
#include "statics/StaticsJobs.h"

namespace vorlak::app {
namespace {

constexpr int kLeft = 20;
constexpr int kLabelWidth = 100;
constexpr int kBoxLeft = 124;
constexpr int kFileBoxWidth = 253;
constexpr int kNumberBoxWidth = 57;
constexpr int kHeadingWidth = 410;

QRect LabelAt(int y) { return {kLeft, y, kLabelWidth, kBoxHeight}; }
QRect BoxAt(int y, int width = kFileBoxWidth) { return {kBoxLeft, y, width, kBoxHeight}; }
QRect HeadingAt(int y) { return {kLeft, y, kHeadingWidth, kBoxHeight}; }

}  // namespace

FreezePage::FreezePage(frmStart& host, QWidget* parent) : QWidget(parent), host_(host) {
    MakeHeading(this, "Item file type:", HeadingAt(20));
    cmdFreeze_ = MakeButton(this, "cmdFreeze", "Freeze", kActionButton);
    optItemZedra3_ =
        MakeOption(this, "optItemZedra3", "Zedra3 (items.wsc)", {kLeft + 12, 44, 170, kBoxHeight});
    optItemZedra3_->setChecked(true);
    optItemSphere_ = MakeOption(this, "optItemSphere", "Sphere (SPHEREWorld.scp)",
                                {kLeft + 192, 44, 210, kBoxHeight});
    optItemSphere_->setEnabled(false);

    MakeHeading(this, "Item file to freeze into statics:", HeadingAt(78));
    MakeLabel(this, "Items.wsc:", LabelAt(102));
    txtFreezeItems_ = MakeTextBox(this, "txtFreezeItems", "items.wsc", BoxAt(102));

    MakeHeading(this, "Statics files the items should be added to:", HeadingAt(136));
    MakeLabel(this, "Statics0:", LabelAt(160));
    txtFreezeStatics_ = MakeTextBox(this, "txtFreezeStatics", "statics0.mul", BoxAt(160));
    MakeLabel(this, "Staidx0:", LabelAt(160 + kRowPitch));
    txtFreezeStaidx_ = MakeTextBox(this, "txtFreezeStaidx", "staidx0.mul", BoxAt(160 + kRowPitch));

    MakeHeading(this, "What item type do you want to freeze:", HeadingAt(218));
    MakeLabel(this, "Item type:", LabelAt(242));
    txtFreezeItemType_ = MakeTextBox(this, "txtFreezeItemType", "255", BoxAt(242, kNumberBoxWidth));
    chkAllTypes_ = MakeCheckBox(this, "chkAllTypes", "All",
                                {kBoxLeft + kNumberBoxWidth + 12, 242, 60, kBoxHeight});

    cmdUndo_ =
        new UndoButton(host_, this, "cmdFreezeUndo", kActionButton.translated(0, 31), [this] {
            return std::vector<std::string>{Text(*txtFreezeStaidx_), Text(*txtFreezeStatics_)};
        });
    connect(txtFreezeStaidx_, &QLineEdit::textChanged, cmdUndo_, &UndoButton::Refresh);
    connect(cmdFreeze_, &QPushButton::clicked, this, &FreezePage::cmdFreeze_Click);
}

void FreezePage::cmdFreeze_Click() {
    host_.RunJob("cmdFreeze", [this] {
        FreezeRequest request;
        request.items = Text(*txtFreezeItems_);
        request.statics = Text(*txtFreezeStatics_);
        request.staidx = Text(*txtFreezeStaidx_);
        request.sphere = optItemSphere_->isChecked();
        try {
            // "All" counts only when plainly checked; a greyed box reads the type.
            request.itemType = chkAllTypes_->checkState() == Qt::Checked
                                   ? -1
                                   : ReadInt32(*txtFreezeItemType_, "Item type");
        } catch (const FieldError& e) {
            host_.ShowStatus(e.message);
            return;
        }
        request.history = cmdUndo_->Recorder("Freeze " + request.items);
        JobOutcome outcome = RunFreeze(request, host_.JobStatus());
        cmdUndo_->JobDone(outcome.ok ? outcome.counts : outcome.detail);
    });
}

}  // namespace vorlak::app
