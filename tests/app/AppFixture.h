// Shared by the window tests: the application object (headless, with the settings store in a
// temporary configuration folder), a fixture that opens the main window, and helpers to reach its
// controls, seed the settings store and make picture files.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>

#include "app/SettingsStore.h"
#include "app/frmStart.h"
#include "app/mComdlg.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

namespace vorlak::app::test {

using vorlak::test::Bytes;
using vorlak::test::Exists;
using vorlak::test::ReadAll;

// Creates the application once for the whole program: headless, with its own configuration
// folder so that no test sees or changes the user's remembered values.
struct AppEnvironment final : ::testing::Environment {
    static inline std::string configFolder;
    void SetUp() override {
        char pattern[] = "/tmp/vorlak-app-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        configFolder = pattern;
        setenv("XDG_CONFIG_HOME", pattern, 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("test_app"), nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        application.reset();
        std::filesystem::remove_all(configFolder);
    }
    std::unique_ptr<QApplication> application;
};
inline ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// The store's group "Vorlak", where the window keeps its remembered values.
inline std::unique_ptr<QSettings> Store() {
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             SettingsStore::kApplication, QString());
    store->beginGroup(SettingsStore::kSection);
    return store;
}
inline std::string StorePath() { return AppEnvironment::configFolder + "/Ostrand.conf"; }
// Empties the store (no file at all), also what the store objects of this program keep in memory.
inline void ClearStore() {
    Store()->clear();
    std::filesystem::remove_all(StorePath());
}
// Writes `values` into the store, as the window would.
inline void Seed(const std::map<QString, QString>& values) {
    auto store = Store();
    for (const auto& [key, value] : values) store->setValue(key, value);
}
inline std::map<QString, QString> StoredValues() {
    auto store = Store();
    std::map<QString, QString> values;
    for (const QString& key : store->childKeys()) values[key] = store->value(key).toString();
    return values;
}

// A w x h picture file in `format` ("BMP", "PNG") filled with `colour` (0x00BBGGRR).
inline void WritePicture(const std::string& path, int w, int h, int32_t colour = 0,
                         const char* format = "BMP") {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    ASSERT_TRUE(image.save(QString::fromStdString(path), format)) << path;
}

// An item of `type` lying on the ground, in a Zedra3 item world file.
inline std::string Item(int id, int x, int y, int type = 255) {
    return vorlak::test::Zedra3Item(std::to_string(id), std::to_string(x), std::to_string(y), "0",
                                    "", std::to_string(type));
}

// Queues a click at the middle of the window's tab `index`, or of `button`: it runs when events
// are next processed.
inline void QueueTabClick(frmStart& window, int index) {
    QTabBar* bar = window.tabStrip()->tabBar();
    const QPointF at(bar->tabRect(index).center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(bar, new QMouseEvent(type, at, bar->mapToGlobal(at),
                                                         Qt::LeftButton, buttons, Qt::NoModifier));
    }
}
inline void QueueClick(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

class WindowTest : public ::testing::Test {
  protected:
    // The file dialog is replaced by one that answers answer_ and, as a person browsing
    // elsewhere does, moves the current folder to the test's folder.
    void SetUp() override {
        ClearStore();
        previousDialog_ = mComdlg::SetFileDialog([this](const mComdlg::FileRequest& request) {
            requests_.push_back(request);
            WorkInTestFolder();
            return answer_;
        });
    }
    void TearDown() override {
        window_.reset();
        mComdlg::SetFileDialog(previousDialog_);
        QDir::setCurrent(mComdlg::ProgramFolder());
    }

    // Opens a window that shows itself like the real one; a previous one is dropped first.
    frmStart& Open() {
        window_.reset();
        window_ = std::make_unique<frmStart>();
        window_->SetEndProgram([this] { ++endProgramCalls_; });
        window_->SetMessageBox([this](const QString& text, const QString& title) {
            messages_.push_back({text, title});
        });
        window_->show();
        QCoreApplication::processEvents();
        return *window_;
    }
    // Closes the window as the user does; returns how often it asked the program to end.
    int CloseWindow() {
        endProgramCalls_ = 0;
        window_->close();
        return endProgramCalls_;
    }

    template <typename T>
    T* Find(const QString& name) {
        T* control = window_->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name.toStdString();
        return control;
    }
    QString TextOf(const QString& name) { return Find<QLineEdit>(name)->text(); }
    void SetTexts(const std::vector<std::pair<QString, QString>>& texts) {
        for (const auto& [name, text] : texts) Find<QLineEdit>(name)->setText(text);
    }
    QPushButton* Button(const QString& name) { return Find<QPushButton>(name); }
    QRadioButton* Option(const QString& name) { return Find<QRadioButton>(name); }
    QString Dim() { return Find<QLabel>("lblDim")->text(); }
    QString Status() { return window_->statusText(); }
    frmStart& window() { return *window_; }

    // What a control shows, written as the store keeps it: a text box its text, an option -1 when
    // selected and 0 otherwise, the check box 0, 1 (checked) or 2 (greyed).
    QString ValueOf(const QString& name) {
        if (name.startsWith("opt")) return Option(name)->isChecked() ? "-1" : "0";
        if (!name.startsWith("chk")) return TextOf(name);
        const Qt::CheckState state = Find<QCheckBox>(name)->checkState();
        return state == Qt::Checked ? "1" : state == Qt::PartiallyChecked ? "2" : "0";
    }
    void ExpectValues(const std::vector<std::pair<QString, QString>>& values) {
        for (const auto& [name, value] : values)
            EXPECT_EQ(ValueOf(name), value) << name.toStdString();
    }

    // Points the three statics pages at the files below.
    void UseTestFiles() {
        // clang-format off
        SetTexts({{"txtFreezeStatics", Q(data_)}, {"txtMeltStatics", Q(data_)},
                  {"txtClearStatics", Q(data_)}, {"txtFreezeStaidx", Q(index_)},
                  {"txtMeltStaIdx", Q(index_)}, {"txtClearStaIdx", Q(index_)},
                  {"txtFreezeItems", Q(items_)}, {"txtMeltItems", Q(melted_)}});
        // clang-format on
    }
    // Makes the test's folder the current one (jobs look for colors.gif and the art files there)
    // until the test ends.
    void WorkInTestFolder() { QDir::setCurrent(Q(dir_.root().string())); }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }
    QString P(const std::string& name) { return Q(dir_.path(name)); }  // a file of the test

    using Message = std::pair<QString, QString>;  // the text, the title

    vorlak::test::TempDir dir_;
    std::string data_ = dir_.path("statics0.mul"), index_ = dir_.path("staidx0.mul");
    std::string items_ = dir_.path("items.wsc"), melted_ = dir_.path("melted.wsc");
    std::unique_ptr<frmStart> window_;
    int endProgramCalls_ = 0;
    std::vector<Message> messages_;  // message boxes the window showed
    QString answer_;
    std::vector<mComdlg::FileRequest> requests_;  // what the file dialog was asked
    mComdlg::FileDialog previousDialog_;
};

}  // namespace vorlak::app::test
