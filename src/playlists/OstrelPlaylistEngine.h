#pragma once

#include "library/LibraryEngine.h"
#include "platform/AsyncGate.h"
#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "playlists/PlaylistStorage.h"
#include "playlists/PlaylistTree.h"

#include <QHash>

#include <optional>

namespace varno {

// Main thread only; the store does the file work on its worker. Starts
// empty and loads the tree at once; operations called meanwhile wait for it.
class OstrelPlaylistEngine final : public PlaylistEngine {
    Q_OBJECT

public:
    OstrelPlaylistEngine(PlaylistStorage& storage, LibraryEngine& libraryEngine, QueueEngine& queueEngine, QObject* parent = nullptr);
    ~OstrelPlaylistEngine() override;

    const QList<Playlist>& rootPlaylists() const override { return m_rootPlaylists; }
    std::optional<Playlist> getPlaylist(const QUuid& id) const override;
    QList<Playlist> childrenOf(const QUuid& folderID) const override;
    QList<Playlist> playlistsInTreeOrder() const override;

    QCoro::Task<Playlist> createPlaylist(QString name, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<Playlist> createSmartPlaylist(QString name, QString criteria, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<Playlist> createFolder(QString name, std::optional<QUuid> parentFolderID = std::nullopt) override;
    QCoro::Task<> rename(QUuid playlistID, QString newName) override;
    QCoro::Task<Playlist> duplicate(QUuid playlistID) override;
    QCoro::Task<> deletePlaylist(QUuid playlistID) override;
    QCoro::Task<> addTracks(TrackList tracks, QUuid playlistID) override;
    QCoro::Task<> removeTracks(QList<qsizetype> positions, QUuid playlistID) override;
    QCoro::Task<> move(QUuid playlistID, std::optional<QUuid> toFolder, qsizetype atIndex) override;
    QCoro::Task<> toggleFavorite(QUuid playlistID) override;
    QCoro::Task<> updateMetadata(QUuid playlistID, std::optional<QString> description, QStringList tags) override;
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
    QCoro::Task<Playlist> create(QString name, PlaylistType type, std::optional<QUuid> parentFolderID);
    // The tree rebuild, for callers already holding the gate.
    QCoro::Task<> rebuild();
    // Index into rootPlaylists, or throws playlistNotFound.
    qsizetype topLevelIndex(const QUuid& id) const;
    // Writes the top-level playlist at `index` back to the store.
    QCoro::Task<> writeBack(qsizetype index);
    void setRootPlaylists(QList<Playlist> playlists);
    void setLoadState(std::optional<QString> error, QStringList problems);

    PlaylistStorage& m_storage;
    LibraryEngine& m_libraryEngine;
    QueueEngine& m_queueEngine;
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
};

} // namespace varno
