// The per-user store of remembered values: the file Ostrand.conf in the user's configuration
// folder ($XDG_CONFIG_HOME, by default ~/.config), group "Vorlak", one text per key.
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace vorlak::app {

class SettingsStore {
  public:
    static constexpr const char* kApplication = "Ostrand";
    static constexpr const char* kSection = "Vorlak";

    // Opens the store; a missing file is an empty store.
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;
    // The text stored under `key`, or `fallback` when there is none.
    QString GetSetting(const QString& key, const QString& fallback) const;
    void SaveSetting(const QString& key, const QString& value);
    // Writes what was saved to the file; false when it could not be written.
    bool Sync();

  private:
    std::unique_ptr<QSettings> settings_;
    bool readable_ = true;  // false: the file could not be read, every read gives its default
};

}  // namespace vorlak::app
