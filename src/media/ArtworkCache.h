#pragma once

#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QSizeF>
#include <QUuid>

#include <optional>

namespace varno {

// Cover art of the library's songs, kept as raw image bytes in memory and on
// disk and keyed by each song's identifier; nothing here decodes a picture.
// Every change to what is cached publishes a new cacheVersion(), so views
// know to reload their pictures; changes made in one turn of the event loop
// publish one version.
//
// Main thread only; file work runs in background tasks that are awaited.
class ArtworkCache : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // What the cache itself keeps of a song's cover, as opposed to the cover
    // it shows: the bytes stored for the song (chosen by the user, or copied
    // from its file once read) and whether the user removed its cover. A
    // cover in the file that was never read, or beside the file, is not
    // kept: with nothing stored and no mark, it is what shows.
    struct CoverState {
        std::optional<QByteArray> stored;
        bool hidden = false;

        friend bool operator==(const CoverState&, const CoverState&) = default;
    };

    virtual QUuid cacheVersion() const = 0;

    // The song's cover: from memory, then from the disk folder, then
    // extracted from the audio file, then the picture beside the file.
    // Nothing when the song has none or the user removed it; never throws,
    // because a cover that cannot be read is treated as missing.
    virtual QCoro::Task<std::optional<QByteArray>> retrieveArtwork(Track track) = 0;

    // A thumbnail stored for the song at this size (fractions are dropped);
    // never makes one.
    virtual QCoro::Task<std::optional<QByteArray>> retrieveThumbnail(Track track, QSizeF targetSize) = 0;

    // Makes `data` the song's cover in memory and on disk, shown even when
    // an earlier cover was removed. Throws when the disk write fails, and
    // then nothing has changed.
    virtual QCoro::Task<> storeArtwork(QByteArray data, Track track) = 0;

    // Keeps a thumbnail of the song's cover at this size, in memory and on
    // disk, where retrieveThumbnail finds it. Throws when the write fails.
    virtual QCoro::Task<> storeThumbnail(QByteArray data, Track track, QSizeF size) = 0;

    // Forgets everything cached for the song. Returns at once; a failed
    // deletion on disk is logged, not reported.
    virtual void evictArtwork(const Track& track) = 0;

    // "Remove Artwork": forgets everything cached for the song, memory and
    // disk, and hides the cover in its file or beside it from now on, this
    // run and the next, without changing any file of the song. Throws when
    // the song cannot be marked or the first deletion on disk fails; the
    // memory entries are gone by then.
    virtual QCoro::Task<> removeArtwork(Track track) = 0;

    // The song's CoverState, read from disk; extracts and looks for
    // nothing. Never throws: a stored cover that cannot be read counts as
    // none.
    virtual QCoro::Task<CoverState> coverState(Track track) = 0;
    // Puts back a CoverState taken earlier: its stored bytes, or else no
    // stored cover and no thumbnails (so the cover in the file or beside it
    // shows again) with the mark as it was. A stored cover shows whatever
    // the mark says, so none is put back under one. Throws when a write or
    // deletion on disk fails.
    virtual QCoro::Task<> restoreCoverState(Track track, CoverState state) = 0;

    // Empties memory, the songs known to have no cover, the disk folder and
    // the marks of removed covers.
    virtual QCoro::Task<> clearCache() = 0;

signals:
    void cacheVersionChanged();
};

} // namespace varno
