#pragma once

#include "PreferencesStore.h"

#include <QSettings>

namespace varno {

// Preferences kept by QSettings in the XDG config home (an INI file named after
// the organisation and application). Main thread only.
class SettingsPreferencesStore final : public PreferencesStore {
public:
    SettingsPreferencesStore();

    std::optional<QByteArray> value(const QString& key) const override;
    void setValue(const QString& key, const QByteArray& value) override;
    void remove(const QString& key) override;
    std::optional<QVariant> typedValue(const QString& key) const override;
    void setTypedValue(const QString& key, const QVariant& value) override;

private:
    mutable QSettings m_settings;
};

} // namespace varno
