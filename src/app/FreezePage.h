// fraMenu(2), Freeze statics: adds the items of a world file to the statics files.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vorlak::app {

class frmStart;
class UndoButton;

class FreezePage final : public QWidget {
    Q_OBJECT
  public:
    FreezePage(frmStart& host, QWidget* parent);

  public slots:
    // Reads the page and runs the freeze job; every text goes to the status line.
    void cmdFreeze_Click();

  private:
    frmStart& host_;
    QPushButton* cmdFreeze_;
    QRadioButton* optItemZedra3_;
    QRadioButton* optItemSphere_;
    QLineEdit* txtFreezeItems_;
    UndoButton* cmdUndo_;
    QLineEdit* txtFreezeStatics_;
    QLineEdit* txtFreezeStaidx_;
    QLineEdit* txtFreezeItemType_;
    QCheckBox* chkAllTypes_;
};

}  // namespace vorlak::app
