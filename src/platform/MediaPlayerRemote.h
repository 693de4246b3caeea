#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace varno {

// What the desktop's media controls (media keys, the panel's player widget,
// `playerctl`) see of the player, as plain values: the adapter that publishes
// it knows nothing of the engines, and whoever feeds it knows nothing of D-Bus.

enum class RemotePlaybackStatus { Playing, Paused, Stopped };
enum class RemoteLoopStatus { None, Track, Playlist };

struct RemoteTrack {
    // The song's identifier as text; the adapter turns it into an object path.
    QString id;
    QString title;
    QStringList artists;
    QString album;
    QStringList albumArtists;
    QStringList genres;
    std::optional<int> trackNumber;
    // Microseconds; 0 when unknown.
    qint64 lengthMicroseconds = 0;
    // A file URL of the song itself.
    QString url;
    // A file URL of the cover as a picture file, empty while there is none.
    QString artUrl;

    bool operator==(const RemoteTrack&) const = default;
};

struct RemotePlayerState {
    RemotePlaybackStatus status = RemotePlaybackStatus::Stopped;
    RemoteLoopStatus loop = RemoteLoopStatus::None;
    bool shuffle = false;
    // 0.0…1.0.
    double volume = 1.0;
    std::optional<RemoteTrack> track;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;

    bool operator==(const RemotePlayerState&) const = default;
};

// What a remote command does. Implemented over the queue and audio engines;
// every call arrives on the main thread.
class RemotePlayerControl {
public:
    virtual ~RemotePlayerControl() = default;

    // The position now, in microseconds (read on demand, never announced).
    virtual qint64 positionMicroseconds() const = 0;

    virtual void raise() = 0;
    virtual void quit() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void playPause() = 0;
    virtual void stop() = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
    // Moves to `position` microseconds into the current song.
    virtual void setPosition(qint64 position) = 0;
    // Opens the files (file URLs) and plays them now.
    virtual void openUris(const QStringList& uris) = 0;
    virtual void setLoopStatus(RemoteLoopStatus loop) = 0;
    virtual void setShuffle(bool shuffle) = 0;
    virtual void setVolume(double volume) = 0;
};

} // namespace varno
