#pragma once

#include "playback/RepeatMode.h"
#include "playback/ShuffleMode.h"
#include "storage/Track.h"
#include "storage/TrackList.h"

#include <QObject>
#include <QUuid>

#include <exception>
#include <optional>
#include <vector>

namespace varno {

// The play queue: the song now current, the songs still to come, the songs
// already played, and the repeat and shuffle modes. All queue policy lives
// here; the audio engine only plays single songs. Main thread only.
//
// The lists hold the library's shared songs, never copies: a queue of the
// whole library costs a pointer per song, and starting it copies no song.
class QueueEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual const std::optional<Track>& currentTrack() const = 0;
    // In play order: shuffled while shuffle is standard.
    virtual const TrackList& upcoming() const = 0;
    // Oldest first.
    virtual const TrackList& history() const = 0;
    virtual RepeatMode repeatMode() const = 0;
    virtual void setRepeatMode(RepeatMode mode) = 0;
    virtual ShuffleMode shuffleMode() const = 0;
    virtual void setShuffleMode(ShuffleMode mode) = 0;

    // Replaces the queue with `tracks` and starts the one at `startingAt`
    // (clamped into the list). A song that cannot start is passed over for
    // the next one that can, and its error is published; when none of them
    // from `startingAt` on can start, the queue is put back as it was.
    virtual void playNow(const TrackList& tracks, int startingAt = 0) = 0;
    virtual void playNext(const TrackList& tracks) = 0;
    virtual void playLast(const TrackList& tracks) = 0;
    // Plays the upcoming song at `at` as if "next" had been asked for until
    // it came up: the current song and the upcoming songs before it join the
    // history, the songs after it stay in their order (none is dealt
    // again, shuffled or not). A song that cannot start is passed over as
    // "next" does; when none from `at` on can start, nothing changes.
    virtual void skipTo(int at) = 0;
    // Indexes into upcoming(); out-of-range indexes are ignored.
    virtual void remove(int at) = 0;
    virtual void move(int from, int to) = 0;
    virtual void clearUpcoming() = 0;
    // Drops every copy of the song from every list, and unloads it when it
    // is the current song. Called once it has left the library.
    virtual void removeTrackFromPlayback(const QUuid& trackID) = 0;
    // The "next" command. The song now started, or none. Songs that cannot
    // start are passed over, as when a song fails while it plays: playback
    // moves on and stops only when no song left can start.
    virtual std::optional<Track> advanceToNext() = 0;
    // The "previous" command: past three seconds into a song it restarts it.
    virtual std::optional<Track> returnToPrevious() = 0;
    // Always goes back to the song played before, when there is one.
    virtual std::optional<Track> playPreviousSong() = 0;

    // The last failure to start a song or reported by the audio engine;
    // null when none. Published through lastPlaybackErrorChanged().
    virtual std::exception_ptr lastPlaybackError() const = 0;
    // The last session save's failure; null after a successful save.
    virtual std::exception_ptr lastPersistenceError() const = 0;
    // Dismisses both reported errors.
    virtual void clearReportedErrors() = 0;
    // Writes the session; with `synchronously` it blocks until the file is
    // written (for deactivation and quitting). The player bar saves this way
    // after a volume change, which the audio engine does not save itself.
    virtual void savePlaybackState(bool synchronously) = 0;

signals:
    void currentTrackChanged();
    void upcomingChanged();
    void historyChanged();
    void repeatModeChanged();
    void shuffleModeChanged();
    void lastPlaybackErrorChanged();
    void lastPersistenceErrorChanged();
};

} // namespace varno
