// Building blocks of the pages: controls placed by pixel rectangles, and reading numbers from
// text boxes.
#pragma once

#include <QRect>
#include <QString>
#include <cstdint>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace vorlak::app {

// 15 twips make one pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;
constexpr QRect Twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// Sizes shared by the pages, in pixels.
inline constexpr int kBoxHeight = 21;  // text boxes and "..." buttons (315 twips)
inline constexpr int kRowPitch = 24;   // from one row of boxes to the next (360 twips)
inline constexpr int kDotsWidth = 29;  // "..." buttons (435 twips)
inline constexpr QRect kActionButton{444, 20, 105, 25};  // each page's top-right button

// The coordinate rows of the Melt and Clear pages: "X1:" box "Y1:" box "->" "X2:" box "Y2:" box,
// columns 0 to 3 after a label column ending at kCoordinateLeft.
inline constexpr int kCoordinateLeft = 124;
inline constexpr int kCoordinateLabelWidth = 22;
inline constexpr int kCoordinateBoxWidth = 50;
inline constexpr int kArrowWidth = 26;
constexpr int CoordinateColumnLeft(int column) {
    return kCoordinateLeft + column * (kCoordinateLabelWidth + kCoordinateBoxWidth + 8) +
           (column >= 2 ? kArrowWidth : 0);
}
constexpr QRect CoordinateLabelAt(int column, int y) {
    return {CoordinateColumnLeft(column), y, kCoordinateLabelWidth, kBoxHeight};
}
constexpr QRect CoordinateBoxAt(int column, int y) {
    return {CoordinateColumnLeft(column) + kCoordinateLabelWidth, y, kCoordinateBoxWidth,
            kBoxHeight};
}
// The "Map..." button at the end of a coordinate row.
constexpr QRect MapButtonAt(int y) {
    return {CoordinateColumnLeft(3) + kCoordinateLabelWidth + kCoordinateBoxWidth + 8, y, 70,
            kBoxHeight};
}
constexpr QRect ArrowAt(int y) {
    return {CoordinateColumnLeft(1) + kCoordinateLabelWidth + kCoordinateBoxWidth + 4, y,
            kArrowWidth - 4, kBoxHeight};
}

// Every control gets its name as object name, so that it can be found, and remembered, by it.
// Labels take the height of their row's box and centre their text in it, so that label texts and
// box texts stand on one line.
QLabel* MakeLabel(QWidget* parent, const QString& text, QRect where, const QString& name = {});
QLabel* MakeHeading(QWidget* parent, const QString& text, QRect where);
QLineEdit* MakeTextBox(QWidget* parent, const QString& name, const QString& text, QRect where);
QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect where);
QRadioButton* MakeOption(QWidget* parent, const QString& name, const QString& caption, QRect where);
QCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption, QRect where);

// A box whose value does not fit its field; `message` names the field for the status line.
struct FieldError {
    QString message;
};

// The number in `box` by the leading-number rule, as a whole number of the field's type.
// Throw FieldError ("Item type 300 is out of range (0 to 255).", with the text as typed) when it
// does not fit.
int32_t ReadInt32(const QLineEdit& box, const QString& field);
uint8_t ReadUInt8(const QLineEdit& box, const QString& field);

// The text of a box as the jobs take it.
std::string Text(const QLineEdit& box);

// True when `path` names an existing file (not a folder); empty text names none.
bool FileExists(const QString& path);

}  // namespace vorlak::app
