#pragma once

#include "edits/TrackPatch.h"
#include "platform/AsyncGate.h"
#include "storage/Track.h"

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QUuid>

#include <memory>
#include <vector>

namespace varno {

class ArtworkCache;
class LibraryEngine;

// Applies the edits views make to songs: the heart, the right panel's fields,
// the song editor, ratings and covers. Each edit names only the fields it
// changes and is applied to the library's record as it is when the edit's
// turn comes, never to a copy taken earlier: an edit of other fields made
// meanwhile, here or by another process and taken in by the library, stays.
// Edits are written one at a time, in the order they were asked for, so each
// sees what the one before wrote.
//
// Main thread only; an edit suspends while the library or the artwork cache
// writes.
class TrackEditor final : public QObject {
    Q_OBJECT

public:
    // One song's part of an edit of several.
    struct Edit {
        QUuid id;
        TrackPatch patch;
    };

    TrackEditor(LibraryEngine& library, ArtworkCache& artworkCache, QObject* parent = nullptr);
    ~TrackEditor() override;

    // Writes `patch` over the library's record of the song. Throws
    // DatabaseError::entityNotFound when the song is no longer in the
    // library, DatabaseError::noLongerInLibrary when the library still
    // listed it but another process had removed it from the file (the
    // library then lists the file's songs), and the library's refusal (an
    // empty title, a negative duration), each without writing anything. An
    // empty patch writes nothing.
    QCoro::Task<> edit(QUuid id, TrackPatch patch);
    // Several songs in one write: every song is found and checked before
    // any is written.
    QCoro::Task<> edit(std::vector<Edit> edits);
    // Like edit(edits), for a selection some of whose songs may have left
    // the library: those no longer in it, whether the library knew already
    // or the write found another process had removed them from the file,
    // are left out and the others written. Returns the ids left out, in the
    // order given; nothing is written when that is every song.
    QCoro::Task<std::vector<QUuid>> editThoseStillInLibrary(std::vector<Edit> edits);

    QCoro::Task<> setRating(QUuid id, std::int64_t rating);
    QCoro::Task<> setFavorite(QUuid id, bool favorite);

    // Makes `image` the song's cover in the artwork cache; throws when the
    // cache cannot write it, and then the old cover stays.
    QCoro::Task<> setArtwork(Track song, QByteArray image);
    // Forgets the song's cover; throws the cache's first failed deletion.
    QCoro::Task<> removeArtwork(Track song);

    // The library's current records of `songs`, in the same order; a song
    // no longer in the library keeps the record given.
    std::vector<Track> currentRecords(const std::vector<Track>& songs) const;
    // The ids of those of `songs` the library no longer lists, in order.
    std::vector<QUuid> missingFromLibrary(const std::vector<Track>& songs) const;

    // Whether an edit is being written or waits for its turn.
    bool isBusy() const { return m_gate->isBusy(); }

private:
    // What an edit does with songs no longer in the library.
    enum class GoneSongs { Refuse, LeaveOut };

    // Returns the songs left out (none when refusing).
    QCoro::Task<std::vector<QUuid>> write(std::vector<Edit> edits, GoneSongs gone);

    LibraryEngine& m_library;
    ArtworkCache& m_artworkCache;
    // Shared with the edits in flight, so one that ends after the editor is
    // gone still leaves a gate that exists.
    std::shared_ptr<AsyncGate> m_gate;
};

} // namespace varno
