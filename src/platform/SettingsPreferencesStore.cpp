#include "SettingsPreferencesStore.h"

#include "ApplicationIdentity.h"

namespace varno {

SettingsPreferencesStore::SettingsPreferencesStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, kOrganizationName, kApplicationName)
{
}

std::optional<QByteArray> SettingsPreferencesStore::value(const QString& key) const
{
    const QVariant stored = m_settings.value(key);
    if (!stored.isValid())
        return std::nullopt;
    return stored.toByteArray();
}

void SettingsPreferencesStore::setValue(const QString& key, const QByteArray& value)
{
    m_settings.setValue(key, value);
    // Written now rather than at exit, so a crash does not lose a preference.
    m_settings.sync();
}

std::optional<QVariant> SettingsPreferencesStore::typedValue(const QString& key) const
{
    QVariant stored = m_settings.value(key);
    if (!stored.isValid())
        return std::nullopt;
    return stored;
}

void SettingsPreferencesStore::setTypedValue(const QString& key, const QVariant& value)
{
    m_settings.setValue(key, value);
    m_settings.sync();
}

void SettingsPreferencesStore::remove(const QString& key)
{
    m_settings.remove(key);
    m_settings.sync();
}

} // namespace varno
