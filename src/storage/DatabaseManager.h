#pragma once

#include "storage/Json.h"
#include "storage/PlaybackHistory.h"
#include "storage/PlaybackStateSnapshot.h"
#include "storage/PlaybackStatistics.h"
#include "storage/Playlist.h"
#include "storage/TagFields.h"
#include "storage/Track.h"
#include "storage/TracksFileUpdate.h"

#include <QCoroTask>
#include <QHash>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

namespace varno {

// The persistence layer: the library, a playlist list, the play history and
// the playback session, each one JSON file read whole and replaced whole, plus
// typed preferences. The files are the only state: the one thing kept is the
// library as this manager last read or wrote it, which shares its songs with
// whoever loaded it and spares reading the file again while no other process
// has replaced it.
//
// Main thread only. The coroutine operations hop to the manager's serial
// worker for their file work and resume on the main thread; savePlaybackState
// may also be called from the session store's own worker. Every change of a
// file holds the state lock shared with other processes from its read to its
// write; a file that exists but cannot be read is an error, never "empty".
class DatabaseManager {
public:
    virtual ~DatabaseManager() = default;

    // "library.sqlite": computed and exposed, never created.
    virtual QUrl databaseURL() const = 0;

    virtual QCoro::Task<> eraseAllData() = 0;
    // Upsert keyed by id: a stored song with the same id is replaced in place,
    // others are appended in the given order. For putting songs back (undo
    // of a removal); edits go through updateTracks.
    virtual QCoro::Task<TracksFileUpdate> saveTracks(TrackList tracks) = 0;
    // For edits: each song replaces the stored song with the same id, in
    // place. A song the file no longer holds (another process removed it) is
    // never added back: then nothing is written, the update lists those songs
    // in `notStored` and carries the file's library.
    virtual QCoro::Task<TracksFileUpdate> updateTracks(TrackList tracks) = 0;
    // For imports: appends the songs whose file the library does not hold
    // yet. A song for the same file that another process stored meanwhile
    // wins, so two imports of one folder at once add each file once.
    virtual QCoro::Task<TracksFileUpdate> appendNewTracks(TrackList tracks) = 0;
    // For rescans: on each named song's record as the file holds it now,
    // fills in the tag fields it lacks and marks them read (fillTagFields in
    // TagFields.h), so another process's edits of the same records stay. A
    // record already marked is left alone (its fields may have been cleared
    // on purpose) and a song the file no longer holds is not brought back.
    // Writes nothing when no record changes; `filled` holds those that did.
    virtual QCoro::Task<TracksFileUpdate> fillTagFields(std::vector<TagFieldsFill> fills) = 0;
    // Songs are about to be appended: the manager may begin the write now,
    // while they are still being read, so that the append itself costs what
    // the new songs take. A hint; returns at once.
    virtual void prepareToAppend() {}
    virtual QCoro::Task<TrackList> loadAllTracks() = 0;
    virtual QCoro::Task<std::optional<Track>> fetchTrack(QUuid id) = 0;
    virtual QCoro::Task<TracksFileUpdate> deleteTracks(TrackList tracks) = 0;
    // Whether the tracks file now on disk is a version this manager neither
    // read nor wrote: another process replaced it.
    virtual QCoro::Task<bool> tracksFileChangedElsewhere() = 0;

    // The folders added to the library, in the order added. Kept in a state
    // file of their own rather than the preferences, so that processes adding
    // folders at the same time each add theirs to the list as it is on disk.
    virtual QCoro::Task<QStringList> loadWatchedFolders() = 0;
    // Adds the folders not listed yet to the list as it is on disk now, under
    // the state lock; returns the list as written.
    virtual QCoro::Task<QStringList> addWatchedFolders(QStringList folders) = 0;

    virtual void savePlaylists(const std::vector<Playlist>& playlists) = 0;
    virtual std::vector<Playlist> loadAllPlaylists() = 0;
    virtual void deletePlaylist(const QUuid& id) = 0;

    // Never reports an error: a damaged history is replaced, a failed write
    // is dropped.
    virtual void recordPlayback(const QUuid& trackID, Timestamp timestamp) = 0;
    virtual PlaybackStatistics fetchStatistics(const QUuid& trackID) = 0;
    // How often each song of the history was played, from one reading of
    // the history on the manager's worker. Like fetchStatistics, a history
    // that cannot be read or decoded counts as empty.
    virtual QCoro::Task<QHash<QUuid, std::int64_t>> fetchPlayCounts() = 0;

    virtual void savePlaybackState(const PlaybackStateSnapshot& snapshot) = 0;
    virtual std::optional<PlaybackStateSnapshot> loadPlaybackState() = 0;

    // Stores any value with a JSON form under `key` in the user preferences.
    // Throws json::EncodingError and stores nothing when it cannot be encoded.
    template<typename T>
    void setPreference(const T& value, const QString& key)
    {
        const std::string encoded = json::encodeValue(value);
        setPreferenceData(QByteArray(encoded.data(), static_cast<qsizetype>(encoded.size())), key);
    }

    // Absent when nothing is stored or what is stored is not a T.
    template<typename T>
    std::optional<T> getPreference(const QString& key) const
    {
        const std::optional<QByteArray> data = preferenceData(key);
        if (!data)
            return std::nullopt;
        try {
            return json::decodeValue<T>(*data, "preference");
        } catch (const json::DecodingError&) {
            return std::nullopt;
        }
    }

protected:
    virtual void setPreferenceData(const QByteArray& data, const QString& key) = 0;
    virtual std::optional<QByteArray> preferenceData(const QString& key) const = 0;
};

} // namespace varno
