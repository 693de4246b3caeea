#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace varno {

// The one message the user must see at start (a session that could not be
// restored, songs that are gone), shown as a banner over the window until
// dismissed. The composition root owns it and sets it; the window only reads
// and dismisses it. Main thread only.
class RecoveryMessage final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    const std::optional<QString>& message() const { return m_message; }
    void set(std::optional<QString> message)
    {
        m_message = std::move(message);
        emit changed();
    }
    void dismiss() { set(std::nullopt); }

signals:
    void changed();

private:
    std::optional<QString> m_message;
};

} // namespace varno
