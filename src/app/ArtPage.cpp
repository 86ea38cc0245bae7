#include "app/ArtPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/Controls.h"
#include "app/PictureBox.h"
#include "app/UndoButton.h"
#include "app/frmStart.h"
#include "app/mComdlg.h"
#include "art/ArtJobs.h"
#include "mul/Numbers.h"

namespace vorlak::app {
namespace {

constexpr int kLeft = 20;
constexpr int kLabelWidth = 84;
constexpr int kBoxLeft = 108;
constexpr int kFileBoxWidth = 121;
constexpr int kDotsLeft = kBoxLeft + kFileBoxWidth + 4;
constexpr int kNumberBoxWidth = 57;
constexpr int kTop = 20;
constexpr int kButtonPitch = 31;

QRect LabelAt(int row) { return {kLeft, kTop + row * kRowPitch, kLabelWidth, kBoxHeight}; }
QRect BoxAt(int row, int width = kFileBoxWidth) {
    return {kBoxLeft, kTop + row * kRowPitch, width, kBoxHeight};
}
QRect DotsAt(int row) { return {kDotsLeft, kTop + row * kRowPitch, kDotsWidth, kBoxHeight}; }
QRect ActionAt(int index) { return kActionButton.translated(0, index * kButtonPitch); }

}  // namespace

ArtPage::ArtPage(frmStart& host, QWidget* parent) : QWidget(parent), host_(host) {
    MakeLabel(this, "Artidx.mul:", LabelAt(0));
    txtArtIdx_ = MakeTextBox(this, "txtArtIdx", "artidx.mul", BoxAt(0));
    txtArtIdx_->setEnabled(false);
    auto* cmdArtidx = MakeButton(this, "cmdArtidx", "...", DotsAt(0));

    MakeLabel(this, "Art.mul:", LabelAt(1));
    txtArtMul_ = MakeTextBox(this, "txtArtMul", "art.mul", BoxAt(1));
    txtArtMul_->setEnabled(false);
    auto* cmdArtmul = MakeButton(this, "cmdArtmul", "...", DotsAt(1));

    MakeLabel(this, "Art type:", LabelAt(2));
    optArtLandscapeTiles_ =
        MakeOption(this, "optArtLandscapeTiles", "Landscape tiles", BoxAt(2, 150));
    optArtLandscapeTiles_->setChecked(true);
    optArtStaticTiles_ = MakeOption(this, "optArtStaticTiles", "Static tiles", BoxAt(3, 150));
    optArtCharatherTests_ =
        MakeOption(this, "optArtCharatherTests", "Charater tests", BoxAt(4, 150));

    MakeLabel(this, "Item number:", LabelAt(5));
    txtArtNumber_ = MakeTextBox(this, "txtArtNumber", "0", BoxAt(5, kNumberBoxWidth));

    MakeLabel(this, "Bmp:", LabelAt(6));
    txtArtPicture_ = MakeTextBox(this, "txtArtPicture", "", BoxAt(6));
    auto* cmdBmp = MakeButton(this, "cmdBmp", "...", DotsAt(6));

    const QRect picture = Twips(0, 0, 2460, 3780);
    picTest_ = new PictureBox("picTest", picture.translated(kDotsLeft + kDotsWidth + 10, kTop),
                              kBackground, this);

    const char* actions[][2] = {{"cmdLoadArt", "Load art"},
                                {"cmdSaveArt", "Save to BMP"},
                                {"cmdLoadFromBMP", "Load from BMP"},
                                {"cmdFreezePicture", "Freeze picture"}};
    QPushButton* buttons[4];
    for (int i = 0; i < 4; ++i) {
        buttons[i] = MakeButton(this, actions[i][0], actions[i][1], ActionAt(i));
        buttons[i]->setEnabled(false);
    }

    cmdUndo_ = new UndoButton(host_, this, "cmdArtUndo", ActionAt(4), [] {
        const FreezePictureRequest files;  // the files Freeze picture writes
        return std::vector<std::string>{files.artidx, files.artmul};
    });
    connect(cmdArtidx, &QPushButton::clicked, this, &ArtPage::cmdArtidx_Click);
    connect(cmdArtmul, &QPushButton::clicked, this, &ArtPage::cmdArtmul_Click);
    connect(cmdBmp, &QPushButton::clicked, this, &ArtPage::cmdBmp_Click);
    connect(buttons[0], &QPushButton::clicked, this, &ArtPage::cmdLoadArt_Click);
    connect(buttons[1], &QPushButton::clicked, this, &ArtPage::cmdSaveArt_Click);
    connect(buttons[2], &QPushButton::clicked, this, &ArtPage::cmdLoadFromBMP_Click);
    connect(buttons[3], &QPushButton::clicked, this, &ArtPage::cmdFreezePicture_Click);
}

void ArtPage::Pick(QLineEdit* target, const QString& filter, const QString& title) {
    QString picked = mComdlg::ChooseFile(&host_, filter, title, mComdlg::ProgramFolder());
    if (!picked.isEmpty()) target->setText(picked);
}

void ArtPage::Tell(const QString& text) { host_.ShowMessage(text, "Vorlak"); }

void ArtPage::cmdArtidx_Click() {
    Pick(txtArtIdx_, "Artidx.mul (*.mul) |*.mul", "Select artidx.mul");
}

void ArtPage::cmdArtmul_Click() { Pick(txtArtMul_, "Art.mul (*.mul) |*.mul", "Select art.mul"); }

void ArtPage::cmdBmp_Click() {
    Pick(txtArtPicture_, "picture.bmp (*.bmp) |*.bmp", "Select picture.bmp");
}

void ArtPage::cmdLoadArt_Click() {
    host_.RunJob("cmdLoadArt", [this] {
        LoadArtRequest request;
        request.artidx = Text(*txtArtIdx_);
        request.artmul = Text(*txtArtMul_);
        request.kind =
            ArtKindFromOptions(optArtLandscapeTiles_->isChecked(), optArtStaticTiles_->isChecked(),
                               optArtCharatherTests_->isChecked());
        request.number = NumericValue(Text(*txtArtNumber_));
        LoadArtOutcome outcome = RunLoadArt(request);
        if (outcome.clearsPicture()) picTest_->Clear();
        if (outcome.grid) {
            PaintArt(*outcome.grid, picTest_->image());
            picTest_->update();
        }
        if (outcome.showsMessage()) Tell(QString::fromStdString(outcome.status));
    });
}

void ArtPage::cmdSaveArt_Click() {
    host_.RunJob("cmdSaveArt", [this] {
        const QString path = txtArtPicture_->text();
        if (!picTest_->SaveBmp(path)) Tell("Unable to save the picture as \"" + path + "\".");
    });
}

void ArtPage::cmdLoadFromBMP_Click() {
    host_.RunJob("cmdLoadFromBMP", [this] {
        const QString path = txtArtPicture_->text();
        if (!FileExists(path)) return;
        if (!picTest_->Load(path)) Tell("\"" + path + "\" is not a picture that can be read.");
    });
}

void ArtPage::cmdFreezePicture_Click() {
    host_.RunJob("cmdFreezePicture", [this] {
        FreezePictureRequest request;
        request.number = NumericValue(Text(*txtArtNumber_));
        request.history =
            cmdUndo_->Recorder("Freeze picture as art number " + Text(*txtArtNumber_));
        JobOutcome outcome = RunFreezePicture(request, picTest_->image());
        cmdUndo_->JobDone(outcome.ok ? outcome.counts : outcome.detail);
        // Success shows nothing; a refusal or failure must not pass for one.
        if (!outcome.ok) Tell(QString::fromStdString(outcome.status));
    });
}

}  // namespace vorlak::app
