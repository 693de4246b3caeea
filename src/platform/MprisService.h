#pragma once

#include "platform/MediaPlayerRemote.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

namespace varno {

// How the player presents itself to the desktop's media controls.
struct MprisIdentity {
    // Owned as "org.mpris.MediaPlayer2.<name>" (or with ".instance<pid>"
    // added when another player of ours holds it).
    QString busName;
    QString identity;
    // The desktop entry's name without ".desktop"; empty for none.
    QString desktopEntry;
    bool canRaise = false;
    QStringList supportedUriSchemes;
    QStringList supportedMimeTypes;
};

// Publishes the player on the session bus as an MPRIS media player: the
// "org.mpris.MediaPlayer2" root and ".Player" interfaces at
// /org/mpris/MediaPlayer2. Commands go to a RemotePlayerControl; what the
// player shows comes in through setState(), and every change it makes is
// announced with PropertiesChanged (except the position, which clients
// read when they want it, and the Seeked signal for jumps).
//
// Main thread only. The connection is given, so tests can use a private bus.
class MprisService final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    MprisService(QDBusConnection connection, RemotePlayerControl& control, MprisIdentity identity, QObject* parent = nullptr);
    ~MprisService() override;

    // Registers the object and the bus name. Without a bus (a headless
    // machine) it writes one diagnostic line and returns false; the player
    // works on without it.
    bool publish();
    bool isPublished() const { return !m_serviceName.isEmpty(); }
    // The bus name owned, once published.
    const QString& serviceName() const { return m_serviceName; }

    const MprisIdentity& identity() const { return m_identity; }
    RemotePlayerControl& control() { return m_control; }
    const RemotePlayerState& state() const { return m_state; }
    // Takes the new state and announces what changed.
    void setState(const RemotePlayerState& state);
    // The position jumped (a seek, a restart) to `position` microseconds.
    void announceSeek(qint64 position);

    // The object path a song's identifier is published under.
    static QString trackObjectPath(const QString& trackID);

private:
    QDBusConnection m_connection;
    RemotePlayerControl& m_control;
    MprisIdentity m_identity;
    RemotePlayerState m_state;
    QString m_serviceName;
};

} // namespace varno
