#include "app/Controls.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "mul/Error.h"
#include "mul/Numbers.h"

namespace vorlak::app {
namespace {

template <typename T>
T* Place(T* control, const QString& name, QRect where) {
    if (!name.isEmpty()) control->setObjectName(name);
    control->setGeometry(where);
    return control;
}

template <typename Convert>
auto ReadField(const QLineEdit& box, const QString& field, const char* range, Convert convert) {
    double value = NumericValue(Text(box));
    try {
        return convert(value);
    } catch (const Error&) {
        throw FieldError{QStringLiteral("%1 %2 is out of range (%3).")
                             .arg(field, box.text().trimmed(), QLatin1String(range))};
    }
}

}  // namespace

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect where, const QString& name) {
    auto* label = Place(new QLabel(text, parent), name, where);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* MakeHeading(QWidget* parent, const QString& text, QRect where) {
    QLabel* label = MakeLabel(parent, text, where);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const QString& name, const QString& text, QRect where) {
    return Place(new QLineEdit(text, parent), name, where);
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect where) {
    auto* button = Place(new QPushButton(caption, parent), name, where);
    button->setAutoDefault(false);
    return button;
}

QRadioButton* MakeOption(QWidget* parent, const QString& name, const QString& caption,
                         QRect where) {
    return Place(new QRadioButton(caption, parent), name, where);
}

QCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption, QRect where) {
    return Place(new QCheckBox(caption, parent), name, where);
}

int32_t ReadInt32(const QLineEdit& box, const QString& field) {
    return ReadField(box, field, "-2147483648 to 2147483647",
                     [&](double v) { return ToInt32(v, field.toStdString()); });
}

uint8_t ReadUInt8(const QLineEdit& box, const QString& field) {
    return ReadField(box, field, "0 to 255",
                     [&](double v) { return ToUInt8(v, field.toStdString()); });
}

std::string Text(const QLineEdit& box) { return box.text().toStdString(); }

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    QFileInfo info(path);
    return info.exists() && !info.isDir();
}

}  // namespace vorlak::app
