// The two picture boxes: picTest on the Art page, a canvas of fixed size that shows art and
// loaded bitmaps, and picBMP2MAP on the Bmp->Map page, a hidden holder of the picture to draw.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "picture/QtPicture.h"

namespace vorlak::app {

// A canvas of its own size filled with a background colour. Whatever is painted on it or loaded
// into it becomes part of its image, which is what Save writes and what jobs read back.
class PictureBox final : public QWidget {
    Q_OBJECT
  public:
    // `background` is a colour value (0x00BBGGRR).
    PictureBox(const QString& name, QRect where, int32_t background, QWidget* parent);

    // Fills the whole image with the background.
    void Clear();
    // Clears the image and draws the picture file at the top-left corner at its own size; parts
    // beyond the box are cut off. False when the file cannot be decoded: the image is unchanged.
    bool Load(const QString& path);
    // Writes the whole image as a BMP file, through a temporary file and a rename.
    bool SaveBmp(const QString& path) const;

    // The image in pixels from the top-left corner. Call update() after painting on it.
    WritablePicture& image() { return image_; }
    const QtPicture& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int32_t background_;
    QtPicture image_;
};

// Holds one picture at its own size; never shown.
class PictureHolder final : public QWidget {
    Q_OBJECT
  public:
    PictureHolder(const QString& name, QRect where, QWidget* parent);

    // Takes the picture of the file; false when it cannot be decoded, and the holder keeps what
    // it held.
    bool Load(const QString& path);
    void Set(QtPicture picture) { picture_ = std::move(picture); }
    // Empty until a picture was taken.
    const std::optional<QtPicture>& picture() const { return picture_; }

  private:
    std::optional<QtPicture> picture_;
};

}  // namespace vorlak::app
