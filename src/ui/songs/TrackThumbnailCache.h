#pragma once

#include "storage/TrackList.h"

#include <QCache>
#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QUuid>

#include <cstdint>
#include <stop_token>

namespace varno {

class ArtworkCache;
class ThumbnailGenerator;

// The small covers of a song list's rows. A row asks when it is painted;
// the picture is made by the thumbnail generator and kept here, per song, for
// the rows painted most recently. Requests for rows that scrolled away are
// cancelled, so a fast scroll through a large library decodes only what
// stays on screen.
//
// The artwork cache says only that something changed, not for which song,
// so a change marks every picture held as possibly outdated: it is still
// drawn, and asked for again the next time its row is painted; rows whose
// cover did not change get the same picture back from the cache's memory.
//
// Main thread only.
class TrackThumbnailCache final : public QObject {
    Q_OBJECT

public:
    // Drawn this many pixels square (times the screen's scale).
    static constexpr int kEdge = 32;
    // Made at twice that, so the same stored picture serves both kinds of
    // screen.
    static constexpr int kRequestedEdge = 64;

    TrackThumbnailCache(ThumbnailGenerator& generator, ArtworkCache& artworkCache, QObject* parent = nullptr);
    ~TrackThumbnailCache() override;

    // The picture to draw for the song now; a null pixmap while none is
    // known or when the song has no cover. Asks for one when none is held or
    // the one held may be outdated.
    QPixmap thumbnail(const SharedTrack& track);
    // Cancels the requests of every song but these (the rows on screen).
    void keepRequestsFor(const QSet<QUuid>& shown);
    // Drops the song's picture, when its cover is known to have changed.
    void forget(const QUuid& id);

    // Requests whose picture will be kept.
    qsizetype pendingRequestCount() const { return m_requests.size(); }
    // Every request still running in the generator, cancelled ones too:
    // the engines work on until each has ended.
    qsizetype runningRequestCount() const { return m_running; }

signals:
    void thumbnailReady(const varno::SharedTrack& track);
    // Pictures held may be outdated; the rows on screen should be painted
    // again, which asks for fresh ones.
    void thumbnailsOutdated();

private:
    struct Entry {
        QPixmap pixmap;
        std::uint64_t generation = 0;
    };
    struct Request {
        std::stop_source stop;
        std::uint64_t serial = 0;
        std::uint64_t generation = 0;
    };

    void request(const SharedTrack& track);
    QCoro::Task<> fetch(SharedTrack track, std::uint64_t serial, std::uint64_t generation, std::stop_token stop);
    QPixmap decode(const QByteArray& bytes) const;

    ThumbnailGenerator& m_generator;
    QCache<QUuid, Entry> m_entries;
    QHash<QUuid, Request> m_requests;
    // Raised at every change of the artwork cache: pictures of an older
    // generation may be outdated.
    std::uint64_t m_generation = 1;
    std::uint64_t m_nextSerial = 1;
    qsizetype m_running = 0;
};

} // namespace varno
