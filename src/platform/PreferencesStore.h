#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace varno {

// The user's key-value preference store. Values survive a restart; a missing
// key reads as absent. Main thread only.
class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;

    virtual std::optional<QByteArray> value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QByteArray& value) = 0;
    virtual void remove(const QString& key) = 0;

    // Booleans and numbers kept as the store's own typed values rather than
    // bytes, so that the settings file reads "true" or "240" and can be
    // edited by hand. Whatever comes back is only what the store holds: a
    // value edited by hand may be text of any kind, so callers check it.
    virtual std::optional<QVariant> typedValue(const QString& key) const = 0;
    virtual void setTypedValue(const QString& key, const QVariant& value) = 0;

    // Why the stored preferences could not be read, in a sentence for the
    // user, or nothing. A store with a problem starts from defaults, keeps
    // changes for this run only and leaves the stored file as it is.
    virtual std::optional<QString> problem() const { return std::nullopt; }
};

} // namespace varno
