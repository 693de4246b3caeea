#pragma once

#include "storage/Playlist.h"
#include "storage/TrackList.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace varno {

// The playlists behind the sidebar and the playlist views: the published
// top level (folders know their children by id), every playlist command,
// and a playlist's songs resolved against the library.
//
// Main thread only. Operations suspend while the store reads and writes on
// its worker; they run one at a time in the order they were called, so each
// sees what the ones before it did. Each change is made to the playlists as
// stored when its turn comes, so another process's change made meanwhile is
// kept, and what is published afterwards shows it too. Unknown ids (and
// playlists another process deleted) fail with
// PlaylistError::playlistNotFound; store failures reach the caller as the
// store's errors, and then nothing published changes.
class PlaylistEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The top level, in name order after each rebuild; other changes keep
    // the order shown and add new playlists at the end. rootPlaylistsChanged()
    // follows every change.
    virtual const QList<Playlist>& rootPlaylists() const = 0;
    // Only the top level is searched.
    virtual std::optional<Playlist> getPlaylist(const QUuid& id) const = 0;
    // A playlist or folder at any depth, as of the last rebuild.
    virtual std::optional<Playlist> findPlaylist(const QUuid& id) const = 0;
    // The playlists directly inside a folder at any depth, as of the last
    // rebuild.
    virtual QList<Playlist> childrenOf(const QUuid& folderID) const = 0;
    // The top level and everything inside it, depth first in tree order: what
    // search looks through.
    virtual QList<Playlist> playlistsInTreeOrder() const = 0;

    // Creation takes any name as given. Without a folder the new playlist is
    // appended to the top level; inside a folder it is among the folder's
    // children.
    virtual QCoro::Task<Playlist> createPlaylist(QString name, std::optional<QUuid> parentFolderID = std::nullopt) = 0;
    // The criteria text is stored as given; when it reads as valid rules
    // they are stored too and the playlist is live.
    virtual QCoro::Task<Playlist> createSmartPlaylist(QString name, QString criteria, std::optional<QUuid> parentFolderID = std::nullopt) = 0;
    // A live smart playlist: the rules and the criteria text written from
    // them. Throws PlaylistError::Kind::InvalidRuleValue for a value that does
    // not fit its property ("Rating > abc").
    virtual QCoro::Task<Playlist> createSmartPlaylist(QString name, SmartRuleSet rules, std::optional<QUuid> parentFolderID = std::nullopt) = 0;
    virtual QCoro::Task<Playlist> createFolder(QString name, std::optional<QUuid> parentFolderID = std::nullopt) = 0;
    // Trims the name; refuses an empty one and one longer than 120
    // user-perceived characters. Works at any depth.
    virtual QCoro::Task<> rename(QUuid playlistID, QString newName) = 0;
    // At any depth: the copy ("… (Copy)", not a favourite; a folder's copy
    // is empty) goes last in the source's folder, or at the end of the top
    // level.
    virtual QCoro::Task<Playlist> duplicate(QUuid playlistID) = 0;
    // At any depth. A folder goes with everything inside it. Songs are never
    // touched.
    virtual QCoro::Task<> deletePlaylist(QUuid playlistID) = 0;
    // Appends the songs not already in the playlist as stored, in the given
    // order, for a playlist at any depth. A live smart playlist refuses with
    // PlaylistError::songsFollowRules, as do removing, moving and inserting.
    virtual QCoro::Task<> addTracks(TrackList tracks, QUuid playlistID) = 0;
    // Positions in the playlist's song ids as published; those outside it
    // are ignored. The songs shown there go: when another process changed
    // the stored list meanwhile, each from the same position if it is still
    // there, else its nearest occurrence; a song already gone removes
    // nothing else. At any depth.
    virtual QCoro::Task<> removeTracks(QList<qsizetype> positions, QUuid playlistID) = 0;
    // Moves the songs at `positions` of the playlist's song ids as
    // published, in their order, to just before the song published at
    // `beforePosition` (past the last one: to the end). Found as removing
    // finds them when another process changed the list meanwhile. At any
    // depth.
    virtual QCoro::Task<> moveTracks(QList<qsizetype> positions, qsizetype beforePosition, QUuid playlistID) = 0;
    // Puts songs back at positions of the stored list (ascending, each
    // counted with the ones before it back): what undoes a removal. Unlike
    // adding, a song already in the playlist goes in again. At any depth.
    virtual QCoro::Task<> insertTracks(QList<QUuid> songIDs, QList<qsizetype> positions, QUuid playlistID) = 0;
    // Puts a playlist or folder from any depth into `toFolder` (the top
    // level when absent) as its `atIndex`-th child; the top level stays in
    // name order. A folder moved into itself or anything inside it fails
    // with PlaylistError::invalidOperation.
    virtual QCoro::Task<> move(QUuid playlistID, std::optional<QUuid> toFolder, qsizetype atIndex) = 0;
    // Sets the opposite of the mark published.
    virtual QCoro::Task<> toggleFavorite(QUuid playlistID) = 0;
    virtual QCoro::Task<> updateMetadata(QUuid playlistID, std::optional<QString> description, QStringList tags) = 0;
    // Replaces a smart playlist's rules and criteria text, at any depth;
    // a smart playlist that was not live becomes live. Validates as
    // createSmartPlaylist does; other playlists fail with
    // PlaylistError::notASmartPlaylist.
    virtual QCoro::Task<> updateSmartRules(QUuid playlistID, SmartRuleSet rules) = 0;
    // Replaces the queue with the playlist's songs from the first one, for a
    // playlist at any depth. A
    // folder fails with PlaylistError::cannotPlayFolder; a playlist none of
    // whose songs is in the library does nothing.
    virtual QCoro::Task<> queuePlaylist(QUuid playlistID) = 0;

    // The playlist's songs that are in the library, in playlist order (a
    // repeated id gives the song again), for a playlist at any depth; an
    // unknown playlist gives none. A live smart playlist's songs are the
    // library's songs that match its rules, in library order, worked out
    // again when the library or the rules change.
    virtual TrackList getTracks(const QUuid& playlistID) const = 0;

    // Rebuilds the tree from the store.
    virtual QCoro::Task<> loadPlaylists() = 0;
    // Rebuilds the tree when another process changed the store since this
    // engine last read or wrote it; otherwise changes nothing.
    virtual QCoro::Task<> refreshIfChangedElsewhere() = 0;
    // Finishes once every operation called before it has finished (the
    // first load included).
    virtual QCoro::Task<> waitForPendingOperations() = 0;
    // Why the last rebuild showed no playlists (the store is there but could
    // not be read, or does not decode), or absent.
    virtual const std::optional<QString>& loadError() const = 0;
    // What the last rebuild had to leave out of the tree, one sentence each.
    virtual const QStringList& loadProblems() const = 0;

signals:
    void rootPlaylistsChanged();
    void loadStateChanged();
};

} // namespace varno
