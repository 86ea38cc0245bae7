// fraMenu(3), Melt statics: writes the statics inside a rectangle out as a new item world file.
#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace vorlak::app {

class frmStart;
class UndoButton;

class MeltPage final : public QWidget {
    Q_OBJECT
  public:
    MeltPage(frmStart& host, QWidget* parent);

  public slots:
    void cmdMelt_Click();
    // Picks X1, Y1, X2, Y2 on the map.
    void cmdMeltMap_Click();

  private:
    frmStart& host_;
    QPushButton* cmdMelt_;
    QLineEdit* txtMeltStatics_;
    UndoButton* cmdUndo_;
    QLineEdit* txtMeltStaIdx_;
    QLineEdit* txtMeltItems_;
    QLineEdit* txtMeltCountStart_;
    QLineEdit* txtMeltItemType_;
    QLineEdit* txtMeltX1_;
    QLineEdit* txtMeltY1_;
    QLineEdit* txtMeltX2_;
    QLineEdit* txtMeltY2_;
    QLineEdit* txtMeltAddX_;
    QLineEdit* txtMeltAddY_;
    QLineEdit* txtMeltAddZ_;
};

}  // namespace vorlak::app
