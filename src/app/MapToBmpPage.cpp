#include "app/MapToBmpPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <memory>
#include <optional>

#include "app/Controls.h"
#include "app/MapWindow.h"
#include "app/frmStart.h"
#include "app/mComdlg.h"
#include "mapgen/MapViews.h"
#include "picture/PictureFiles.h"
#include "picture/QtPicture.h"

namespace vorlak::app {
namespace {

constexpr int kLeft = 20;
constexpr int kLabelWidth = 100;
constexpr int kFileBoxWidth = 253;
constexpr int kOptionWidth = 92;
constexpr QRect kPreview{416, 160, 150, 128};

QRect LabelAt(int y) { return {kLeft, y, kLabelWidth, kBoxHeight}; }
QRect BoxAt(int y) { return {kCoordinateLeft, y, kFileBoxWidth, kBoxHeight}; }
QRect DotsAt(int y) { return {kCoordinateLeft + kFileBoxWidth + 4, y, kDotsWidth, kBoxHeight}; }
QRect OptionAt(int column, int y) {
    return {kCoordinateLeft + column * kOptionWidth, y, kOptionWidth, kBoxHeight};
}

const QString kTitle = QString::fromUtf8(kMap2BmpTitle.data(), kMap2BmpTitle.size());

}  // namespace

MapToBmpPage::MapToBmpPage(frmStart& host, QWidget* parent) : QWidget(parent), host_(host) {
    struct FileRow {
        QLineEdit*& box;
        const char *label, *name, *text, *button, *filter, *title;
    };
    const FileRow files[] = {
        {txtM2BMap_, "Map0.mul:", "txtM2BMap", "map0.mul", "cmdM2BMap", "map0.mul (*.mul) |*.mul",
         "Select map0.mul"},
        {txtM2BStaidx_, "Staidx0.mul:", "txtM2BStaidx", "staidx0.mul", "cmdM2BStaidx",
         "staidx0.mul (*.mul) |*.mul", "Select staidx0.mul"},
        {txtM2BStatics_, "Statics0.mul:", "txtM2BStatics", "statics0.mul", "cmdM2BStatics",
         "statics0.mul (*.mul) |*.mul", "Select statics0.mul"},
        {txtM2BRadarcol_, "Radarcol.mul:", "txtM2BRadarcol", "radarcol.mul", "cmdM2BRadarcol",
         "radarcol.mul (*.mul) |*.mul", "Select radarcol.mul"},
    };
    int y = 20;
    for (const FileRow& row : files) {
        MakeLabel(this, row.label, LabelAt(y));
        row.box = MakeTextBox(this, row.name, row.text, BoxAt(y));
        auto* dots = MakeButton(this, row.button, "...", DotsAt(y));
        QLineEdit* box = row.box;
        QString filter = row.filter, title = row.title;
        connect(dots, &QPushButton::clicked, this,
                [this, box, filter, title] { Pick(box, filter, title); });
        y += kRowPitch;
    }
    auto* cmdMAP2BMP = MakeButton(this, "cmdMAP2BMP", "Save picture", kActionButton);

    constexpr int kRow = 126;
    MakeLabel(this, "Cordinates:", LabelAt(kRow));
    MakeLabel(this, "X1:", CoordinateLabelAt(0, kRow));
    txtM2BX1_ = MakeTextBox(this, "txtM2BX1", "0", CoordinateBoxAt(0, kRow));
    MakeLabel(this, "Y1:", CoordinateLabelAt(1, kRow));
    txtM2BY1_ = MakeTextBox(this, "txtM2BY1", "0", CoordinateBoxAt(1, kRow));
    MakeLabel(this, "->", ArrowAt(kRow));
    MakeLabel(this, "X2:", CoordinateLabelAt(2, kRow));
    txtM2BX2_ = MakeTextBox(this, "txtM2BX2", "6143", CoordinateBoxAt(2, kRow));
    MakeLabel(this, "Y2:", CoordinateLabelAt(3, kRow));
    txtM2BY2_ = MakeTextBox(this, "txtM2BY2", "4095", CoordinateBoxAt(3, kRow));
    auto* cmdM2BMapPick = MakeButton(this, "cmdM2BMapPick", "Map...", MapButtonAt(kRow));
    connect(cmdM2BMapPick, &QPushButton::clicked, this, &MapToBmpPage::cmdM2BMap_Click);

    constexpr int kViewRow = kRow + 34;
    MakeLabel(this, "Picture of:", LabelAt(kViewRow));
    optM2BOverview_ = MakeOption(this, "optM2BOverview", "Overview", OptionAt(0, kViewRow));
    optM2BKinds_ = MakeOption(this, "optM2BKinds", "Kinds", OptionAt(1, kViewRow));
    optM2BHeights_ = MakeOption(this, "optM2BHeights", "Heights", OptionAt(2, kViewRow));
    optM2BOverview_->setChecked(true);

    constexpr int kPictureRow = kViewRow + 34;
    MakeLabel(this, "Picture file:", LabelAt(kPictureRow));
    txtM2BPicture_ = MakeTextBox(this, "txtM2BPicture", "map.png", BoxAt(kPictureRow));
    auto* cmdM2BPicture = MakeButton(this, "cmdM2BPicture", "...", DotsAt(kPictureRow));
    connect(cmdM2BPicture, &QPushButton::clicked, this, [this] {
        Pick(txtM2BPicture_, "PNG picture (*.png) |*.png|Windows Bitmap (*.bmp) |*.bmp",
             "Select picture");
    });

    picMAP2BMP_ = new QLabel(this);
    picMAP2BMP_->setObjectName("picMAP2BMP");
    picMAP2BMP_->setGeometry(kPreview);
    picMAP2BMP_->setAlignment(Qt::AlignCenter);
    picMAP2BMP_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    connect(cmdMAP2BMP, &QPushButton::clicked, this, &MapToBmpPage::cmdMAP2BMP_Click);
}

void MapToBmpPage::Pick(QLineEdit* box, const QString& filter, const QString& title) {
    QString picked = mComdlg::ChooseFile(&host_, filter, title, mComdlg::ProgramFolder());
    if (!picked.isEmpty()) box->setText(picked);
}

void MapToBmpPage::cmdMAP2BMP_Click() {
    host_.RunJob("cmdMAP2BMP", [this] {
        MapViewRequest request;
        request.view = optM2BKinds_->isChecked()     ? MapView::kKinds
                       : optM2BHeights_->isChecked() ? MapView::kHeights
                                                     : MapView::kOverview;
        request.out = Text(*txtM2BPicture_);
        request.map = Text(*txtM2BMap_);
        request.staidx = Text(*txtM2BStaidx_);
        request.statics = Text(*txtM2BStatics_);
        request.radarcol = Text(*txtM2BRadarcol_);
        try {
            request.x1 = ReadInt32(*txtM2BX1_, "X1");
            request.y1 = ReadInt32(*txtM2BY1_, "Y1");
            request.x2 = ReadInt32(*txtM2BX2_, "X2");
            request.y2 = ReadInt32(*txtM2BY2_, "Y2");
        } catch (const FieldError& e) {
            host_.ShowStatus(e.message);
            return;
        }
        std::optional<QtPicture> palette;
        if (request.view == MapView::kKinds) palette = LoadPicture(request.palette);
        MapViewOutcome outcome =
            RunMapView(request, palette ? &*palette : nullptr, host_.JobStatus());
        if (!outcome.ok) {
            host_.ShowStatusDetail(QString::fromStdString(outcome.detail));
            host_.ShowMessage(QString::fromStdString(outcome.status), kTitle);
            return;
        }
        // The picture goes to its file band by band as it is drawn; its preview is read back.
        QImage image;
        if (std::optional<QtPicture> saved = LoadPicture(request.out)) image = saved->image();
        picMAP2BMP_->setPixmap(QPixmap::fromImage(image.scaled(
            kPreview.size() - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    });
}

void MapToBmpPage::cmdM2BMap_Click() {
    PickRectangle(
        this,
        {Text(*txtM2BMap_), Text(*txtM2BStaidx_), Text(*txtM2BStatics_), Text(*txtM2BRadarcol_)},
        {txtM2BX1_, txtM2BY1_, txtM2BX2_, txtM2BY2_});
}

}  // namespace vorlak::app
