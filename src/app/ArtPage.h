// fraMenu(5), Art: shows one art record in picTest, saves picTest as a bitmap, loads a bitmap into
// it and writes its top-left diamond back as a landscape tile. The four action buttons start
// disabled and nothing enables them; their handlers are public so that they can be run anyway.
#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vorlak::app {

class PictureBox;
class frmStart;
class UndoButton;

class ArtPage final : public QWidget {
    Q_OBJECT
  public:
    // picTest: 2460 x 3780 twips, pure red where nothing was painted.
    static constexpr int32_t kBackground = 0x0000FF;

    ArtPage(frmStart& host, QWidget* parent);

    PictureBox& picTest() const { return *picTest_; }

  public slots:
    void cmdArtidx_Click();
    void cmdArtmul_Click();
    void cmdBmp_Click();
    void cmdLoadArt_Click();
    void cmdSaveArt_Click();
    void cmdLoadFromBMP_Click();
    void cmdFreezePicture_Click();

  private:
    void Pick(QLineEdit* target, const QString& filter, const QString& title);
    void Tell(const QString& text);

    frmStart& host_;
    QLineEdit* txtArtIdx_;
    UndoButton* cmdUndo_;
    QLineEdit* txtArtMul_;
    QRadioButton* optArtLandscapeTiles_;
    QRadioButton* optArtStaticTiles_;
    QRadioButton* optArtCharatherTests_;
    QLineEdit* txtArtNumber_;
    QLineEdit* txtArtPicture_;
    PictureBox* picTest_;
};

}  // namespace vorlak::app
