// fraMenu(4), Clear statics: removes every static inside a rectangle of the world.
#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace vorlak::app {

class frmStart;
class UndoButton;

class ClearPage final : public QWidget {
    Q_OBJECT
  public:
    ClearPage(frmStart& host, QWidget* parent);

  public slots:
    void cmdClear_Click();
    // Picks X1, Y1, X2, Y2 on the map.
    void cmdClearMap_Click();

  private:
    frmStart& host_;
    QPushButton* cmdClear_;
    UndoButton* cmdUndo_;
    QLineEdit* txtClearStatics_;
    QLineEdit* txtClearStaIdx_;
    QLineEdit* txtClearX1_;
    QLineEdit* txtClearY1_;
    QLineEdit* txtClearX2_;
    QLineEdit* txtClearY2_;
};

}  // namespace vorlak::app
