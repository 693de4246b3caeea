#pragma once

#include "platform/Worker.h"
#include "storage/Track.h"
#include "storage/TrackList.h"

#include <QCoroTask>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <optional>
#include <vector>

namespace varno {

// In-memory index of the library's songs: by identifier, and identifiers by
// artist, album and genre (keys trimmed, case-sensitive). Nothing is persisted.
// It holds the library's own shared records, never copies of them.
//
// Serialised: every operation runs on the cache's own serial worker, so
// operations never interleave; callers on the main thread await them.
class MetadataCache final {
public:
    MetadataCache();
    ~MetadataCache();

    QCoro::Task<> insert(TrackList tracks);
    // The same insert, queued without waiting for it: later operations still
    // run after it. For a whole library, whose index nobody needs at once.
    void insertLater(TrackList tracks);
    QCoro::Task<std::optional<Track>> track(QUuid id);
    QCoro::Task<TrackList> tracksByArtist(QString artist);
    QCoro::Task<TrackList> tracksByAlbum(QString album);
    QCoro::Task<QStringList> allArtists();
    QCoro::Task<QStringList> allAlbums();
    QCoro::Task<> evict(Track track);
    QCoro::Task<> clear();
    QCoro::Task<qint64> hitCount();
    QCoro::Task<qint64> missCount();

private:
    // A set of identifiers kept as a sorted vector: a hash set per album
    // costs several times its content for the ten-odd songs an album has.
    using IdSet = std::vector<QUuid>;
    using Index = QHash<QString, IdSet>;

    struct State {
        QHash<QUuid, SharedTrack> tracksByID;
        Index tracksByArtist;
        Index tracksByAlbum;
        Index tracksByGenre;
        qint64 hitCount = 0;
        qint64 missCount = 0;
    };

    void insertNow(const TrackList& tracks);
    // Adds the song's id under its trimmed key; the set is put in order
    // again by normalise() once a whole insert has been added.
    static void addToIndex(Index& index, const std::optional<QString>& value, const QUuid& id, QSet<QString>& touched);
    static void normalise(Index& index, const QSet<QString>& touched);
    static void removeFromIndex(Index& index, const std::optional<QString>& value, const QUuid& id);
    static TrackList lookUp(const State& state, const Index& index, const QString& key);
    static QStringList sortedKeys(const Index& index);

    // Touched only by work running on m_worker.
    State m_state;
    SerialWorker m_worker {QStringLiteral("MetadataCache")};
};

} // namespace varno
