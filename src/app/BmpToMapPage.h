// fraMenu(6), Bmp->Map: lays a picture into the terrain file, one pixel per cell.
#pragma once

#include <QWidget>
#include <array>

#include "mapgen/MapGen.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vorlak::app {

class PictureHolder;
class frmStart;
class UndoButton;

class BmpToMapPage final : public QWidget {
    Q_OBJECT
  public:
    BmpToMapPage(frmStart& host, QWidget* parent);

    // Start-up, after the remembered texts are back: takes the picture that txtBitmap names and
    // sets lblDim from it, or empties lblDim when there is no such file or it is not a picture.
    void LoadRememberedPicture();
    // lblDim from the picture in picBMP2MAP and the X and Y boxes: " -> " W + X "x" H + Y.
    void RefreshPlacementLabel();

    PictureHolder& picBMP2MAP() const { return *picBMP2MAP_; }

  public slots:
    void cmdMap_Click();
    void cmdBitmap_Click();
    // Runs the map job on the page's inputs; progress and outcome go to the status line,
    // refusals to a message box.
    void cmdBMP2MAP_Click();
    // Places the picture on the map: X and Y.
    void cmdB2MMapPick_Click();

  private:
    frmStart& host_;
    QLineEdit* txtB2MMap_;
    UndoButton* cmdUndo_;
    QLineEdit* txtBitmap_;
    QLineEdit* txtBMPX_;
    QLineEdit* txtBMPY_;
    QLabel* lblDim_;
    std::array<QLineEdit*, kTerrainKinds> txtAltMin_{};
    std::array<QLineEdit*, kTerrainKinds> txtAltMax_{};
    PictureHolder* picBMP2MAP_;
};

}  // namespace vorlak::app
