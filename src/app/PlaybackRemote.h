#pragma once

#include "platform/MediaPlayerRemote.h"
#include "platform/MprisService.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <memory>

namespace varno {

class ArtworkCache;
class AudioEngine;
class QueueEngine;

// The desktop's media controls over the queue and audio engines: turns the
// engines' published state into what the MPRIS service shows, and remote
// commands into engine operations, as the player bar would do them.
// Main thread only; the cover file is written on a pool thread.
class PlaybackRemote final : public QObject, public RemotePlayerControl {
    Q_OBJECT

public:
    // What only the owner can do. A missing hook makes the command do nothing.
    struct Hooks {
        std::function<void()> raise;
        std::function<void()> quit;
        std::function<void(const QStringList& uris)> openUris;
    };

    // `artwork` may be null (no covers are offered then). `coverFolder` is
    // where the playing song's cover is written as a picture file for the
    // desktop to show; it is made private to the user (0700).
    PlaybackRemote(QDBusConnection connection, MprisIdentity identity, QueueEngine& queue, AudioEngine& audio,
                   ArtworkCache* artwork, QString coverFolder, Hooks hooks, QObject* parent = nullptr);
    ~PlaybackRemote() override;

    // Publishes the player; false without a bus (one diagnostic line).
    bool publish();
    MprisService& service() { return *m_service; }
    // The state now, computed from the engines.
    RemotePlayerState currentState() const;

    qint64 positionMicroseconds() const override;
    void raise() override;
    void quit() override;
    void play() override;
    void pause() override;
    void playPause() override;
    void stop() override;
    void next() override;
    void previous() override;
    void setPosition(qint64 position) override;
    void openUris(const QStringList& uris) override;
    void setLoopStatus(RemoteLoopStatus loop) override;
    void setShuffle(bool shuffle) override;
    void setVolume(double volume) override;

private:
    // Changes in one turn of the event loop are announced together.
    void scheduleUpdate();
    void update();
    void watchPosition();
    void fetchCover();

    QueueEngine& m_queue;
    AudioEngine& m_audio;
    QPointer<ArtworkCache> m_artwork;
    QString m_coverFolder;
    Hooks m_hooks;
    std::unique_ptr<MprisService> m_service;
    bool m_updateScheduled = false;

    // For telling a jump from the position's steady advance.
    QUuid m_positionTrack;
    double m_lastPosition = 0;
    QElapsedTimer m_sinceLastPosition;
    bool m_seekRequested = false;

    // The cover written for the current song.
    QUuid m_coverTrack;
    QString m_coverUrl;
    QString m_coverFile;
};

} // namespace varno
