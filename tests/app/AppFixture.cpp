#include "AppFixture.h"

#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <filesystem>

#include "app/SettingsStore.h"

namespace vorlak::app::test {
namespace {

std::string& ConfigFolderPath() {
    static std::string path;
    return path;
}

// Creates the application once for the whole program: headless, with its own configuration
// folder so that no test sees or changes the user's remembered values.
class AppEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        char pattern[] = "/tmp/vorlak-app-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        ConfigFolderPath() = made;
        setenv("XDG_CONFIG_HOME", made, 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        application_.reset();
        std::error_code ec;
        std::filesystem::remove_all(ConfigFolderPath(), ec);
    }

  private:
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

std::unique_ptr<QSettings> Store() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       SettingsStore::kApplication, QString());
}

void SendClick(QWidget* widget, QPoint at, bool queued) {
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        auto* event = new QMouseEvent(
            type, local, global, Qt::LeftButton,
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        if (queued) {
            QCoreApplication::postEvent(widget, event);
        } else {
            QCoreApplication::sendEvent(widget, event);
            delete event;
        }
    }
}

}  // namespace

std::string ConfigFolder() { return ConfigFolderPath(); }
std::string StorePath() { return ConfigFolderPath() + "/Ostrand.conf"; }

void ClearStore() {
    {
        auto store = Store();
        store->clear();
        store->sync();
    }
    std::error_code ec;
    std::filesystem::remove_all(StorePath(), ec);
}

void Seed(const std::map<QString, QString>& values) {
    auto store = Store();
    store->beginGroup(SettingsStore::kSection);
    for (const auto& [key, value] : values) store->setValue(key, value);
    store->endGroup();
    store->sync();
}

void WriteStoreFile(const std::string& text) {
    ClearStore();
    vorlak::test::WriteText(StorePath(), text);
}

std::map<QString, QString> StoredValues() {
    auto store = Store();
    store->beginGroup(SettingsStore::kSection);
    std::map<QString, QString> values;
    for (const QString& key : store->childKeys()) values[key] = store->value(key).toString();
    return values;
}

void WritePicture(const std::string& path, int w, int h, int32_t colour, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    ASSERT_TRUE(image.save(QString::fromStdString(path), format)) << path;
}

void ClickTab(frmStart& window, int index, bool queued) {
    QTabBar* bar = window.tabStrip()->tabBar();
    SendClick(bar, bar->tabRect(index).center(), queued);
}

void QueueClick(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

void WindowTest::SetUp() { ClearStore(); }

void WindowTest::TearDown() {
    window_.reset();
    ClearStore();
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

void WindowTest::UseTestFiles() {
    for (const char* box : {"txtFreezeStatics", "txtMeltStatics", "txtClearStatics"})
        SetText(box, Q(data_));
    for (const char* box : {"txtFreezeStaidx", "txtMeltStaIdx", "txtClearStaIdx"})
        SetText(box, Q(index_));
    SetText("txtFreezeItems", Q(items_));
    SetText("txtMeltItems", Q(melted_));
}

int WindowTest::CloseWindow() {
    endProgramCalls_ = 0;
    window_->close();
    return endProgramCalls_;
}

}  // namespace vorlak::app::test
