#include "app/frmStart.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <exception>
#include <optional>

#include "app/AboutPage.h"
#include "app/ArtPage.h"
#include "app/BmpToMapPage.h"
#include "app/ClearPage.h"
#include "app/Controls.h"
#include "app/FreezePage.h"
#include "app/MapToBmpPage.h"
#include "app/MeltPage.h"
#include "app/SettingsStore.h"
#include "mul/Numbers.h"

namespace vorlak::app {
namespace {

struct Tab {
    const char* caption;
    const char* key;
};
constexpr Tab kTabs[frmStart::kPages] = {
    {"About", "ABOUT"},       {"Freeze statics", "FREEZE"},
    {"Melt statics", "MELT"}, {"Clear statics", "CLEAR"},
    {"Art", "ART"},           {"Bmp->Map", "BMP2MAP"},
    {"Map->Bmp", "MAP2BMP"},
};

// What a text box, check box or option button reads when its key is missing: a value that
// leaves the control as it is.
const QString kTextUnset = QStringLiteral("-1");
const QString kCheckUnset = QStringLiteral("-5");
const QString kOptionUnset = QStringLiteral("0");

// A check box takes only the values it can show: 0 unchecked, 1 checked, 2 greyed.
std::optional<Qt::CheckState> CheckValue(const QString& stored) {
    const QString text = stored.trimmed();
    if (text == "0") return Qt::Unchecked;
    if (text == "1") return Qt::Checked;
    if (text == "2") return Qt::PartiallyChecked;
    return std::nullopt;
}

QString CheckText(Qt::CheckState state) {
    switch (state) {
        case Qt::Unchecked:
            return "0";
        case Qt::Checked:
            return "1";
        case Qt::PartiallyChecked:
            return "2";
    }
    return "0";
}

// Marks the window busy for the life of one job.
class JobScope {
  public:
    explicit JobScope(bool& running) : running_(running) { running_ = true; }
    ~JobScope() { running_ = false; }
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;

  private:
    bool& running_;
};

}  // namespace

frmStart::frmStart(QWidget* parent) : QWidget(parent) {
    setObjectName("frmStart");
    setWindowTitle("Vorlak");
    setFixedSize(kClientWidth, kClientHeight);
    endProgram_ = [] { QCoreApplication::quit(); };

    tsTool_ = new QTabWidget(this);
    tsTool_->setObjectName("tsTool");
    tsTool_->setGeometry(Twips(120, 120, 8655, 4935));
    // Seven tabs in one row: a little less room around each caption than the style gives.
    tsTool_->setStyleSheet("QTabBar::tab { padding: 4px 7px; }");
    about_ = new AboutPage(nullptr);
    freeze_ = new FreezePage(*this, nullptr);
    melt_ = new MeltPage(*this, nullptr);
    clear_ = new ClearPage(*this, nullptr);
    art_ = new ArtPage(*this, nullptr);
    bmpToMap_ = new BmpToMapPage(*this, nullptr);
    mapToBmp_ = new MapToBmpPage(*this, nullptr);
    pages_ = {about_, freeze_, melt_, clear_, art_, bmpToMap_, mapToBmp_};
    for (int i = 0; i < kPages; ++i) {
        pages_[i]->setObjectName(QStringLiteral("fraMenu(%1)").arg(i + 1));
        tsTool_->addTab(pages_[i], kTabs[i].caption);
        tsTool_->tabBar()->setTabData(i, QString(kTabs[i].key));
    }

    sbTool_ = new QStatusBar(this);
    sbTool_->setObjectName("sbTool");
    sbTool_->setSizeGripEnabled(false);
    sbTool_->setGeometry(Twips(0, 5160, 8940, 375));
    statusLine_ = new QLabel(sbTool_);
    statusLine_->setObjectName("sbToolText");
    statusLine_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    sbTool_->addWidget(statusLine_, 1);

    connect(tsTool_, &QTabWidget::currentChanged, this, [this] { SwitchTab(); });
    // A click on the tab that is already selected changes nothing, but still runs the switch.
    connect(tsTool_, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index == tsTool_->currentIndex()) SwitchTab();
    });

    Load();
}

frmStart::~frmStart() = default;

void frmStart::Load() {
    about_->lblVersion()->setText(AboutPage::VersionText());
    for (QWidget* p : pages_) p->hide();
    tsTool_->setCurrentIndex(0);
    SwitchTab();
    about_->lblCredits()->setText(AboutPage::CreditsText());
    RestoreValues(SettingsStore());
    bmpToMap_->LoadRememberedPicture();
}

void frmStart::SwitchTab() {
    for (QWidget* p : pages_) p->hide();
    page(tsTool_->currentIndex() + 1)->show();
}

QWidget* frmStart::page(int index) const {
    return index >= 1 && index <= kPages ? pages_[index - 1] : nullptr;
}

// Every text box, check box and option button, page by page in the order they were made.
void frmStart::RestoreValues(const SettingsStore& store) {
    for (QWidget* p : pages_) {
        for (QObject* child : p->children()) {
            const QString name = child->objectName();
            if (auto* box = qobject_cast<QLineEdit*>(child)) {
                QString stored = store.GetSetting(name, kTextUnset);
                if (stored != kTextUnset) box->setText(stored);
            } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
                QString stored = store.GetSetting(name, kCheckUnset);
                if (stored == kCheckUnset) continue;
                if (auto state = CheckValue(stored)) check->setCheckState(*state);
            } else if (auto* option = qobject_cast<QRadioButton*>(child)) {
                // Selecting one clears the other options of its page.
                QString stored = store.GetSetting(name, kOptionUnset);
                if (NumericValue(stored.toStdString()) == -1) option->setChecked(true);
            }
        }
    }
}

void frmStart::StoreValues(SettingsStore& store) const {
    for (QWidget* p : pages_) {
        for (QObject* child : p->children()) {
            const QString name = child->objectName();
            if (auto* box = qobject_cast<QLineEdit*>(child)) {
                store.SaveSetting(name, box->text());
            } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
                store.SaveSetting(name, CheckText(check->checkState()));
            } else if (auto* option = qobject_cast<QRadioButton*>(child)) {
                store.SaveSetting(name, option->isChecked() ? "-1" : "0");
            }
        }
    }
}

void frmStart::Unload() {
    SettingsStore store;
    StoreValues(store);
    store.Sync();  // a store that cannot be written must not keep the program from ending
}

void frmStart::closeEvent(QCloseEvent* event) {
    event->accept();
    if (unloaded_) return;
    // From here on no job starts, and a running one stops at its next status report: the map
    // job after its last whole row, a statics job before it opens its files or after it closed
    // them.
    unloaded_ = true;
    Unload();
    if (endProgram_) endProgram_();
}

void frmStart::ShowStatus(const QString& text) {
    statusLine_->setText(text);
    emit statusShown(text);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString frmStart::statusText() const { return statusLine_->text(); }

void frmStart::ShowStatusDetail(const QString& detail) { statusLine_->setToolTip(detail); }

void frmStart::RunJob(const QString& button, const std::function<void()>& job) {
    if (jobRunning_ || unloaded_) {
        emit jobRefused(button);
        return;
    }
    JobScope scope(jobRunning_);
    ShowStatusDetail({});
    try {
        job();
    } catch (const JobStopped&) {
        // The window was closed during the job; the program is ending.
    } catch (const std::exception& e) {
        ShowStatus(QString::fromStdString(e.what()));
    }
}

StatusSink frmStart::JobStatus() {
    return [this](const std::string& text) {
        ShowStatus(QString::fromStdString(text));
        if (unloaded_) throw JobStopped{};
    };
}

void frmStart::ShowMessage(const QString& text, const QString& title) {
    if (messageBox_) {
        messageBox_(text, title);
    } else {
        QMessageBox::information(this, title, text, QMessageBox::Ok);
    }
}

void frmStart::Centre() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

}  // namespace vorlak::app
