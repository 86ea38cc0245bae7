#include "app/AboutPage.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vorlak::app {
namespace {

QLabel* Centred(QWidget* parent, const QString& name, int pointSizeDelta, bool bold) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font = label->font();
    font.setBold(bold);
    font.setPointSizeF(font.pointSizeF() + pointSizeDelta);
    label->setFont(font);
    return label;
}

}  // namespace

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    QLabel* title = Centred(this, "lblTitle", 14, true);
    title->setText("Vorlak");
    lblVersion_ = Centred(this, "lblVersion", 1, true);
    lblCredits_ = Centred(this, "lblCredits", 0, false);
    lblCredits_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 12, 40, 12);
    layout->setSpacing(6);
    layout->addStretch(2);
    layout->addWidget(title);
    layout->addWidget(lblVersion_);
    layout->addSpacing(18);
    layout->addWidget(lblCredits_);
    layout->addStretch(3);
}

QString AboutPage::VersionText() {
    return QStringLiteral("Version %1.%2.%3")
        .arg(VORLAK_VERSION_MAJOR)
        .arg(VORLAK_VERSION_MINOR)
        .arg(VORLAK_VERSION_PATCH);
}

QString AboutPage::CreditsText() {
    return QStringLiteral(
        "A workbench for the people who build and run a game world: it freezes the items of a "
        "world file into the statics, melts statics back into items, clears statics from a "
        "stretch of land, shows and writes art tiles, and draws terrain from a picture.\n\n"
        "Made by world builders, for world builders. Free to use and to share.\n"
        "Keep a copy of your files before you change them.");
}

}  // namespace vorlak::app
