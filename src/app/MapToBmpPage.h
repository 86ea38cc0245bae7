// fraMenu(7), Map->Bmp: the terrain and statics as a picture (overview), the terrain's kinds as a
// picture Bmp->Map takes back, or its heights as grey; the saved picture shown scaled.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace vorlak::app {

class frmStart;

class MapToBmpPage final : public QWidget {
    Q_OBJECT
  public:
    MapToBmpPage(frmStart& host, QWidget* parent);

    // The preview of the last picture saved; empty before the first.
    QLabel* picMAP2BMP() const { return picMAP2BMP_; }

  public slots:
    // Draws the chosen view of the rectangle and saves it as the picture file; the outcome goes
    // to the status line, a refusal or failure to a message box too.
    void cmdMAP2BMP_Click();
    // Picks X1, Y1, X2, Y2 on the map.
    void cmdM2BMap_Click();

  private:
    void Pick(QLineEdit* box, const QString& filter, const QString& title);

    frmStart& host_;
    QLineEdit* txtM2BMap_;
    QLineEdit* txtM2BStaidx_;
    QLineEdit* txtM2BStatics_;
    QLineEdit* txtM2BRadarcol_;
    QLineEdit* txtM2BX1_;
    QLineEdit* txtM2BY1_;
    QLineEdit* txtM2BX2_;
    QLineEdit* txtM2BY2_;
    QRadioButton* optM2BOverview_;
    QRadioButton* optM2BKinds_;
    QRadioButton* optM2BHeights_;
    QLineEdit* txtM2BPicture_;
    QLabel* picMAP2BMP_;
};

}  // namespace vorlak::app
