#pragma once

#include <QByteArray>
#include <QString>

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
};

} // namespace varno
