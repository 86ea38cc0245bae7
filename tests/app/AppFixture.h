// Shared by the window tests: the application object (headless, with the settings store in a
// temporary configuration folder), a fixture that opens the main window, and helpers to reach its
// controls, seed the settings store and make picture files.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/frmStart.h"
#include "app/mComdlg.h"
#include "support/StaticsFixture.h"
#include "support/TestFiles.h"

namespace vorlak::app::test {

using vorlak::test::Bytes;
using vorlak::test::Exists;
using vorlak::test::ReadAll;

// Where the window keeps its remembered values.
std::string StorePath();
// Empties the settings store (no file at all).
void ClearStore();
// Writes `values` into the store's group "Vorlak", as the window would.
void Seed(const std::map<QString, QString>& values);
// The texts in the store's group "Vorlak".
std::map<QString, QString> StoredValues();

// A w x h picture file in `format` ("BMP", "PNG") filled with `colour` (0x00BBGGRR).
void WritePicture(const std::string& path, int w, int h, int32_t colour = 0,
                  const char* format = "BMP");

// An item of `type` lying on the ground, in a Zedra3 item world file.
inline std::string Item(int id, int x, int y, int type = 255) {
    return vorlak::test::Zedra3Item(std::to_string(id), std::to_string(x), std::to_string(y), "0",
                                    "", std::to_string(type));
}

// Queues a click at the middle of the window's tab `index`: it runs when events are next
// processed.
void QueueTabClick(frmStart& window, int index);
// Queues a click of `button`.
void QueueClick(QAbstractButton* button);

class WindowTest : public ::testing::Test {
  protected:
    // The file dialog is replaced by one that answers answer_ and, as a person browsing
    // elsewhere does, moves the current folder to the test's folder.
    void SetUp() override;
    void TearDown() override;

    // Opens a window that shows itself like the real one; a previous one is dropped first.
    frmStart& Open();
    // Closes the window as the user does; returns how often it asked the program to end.
    int CloseWindow();

    template <typename T>
    T* Find(const QString& name) {
        T* control = window_->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name.toStdString();
        return control;
    }
    QString TextOf(const QString& name) { return Find<QLineEdit>(name)->text(); }
    void SetText(const QString& name, const QString& text) { Find<QLineEdit>(name)->setText(text); }
    void SetText(const QString& name, const char* text) { SetText(name, QString(text)); }
    void SetText(const QString& name, const std::string& text) { SetText(name, Q(text)); }
    // What a control shows, written as the store keeps it: a text box its text, an option -1 when
    // selected and 0 otherwise, the check box 0, 1 (checked) or 2 (greyed).
    QString ValueOf(const QString& name);
    void ExpectValues(const std::vector<std::pair<QString, QString>>& values) {
        for (const auto& [name, value] : values)
            EXPECT_EQ(ValueOf(name), value) << name.toStdString();
    }
    QPushButton* Button(const QString& name) { return Find<QPushButton>(name); }
    QRadioButton* Option(const QString& name) { return Find<QRadioButton>(name); }
    QString Dim() { return Find<QLabel>("lblDim")->text(); }
    QString Status() { return window_->statusText(); }

    frmStart& window() { return *window_; }
    // Points the three statics pages at the files below.
    void UseTestFiles();
    // Makes the test's folder the current one (jobs look for colors.gif and the art files there)
    // until the test ends.
    void WorkInTestFolder();
    static QString Q(const std::string& s) { return QString::fromStdString(s); }

    struct Message {
        QString text, title;
        bool operator==(const Message&) const = default;
    };

    vorlak::test::TempDir dir_;
    std::string data_ = dir_.path("statics0.mul"), index_ = dir_.path("staidx0.mul");
    std::string items_ = dir_.path("items.wsc"), melted_ = dir_.path("melted.wsc");
    std::unique_ptr<frmStart> window_;
    int endProgramCalls_ = 0;
    QString answer_;
    std::vector<mComdlg::FileRequest> requests_;  // what the file dialog was asked
    mComdlg::FileDialog previousDialog_;
    std::vector<Message> messages_;  // message boxes the window showed
};

}  // namespace vorlak::app::test
