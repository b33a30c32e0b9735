#include "Sorvik/Stores/Preferences.hpp"

#include <mutex>
#include <optional>
#include <string>

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

namespace {

// The core's language provider is a plain function that may run on any thread, so the language
// preference is mirrored here under a lock.
std::mutex languageMutex;
std::optional<std::string> languagePreference;

LanguageSettings currentSettings() {
    LanguageSettings settings = InterfaceLanguage::environmentSettings();
    std::lock_guard lock(languageMutex);
    settings.preference = languagePreference;
    return settings;
}

void mirrorLanguage(const QString& value) {
    std::lock_guard lock(languageMutex);
    languagePreference = value.toStdString();
}

}  // namespace

QString MemoryPreferenceStorage::string(const QString& key, const QString& fallback) const {
    const auto it = values_.find(key);
    return it == values_.end() ? fallback : it->toString();
}

bool MemoryPreferenceStorage::boolean(const QString& key, bool fallback) const {
    const auto it = values_.find(key);
    return it == values_.end() ? fallback : it->toBool();
}

void MemoryPreferenceStorage::setString(const QString& key, const QString& value) { values_[key] = value; }
void MemoryPreferenceStorage::setBoolean(const QString& key, bool value) { values_[key] = value; }

Preferences::Preferences(std::unique_ptr<PreferenceStorage> storage, QObject* parent)
    : QObject(parent), storage_(std::move(storage)) {
    mirrorLanguage(language());
    InterfaceLanguage::installProvider(&currentSettings);
}

Preferences::~Preferences() { InterfaceLanguage::installProvider(nullptr); }

QString Preferences::language() const { return storage_->string(languageKey, QStringLiteral("system")); }

QString Preferences::appearance() const { return storage_->string(appearanceKey, QStringLiteral("system")); }

bool Preferences::revealAfterExport() const { return storage_->boolean(revealKey, false); }

QString Preferences::interfaceCode() const {
    return QString::fromStdString(InterfaceLanguage::code(currentSettings()));
}

void Preferences::setLanguage(const QString& value) {
    if (value == language()) return;
    storage_->setString(languageKey, value);
    mirrorLanguage(value);
    emit languageChanged();
}

void Preferences::setAppearance(const QString& value) {
    if (value == appearance()) return;
    storage_->setString(appearanceKey, value);
    emit appearanceChanged();
}

QString Preferences::windowPlacement() const { return storage_->string(windowPlacementKey, QString()); }

void Preferences::setWindowPlacement(const QString& value) {
    if (value != windowPlacement()) storage_->setString(windowPlacementKey, value);
}

QString Preferences::exportUnderWay() const { return storage_->string(exportUnderWayKey, {}); }

void Preferences::setExportUnderWay(const QString& folder) {
    if (folder != exportUnderWay()) storage_->setString(exportUnderWayKey, folder);
}

void Preferences::setRevealAfterExport(bool value) {
    if (value == revealAfterExport()) return;
    storage_->setBoolean(revealKey, value);
    emit revealAfterExportChanged();
}

}  // namespace sorvik::app
