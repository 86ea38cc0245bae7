// fraMenu(1), the About page: program name, version and credits.
#pragma once

#include <QWidget>

class QLabel;

namespace vorlak::app {

class AboutPage final : public QWidget {
    Q_OBJECT
  public:
    explicit AboutPage(QWidget* parent);

    // "Version 0.10.0": major, minor and revision as plain decimal numbers.
    static QString VersionText();
    static QString CreditsText();

    QLabel* lblVersion() const { return lblVersion_; }
    QLabel* lblCredits() const { return lblCredits_; }

  private:
    QLabel* lblVersion_;
    QLabel* lblCredits_;
};

}  // namespace vorlak::app
