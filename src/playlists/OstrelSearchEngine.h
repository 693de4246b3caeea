#pragma once

#include "platform/Worker.h"
#include "playlists/DebounceTimer.h"
#include "playlists/PlaylistSearchIndex.h"
#include "playlists/SearchEngine.h"
#include "playlists/SongSearchIndex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace varno {

// Searches the songs and playlists last handed to updateTracks() and
// updatePlaylists(). Main thread only; the index of a large song list is
// built on the engine's own worker.
class OstrelSearchEngine final : public SearchEngine {
    Q_OBJECT

public:
    // Debounces with a single-shot QTimer on the calling thread.
    explicit OstrelSearchEngine(QObject* parent = nullptr);
    explicit OstrelSearchEngine(std::unique_ptr<DebounceTimer> debounce, QObject* parent = nullptr);
    ~OstrelSearchEngine() override;

    const QString& activeQuery() const override { return m_activeQuery; }
    void updateQuery(const QString& query) override;
    SearchResults searchImmediately(const QString& query) override;
    void clearSearch() override;
    const SearchResults& results() const override { return m_results; }

    // Replace what is searched. While a query is active its results are
    // published again for the new content, without waiting for a pause.
    void updateTracks(const TrackList& tracks);
    void updatePlaylists(const QList<Playlist>& playlists);

    // Song lists up to this size are indexed on the spot, in about 2 ms:
    // well within a frame, and their results are published before
    // updateTracks() returns.
    static constexpr std::size_t kInlineIndexLimit = 5'000;

private:
    void setActiveQuery(const QString& query);
    void debouncedTextPassed();
    // Searches and publishes now when the song index is ready, otherwise
    // as soon as it is.
    void searchWhenIndexed(const QString& query);
    // The song index of the current list, built here and now if need be.
    const SongSearchIndex& songIndexNow();
    void indexInBackground(std::uint64_t generation);
    void indexBuilt(std::uint64_t generation, std::shared_ptr<const SongSearchIndex> index);
    SearchResults resultsFor(const QString& query) const;
    void publish(SearchResults results);

    std::unique_ptr<DebounceTimer> m_debounce;
    QString m_activeQuery;
    // The latest text given to updateQuery(), waiting for its pause.
    QString m_typedText;
    // The text that passed the pause last: the same text again is dropped.
    std::optional<QString> m_lastPassedText;

    TrackList m_tracks;
    // Counts song lists handed in; the worker reads the latest to give up
    // on a build that is no longer wanted.
    std::uint64_t m_tracksGeneration = 0;
    std::shared_ptr<std::atomic<std::uint64_t>> m_wantedGeneration;
    // For m_tracks; null while its build runs on the worker.
    std::shared_ptr<const SongSearchIndex> m_songIndex;
    // Whether the worker is building the index of m_tracks.
    bool m_indexing = false;
    PlaylistSearchIndex m_playlistIndex;
    // A search asked for while the song index was being built. Only the
    // latest counts: whatever is published before the index is ready makes
    // it obsolete.
    std::optional<QString> m_waitingQuery;

    SearchResults m_results;
    // Last: destroyed first, waiting for a running build; the result it
    // posts to the engine is discarded with the engine's other events.
    SerialWorker m_indexWorker;
};

} // namespace varno
