#include "app/BmpToMapPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Controls.h"
#include "app/MapWindow.h"
#include "app/PictureBox.h"
#include "app/UndoButton.h"
#include "app/frmStart.h"
#include "app/mComdlg.h"

namespace vorlak::app {
namespace {

// The two boxes that only their "..." buttons fill show the button face, like the buttons.
void ShowAsButtonFace(QLineEdit* box) {
    box->setEnabled(false);
    QPalette palette = box->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, palette.color(QPalette::Active, QPalette::Button));
    }
    box->setPalette(palette);
}

// A label of the table's left and top, as high as the boxes of its row, ending a few pixels
// before `right`, where the next control of its row begins (the table's widths would reach into
// it).
QRect LabelTwips(int left, int top, int right) {
    QRect r = Twips(left, top, right - left, 315);
    r.setWidth(r.width() - 3);
    r.setHeight(kBoxHeight);
    return r;
}

}  // namespace

BmpToMapPage::BmpToMapPage(frmStart& host, QWidget* parent) : QWidget(parent), host_(host) {
    MakeLabel(this, "Map0.mul:", LabelTwips(300, 360, 1380), "Label39");
    txtB2MMap_ = MakeTextBox(this, "txtB2MMap", "map0.mul", Twips(1380, 360, 3795, 315));
    ShowAsButtonFace(txtB2MMap_);
    auto* cmdMap = MakeButton(this, "cmdMap", "...", Twips(5220, 360, 435, 315));
    auto* cmdBMP2MAP = MakeButton(this, "cmdBMP2MAP", "Draw map", Twips(6660, 300, 1575, 375));

    MakeLabel(this, "Bitmap:", LabelTwips(300, 840, 1380), "Label44");
    txtBitmap_ = MakeTextBox(this, "txtBitmap", "", Twips(1380, 840, 3795, 315));
    ShowAsButtonFace(txtBitmap_);
    auto* cmdBitmap = MakeButton(this, "cmdBitmap", "...", Twips(5220, 840, 435, 315));
    picBMP2MAP_ = new PictureHolder("picBMP2MAP", Twips(6600, 900, 1515, 1035), this);

    MakeLabel(this, "Cordinates:", LabelTwips(300, 1320, 1380), "Label48");
    MakeLabel(this, "X:", LabelTwips(1380, 1320, 1620), "Label47");
    txtBMPX_ = MakeTextBox(this, "txtBMPX", "0", Twips(1620, 1320, 855, 315));
    MakeLabel(this, "Y:", LabelTwips(2640, 1320, 2880), "Label46");
    txtBMPY_ = MakeTextBox(this, "txtBMPY", "0", Twips(2880, 1320, 855, 315));
    // Level with the boxes of its row, so that its " -> " continues the row.
    lblDim_ = MakeLabel(this, "#x# -> #x#", LabelTwips(3900, 1320, 3900 + 1695), "lblDim");
    auto* cmdB2MMapPick = MakeButton(this, "cmdB2MMapPick", "Map...", Twips(6660, 1320, 1050, 315));
    connect(cmdB2MMapPick, &QPushButton::clicked, this, &BmpToMapPage::cmdB2MMapPick_Click);

    const auto& kinds = TerrainKinds();
    for (int k = 0; k < kTerrainKinds; ++k) {
        const int column = k < 6 ? 0 : 1;
        const int top = 1860 + 360 * (k % 6);
        const int shift = 2820 * column;  // the right column starts 2820 twips further
        MakeLabel(this, QString::fromUtf8(kinds[k].label.data(), kinds[k].label.size()),
                  LabelTwips(300 + shift, top, 1380 + shift), QStringLiteral("Label45(%1)").arg(k));
        txtAltMin_[k] =
            MakeTextBox(this, QStringLiteral("txtAltMin%1").arg(k),
                        QString::fromUtf8(kinds[k].altMin.data(), kinds[k].altMin.size()),
                        Twips(1380 + shift, top, 675, 315));
        txtAltMax_[k] =
            MakeTextBox(this, QStringLiteral("txtAltMax%1").arg(k),
                        QString::fromUtf8(kinds[k].altMax.data(), kinds[k].altMax.size()),
                        Twips(2160 + shift, top, 675, 315));
    }

    connect(cmdMap, &QPushButton::clicked, this, &BmpToMapPage::cmdMap_Click);
    connect(cmdBitmap, &QPushButton::clicked, this, &BmpToMapPage::cmdBitmap_Click);
    connect(cmdBMP2MAP, &QPushButton::clicked, this, &BmpToMapPage::cmdBMP2MAP_Click);
    cmdUndo_ = new UndoButton(host_, this, "cmdB2MUndo", Twips(6660, 720, 1575, 375),
                              [this] { return std::vector<std::string>{Text(*txtB2MMap_)}; });
    connect(txtB2MMap_, &QLineEdit::textChanged, cmdUndo_, &UndoButton::Refresh);
}

void BmpToMapPage::LoadRememberedPicture() {
    if (FileExists(txtBitmap_->text()) && picBMP2MAP_->Load(txtBitmap_->text())) {
        RefreshPlacementLabel();
    } else {
        lblDim_->clear();
    }
}

void BmpToMapPage::RefreshPlacementLabel() {
    const auto& picture = picBMP2MAP_->picture();
    if (!picture) {
        lblDim_->clear();
        return;
    }
    lblDim_->setText(QString::fromStdString(
        PlacementCaption(picture->width(), picture->height(), Text(*txtBMPX_), Text(*txtBMPY_))));
}

void BmpToMapPage::cmdMap_Click() {
    QString picked = mComdlg::ChooseFile(&host_, "map0.mul (*.mul) |*.mul", "Select map0.mul",
                                         mComdlg::ProgramFolder());
    if (!picked.isEmpty()) txtB2MMap_->setText(picked);
}

void BmpToMapPage::cmdBitmap_Click() {
    QString picked =
        mComdlg::ChooseFile(&host_, "Windows Bitmap (*.bmp) |*.bmp|Compuserve bitmap (*.gif)|*.gif",
                            "Select Bitmap", mComdlg::ProgramFolder());
    if (picked.isEmpty()) return;
    // A file that is no picture is not taken: box, holder and label stay as they were.
    if (!picBMP2MAP_->Load(picked)) {
        host_.ShowMessage("\"" + picked + "\" cannot be read as a picture.",
                          QString::fromUtf8(kBmp2MapTitle.data(), kBmp2MapTitle.size()));
        return;
    }
    txtBitmap_->setText(picked);
    RefreshPlacementLabel();
}

void BmpToMapPage::cmdBMP2MAP_Click() {
    host_.RunJob("cmdBMP2MAP", [this] {
        Bmp2MapRequest request;
        request.map = Text(*txtB2MMap_);
        request.bitmap = Text(*txtBitmap_);
        request.x = Text(*txtBMPX_);
        request.y = Text(*txtBMPY_);
        for (int k = 0; k < kTerrainKinds; ++k) {
            request.altMin[k] = Text(*txtAltMin_[k]);
            request.altMax[k] = Text(*txtAltMax_[k]);
        }
        // The job reads its own copies, so a picture picked while it runs cannot pull the
        // pixels away from under it.
        PictureFile paletteFile = ReadPicture(request.palette);
        std::optional<QtPicture>& palette = paletteFile.picture;
        request.paletteProblem = paletteFile.why;
        if (palette) picBMP2MAP_->Set(*palette);
        PictureFile pictureFile = ReadPicture(request.bitmap);
        std::optional<QtPicture>& picture = pictureFile.picture;
        request.bitmapProblem = pictureFile.why;

        Bmp2MapHooks hooks;
        hooks.status = [this](const std::string& text) {
            host_.ShowStatus(QString::fromStdString(text));
        };
        hooks.message = [this](const std::string& text, const std::string& title) {
            host_.ShowMessage(QString::fromStdString(text), QString::fromStdString(title));
        };
        hooks.picturesChecked = [this, &picture] {
            picBMP2MAP_->Set(*picture);
            RefreshPlacementLabel();
        };
        hooks.stopRequested = [this] { return host_.stopRequested(); };
        request.history = cmdUndo_->Recorder("Draw map " + request.bitmap + " at X " + request.x +
                                             " Y " + request.y);
        Bmp2MapOutcome outcome = RunBmp2Map(request, palette ? &*palette : nullptr,
                                            picture ? &*picture : nullptr, hooks);
        cmdUndo_->JobDone(outcome.ok ? outcome.counts : outcome.detail);
    });
}

void BmpToMapPage::cmdB2MMapPick_Click() {
    PickPlace(this, {Text(*txtB2MMap_), "", "", TextOfBox(this, "txtM2BRadarcol", "radarcol.mul")},
              txtBitmap_->text(), txtBMPX_, txtBMPY_);
}

}  // namespace vorlak::app
