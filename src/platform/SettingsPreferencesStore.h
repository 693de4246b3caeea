#pragma once

#include "PreferencesStore.h"

#include <QHash>
#include <QSettings>

#include <memory>

namespace varno {

// Preferences kept by QSettings in the XDG config home (an INI file named after
// the organisation and application). Main thread only.
//
// QSettings reads whatever sits at its path and writes a fresh file over it,
// so a file it cannot read (no permission, a folder, a pipe that would block
// forever, a link to an endless device) would pass as "no preferences" and
// then be replaced by the first change. The store looks first: when the file
// is there but cannot be read it never opens it, reports problem(), and
// keeps this run's changes in memory.
class SettingsPreferencesStore final : public PreferencesStore {
public:
    SettingsPreferencesStore();

    std::optional<QByteArray> value(const QString& key) const override;
    void setValue(const QString& key, const QByteArray& value) override;
    void remove(const QString& key) override;
    std::optional<QVariant> typedValue(const QString& key) const override;
    void setTypedValue(const QString& key, const QVariant& value) override;
    std::optional<QString> problem() const override { return m_problem; }

private:
    void store(const QString& key, const QVariant& value);
    std::optional<QVariant> stored(const QString& key) const;

    std::optional<QString> m_problem;
    // Absent while the file cannot be read; m_memory holds changes then.
    std::unique_ptr<QSettings> m_settings;
    QHash<QString, QVariant> m_memory;
};

} // namespace varno
