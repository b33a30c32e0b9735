#pragma once
// The three user preferences: interface language, appearance and reveal after export. Views bind
// to this object; the store reads it. Values live in a storage the app backs with QSettings.
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

namespace sorvik::app {

/// Where preference values are kept.
class PreferenceStorage {
public:
    virtual ~PreferenceStorage() = default;
    virtual QString string(const QString& key, const QString& fallback) const = 0;
    virtual bool boolean(const QString& key, bool fallback) const = 0;
    virtual void setString(const QString& key, const QString& value) = 0;
    virtual void setBoolean(const QString& key, bool value) = 0;
};

/// Values in memory only (tests).
class MemoryPreferenceStorage : public PreferenceStorage {
public:
    QString string(const QString& key, const QString& fallback) const override;
    bool boolean(const QString& key, bool fallback) const override;
    void setString(const QString& key, const QString& value) override;
    void setBoolean(const QString& key, bool value) override;

private:
    QVariantMap values_;
};

class Preferences : public QObject {
    Q_OBJECT
public:
    static inline const QString languageKey = QStringLiteral("sorvikLanguage");
    static inline const QString appearanceKey = QStringLiteral("appearance");
    static inline const QString revealKey = QStringLiteral("revealAfterExport");
    static inline const QString windowPlacementKey = QStringLiteral("mainWindow");
    static inline const QString exportUnderWayKey = QStringLiteral("exportUnderWay");

    /// Installs the interface-language provider of the core's `L`, which reads this object's
    /// language from then on (from any thread).
    explicit Preferences(std::unique_ptr<PreferenceStorage> storage, QObject* parent = nullptr);
    ~Preferences() override;

    /// "system", "zh-Hans" or "en" as stored (default "system").
    QString language() const;
    /// "system", "light" or "dark" as stored (default "system"); other values mean "system".
    QString appearance() const;
    bool revealAfterExport() const;

    /// "zh-Hans" or "en": what the interface speaks now.
    QString interfaceCode() const;

    void setLanguage(const QString& value);
    void setAppearance(const QString& value);
    void setRevealAfterExport(bool value);

    /// Where the main window was when the app last hid or quit (see WindowPlacement); empty at first.
    QString windowPlacement() const;
    void setWindowPlacement(const QString& value);

    /// The folder an export is writing into, set until it ends: a killed one's leftovers there
    /// are removed at the next start. Empty when none.
    QString exportUnderWay() const;
    void setExportUnderWay(const QString& folder);

signals:
    void languageChanged();
    void appearanceChanged();
    void revealAfterExportChanged();

private:
    std::unique_ptr<PreferenceStorage> storage_;
};

}  // namespace sorvik::app
