#include "AppFixture.h"

#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <filesystem>

#include "app/SettingsStore.h"

namespace vorlak::app::test {
namespace {

std::string configFolder;

// Creates the application once for the whole program: headless, with its own configuration
// folder so that no test sees or changes the user's remembered values.
class AppEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        char pattern[] = "/tmp/vorlak-app-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        configFolder = pattern;
        setenv("XDG_CONFIG_HOME", pattern, 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        application_.reset();
        std::filesystem::remove_all(configFolder);
    }

  private:
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

std::unique_ptr<QSettings> Store() {
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             SettingsStore::kApplication, QString());
    store->beginGroup(SettingsStore::kSection);
    return store;
}

}  // namespace

std::string StorePath() { return configFolder + "/Ostrand.conf"; }

void ClearStore() {
    Store()->clear();  // also what the store objects of this program keep in memory
    std::filesystem::remove_all(StorePath());
}

void Seed(const std::map<QString, QString>& values) {
    auto store = Store();
    for (const auto& [key, value] : values) store->setValue(key, value);
}

std::map<QString, QString> StoredValues() {
    auto store = Store();
    std::map<QString, QString> values;
    for (const QString& key : store->childKeys()) values[key] = store->value(key).toString();
    return values;
}

void WritePicture(const std::string& path, int w, int h, int32_t colour, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    ASSERT_TRUE(image.save(QString::fromStdString(path), format)) << path;
}

void QueueTabClick(frmStart& window, int index) {
    QTabBar* bar = window.tabStrip()->tabBar();
    const QPointF at(bar->tabRect(index).center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(bar, new QMouseEvent(type, at, bar->mapToGlobal(at),
                                                         Qt::LeftButton, buttons, Qt::NoModifier));
    }
}

void QueueClick(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

void WindowTest::SetUp() {
    ClearStore();
    previousDialog_ = mComdlg::SetFileDialog([this](const mComdlg::FileRequest& request) {
        requests_.push_back(request);
        WorkInTestFolder();
        return answer_;
    });
}

void WindowTest::TearDown() {
    window_.reset();
    mComdlg::SetFileDialog(previousDialog_);
    ClearStore();
    QDir::setCurrent(mComdlg::ProgramFolder());
}

frmStart& WindowTest::Open() {
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

QString WindowTest::ValueOf(const QString& name) {
    if (name.startsWith("opt")) return Option(name)->isChecked() ? "-1" : "0";
    if (!name.startsWith("chk")) return TextOf(name);
    const Qt::CheckState state = Find<QCheckBox>(name)->checkState();
    return state == Qt::Checked ? "1" : state == Qt::PartiallyChecked ? "2" : "0";
}

void WindowTest::UseTestFiles() {
    for (const char* box : {"txtFreezeStatics", "txtMeltStatics", "txtClearStatics"})
        SetText(box, data_);
    for (const char* box : {"txtFreezeStaidx", "txtMeltStaIdx", "txtClearStaIdx"})
        SetText(box, index_);
    SetText("txtFreezeItems", items_);
    SetText("txtMeltItems", melted_);
}

void WindowTest::WorkInTestFolder() { QDir::setCurrent(Q(dir_.root().string())); }

int WindowTest::CloseWindow() {
    endProgramCalls_ = 0;
    window_->close();
    return endProgramCalls_;
}

}  // namespace vorlak::app::test
