#pragma once

#include "library/LibraryEngine.h"
#include "platform/AsyncGate.h"
#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "playlists/PlaylistStorage.h"
#include "playlists/PlaylistTree.h"
#include "playlists/SmartRuleMatcher.h"

#include <QHash>

#include <functional>
#include <optional>
#include <vector>

namespace varno {

class DatabaseManager;

// Main thread only; the store does the file work on its worker. Starts
// empty and loads the tree at once; operations called meanwhile wait for it.
//
// Play counts for smart playlists' rules come from `database`'s play history,
// read when the playlists are loaded and when a rule about them is made;
// without a database every song counts as never played.
class OstrelPlaylistEngine final : public PlaylistEngine {
    Q_OBJECT

public:
    OstrelPlaylistEngine(PlaylistStorage& storage, LibraryEngine& libraryEngine, QueueEngine& queueEngine,
                         DatabaseManager* database = nullptr, QObject* parent = nullptr);
    ~OstrelPlaylistEngine() override;

    const QList<Playlist>& rootPlaylists() const override { return m_rootPlaylists; }
    std::optional<Playlist> getPlaylist(const QUuid& id) const override;
    std::optional<Playlist> findPlaylist(const QUuid& id) const override;
    QList<Playlist> childrenOf(const QUuid& folderID) const override;
    QList<Playlist> playlistsInTreeOrder() const override;

    QCoro::Task<Playlist> createPlaylist(QString name, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<Playlist> createSmartPlaylist(QString name, QString criteria, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<Playlist> createSmartPlaylist(QString name, SmartRuleSet rules, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<Playlist> createFolder(QString name, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<> rename(QUuid playlistID, QString newName) override;
    QCoro::Task<Playlist> duplicate(QUuid playlistID) override;
    QCoro::Task<> deletePlaylist(QUuid playlistID) override;
    QCoro::Task<> addTracks(TrackList tracks, QUuid playlistID) override;
    QCoro::Task<> removeTracks(QList<qsizetype> positions, QUuid playlistID) override;
    QCoro::Task<> move(QUuid playlistID, std::optional<QUuid> toFolder, qsizetype atIndex) override;
    QCoro::Task<> toggleFavorite(QUuid playlistID) override;
    QCoro::Task<> updateMetadata(QUuid playlistID, std::optional<QString> description, QStringList tags) override;
    QCoro::Task<> updateSmartRules(QUuid playlistID, SmartRuleSet rules) override;
    QCoro::Task<> queuePlaylist(QUuid playlistID) override;

    TrackList getTracks(const QUuid& playlistID) const override;

    QCoro::Task<> loadPlaylists() override;
    QCoro::Task<> waitForPendingOperations() override;
    QCoro::Task<> refreshIfChangedElsewhere() override;
    const std::optional<QString>& loadError() const override { return m_loadError; }
    const QStringList& loadProblems() const override { return m_loadProblems; }

    // Whether a name fits: trimmed, not empty, at most 120 user-perceived
    // characters ("🇫🇷" is one). Throws PlaylistError; returns the trimmed name.
    static QString validatedName(const QString& name);
    static constexpr qsizetype kMaxNameLength = 120;

private:
    // How a new top level is ordered: by name (a load, a rename, a move), or
    // keeping the order shown so far with new playlists after it (every
    // other change, so that a playlist just made shows at the end).
    enum class TopLevelOrder { ByName, AsShown };

    QCoro::Task<Playlist> create(QString name, PlaylistType type, std::optional<QUuid> parentFolderID);
    // Reads the store and shows it; a store that cannot be read shows
    // nothing and is published as loadError(). For callers holding the gate.
    QCoro::Task<> showStore(TopLevelOrder order);
    // Publishes the tree of `records`.
    void adopt(const std::vector<PlaylistRecord>& records, TopLevelOrder order);
    // Applies `change` to the records as stored when its turn comes and shows
    // the result, other processes' changes included. A playlist the change
    // does not find (deleted elsewhere) fails with playlistNotFound after the
    // store is shown again. For callers holding the gate.
    QCoro::Task<std::vector<PlaylistRecord>> changeStore(PlaylistStorage::RecordsChange change, TopLevelOrder order);
    // changeStore for one top-level playlist as shown (playlistNotFound when
    // it is not shown there); its stored order becomes its shown position.
    QCoro::Task<> changeShownPlaylist(QUuid playlistID, std::function<void(PlaylistRecord&)> change);
    // Index into rootPlaylists, or throws playlistNotFound.
    qsizetype topLevelIndex(const QUuid& id) const;
    // The playlist as shown at any depth, or throws playlistNotFound.
    const Playlist& shownPlaylist(const QUuid& id) const;
    // Throws songsFollowRules for a live smart playlist shown at the top level.
    void refuseHandEditsOfLiveSmart(const QUuid& id) const;
    // Reads the play history's counts for rules about them, before the
    // playlists that need them are shown. For callers holding the gate.
    QCoro::Task<> readPlayCounts();
    const TrackList& smartSongs(const Playlist& playlist) const;
    void setRootPlaylists(QList<Playlist> playlists);
    void setLoadState(std::optional<QString> error, QStringList problems);

    PlaylistStorage& m_storage;
    LibraryEngine& m_libraryEngine;
    QueueEngine& m_queueEngine;
    DatabaseManager* m_database;
    QList<Playlist> m_rootPlaylists;
    // Every stored playlist by id, as of the last rebuild, for folders'
    // contents.
    QHash<QUuid, Playlist> m_allPlaylists;
    std::optional<QString> m_loadError;
    QStringList m_loadProblems;
    AsyncGate m_gate {this};
    std::optional<QCoro::Task<>> m_initialLoad;

    // Where each song sits in the library's list, built when first asked for
    // after the library changed: resolving a playlist then costs its length,
    // not the library's.
    mutable QHash<QUuid, std::size_t> m_libraryPositions;
    mutable bool m_libraryPositionsStale = true;

    // Live smart playlists' songs, worked out when first asked for after the
    // library, the play counts or the playlist's rules changed.
    struct SmartSongs {
        SmartRuleSet rules;
        TrackList songs;
    };
    mutable QHash<QUuid, SmartSongs> m_smartSongs;
    PlayCounts m_playCounts;
    bool m_playCountsRead = false;
};

} // namespace varno
