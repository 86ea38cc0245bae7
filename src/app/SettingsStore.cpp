#include "app/SettingsStore.h"

#include <QSettings>
#include <QStringList>

namespace vorlak::app {
namespace {

QString Key(const QString& key) { return QString(SettingsStore::kSection) + '/' + key; }

}  // namespace

// An organization without an application name keeps the file at <config>/Ostrand.conf.
SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            kApplication, QString())) {
    readable_ = settings_->status() == QSettings::NoError;
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QString& fallback) const {
    if (!readable_) return fallback;
    QVariant value = settings_->value(Key(key));
    if (!value.isValid()) return fallback;
    // A text with commas that was typed into the file by hand comes back as a list.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',');
    return value.toString();
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
    settings_->setValue(Key(key), value);
}

bool SettingsStore::Sync() {
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace vorlak::app
