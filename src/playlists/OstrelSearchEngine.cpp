#include "playlists/OstrelSearchEngine.h"

#include "playlists/QtDebounceTimer.h"

#include <QLoggingCategory>

#include <chrono>
#include <utility>

// Where the work runs. A query over the index of 100,000 songs takes 0.1 to
// 3 ms here (a single common letter, which finds nearly every song, is the
// slowest), so it runs on the main thread, where results are published
// anyway: no hop, and no result that has to be dropped for being stale.
// Building the index takes about 25 ms for such a library; it happens once
// per song list, on the spot for small lists and on the engine's worker for
// large ones, and searches asked for meanwhile wait for it. Only
// searchImmediately(), which promises results for the content it was just
// handed, builds a large index on the main thread.

namespace varno {

namespace {

Q_LOGGING_CATEGORY(lcSearch, "varno.search")

constexpr std::chrono::milliseconds kTypingPause(150);

} // namespace

OstrelSearchEngine::OstrelSearchEngine(QObject* parent)
    : OstrelSearchEngine(std::make_unique<QtDebounceTimer>(), parent)
{
}

OstrelSearchEngine::OstrelSearchEngine(std::unique_ptr<DebounceTimer> debounce, QObject* parent)
    : SearchEngine(parent)
    , m_debounce(std::move(debounce))
    , m_wantedGeneration(std::make_shared<std::atomic<std::uint64_t>>(0))
    , m_songIndex(SongSearchIndex::build({}))
    , m_indexWorker(QStringLiteral("Search index"), std::chrono::seconds(30))
{
    qRegisterMetaType<SearchResults>();
}

OstrelSearchEngine::~OstrelSearchEngine()
{
    // A build still running gives up rather than hold up the destruction.
    m_wantedGeneration->store(0, std::memory_order_relaxed);
}

void OstrelSearchEngine::updateQuery(const QString& query)
{
    setActiveQuery(query);
    m_typedText = query;
    // The timer belongs to the engine and dies with it, so the handler never
    // runs for an engine that is gone.
    m_debounce->start(kTypingPause, [this] { debouncedTextPassed(); });
}

SearchResults OstrelSearchEngine::searchImmediately(const QString& query)
{
    if (!query.isEmpty())
        songIndexNow();
    SearchResults results = resultsFor(query);
    publish(results);
    return results;
}

void OstrelSearchEngine::clearSearch()
{
    // A text still waiting for its pause would bring back results the user
    // just cleared, so it is dropped; and the text searched before the clear
    // is no longer on show, so typing it again searches it again.
    m_typedText.clear();
    m_lastPassedText = QString();
    setActiveQuery({});
    publish(SearchResults {});
}

void OstrelSearchEngine::updateTracks(const TrackList& tracks)
{
    m_tracks = tracks;
    const std::uint64_t generation = ++m_tracksGeneration;
    m_songIndex.reset();
    m_indexing = false;
    if (tracks.size() <= kInlineIndexLimit) {
        songIndexNow();
    } else {
        m_indexing = true;
        m_wantedGeneration->store(generation, std::memory_order_relaxed);
        indexInBackground(generation);
    }
    if (!m_activeQuery.isEmpty())
        searchWhenIndexed(m_activeQuery);
}

void OstrelSearchEngine::updatePlaylists(const QList<Playlist>& playlists)
{
    m_playlistIndex = PlaylistSearchIndex(playlists);
    if (!m_activeQuery.isEmpty())
        searchWhenIndexed(m_activeQuery);
}

void OstrelSearchEngine::setActiveQuery(const QString& query)
{
    if (query == m_activeQuery)
        return;
    m_activeQuery = query;
    emit activeQueryChanged();
}

void OstrelSearchEngine::debouncedTextPassed()
{
    if (m_lastPassedText == m_typedText)
        return;
    m_lastPassedText = m_typedText;
    searchWhenIndexed(m_typedText);
}

void OstrelSearchEngine::searchWhenIndexed(const QString& query)
{
    if (!query.isEmpty() && !m_songIndex) {
        if (m_indexing) {
            m_waitingQuery = query;
            return;
        }
        songIndexNow();
    }
    publish(resultsFor(query));
}

const SongSearchIndex& OstrelSearchEngine::songIndexNow()
{
    if (!m_songIndex) {
        // A build of the same list on the worker stops, and whatever it
        // finished is dropped.
        m_wantedGeneration->store(0, std::memory_order_relaxed);
        m_indexing = false;
        m_songIndex = SongSearchIndex::build(m_tracks);
    }
    return *m_songIndex;
}

void OstrelSearchEngine::indexInBackground(std::uint64_t generation)
{
    // The result is posted to the engine rather than awaited by a
    // coroutine: when the engine goes first, Qt discards the posted call and
    // the index with it, where a suspended coroutine would wait for ever if
    // the event loop has stopped too. Posting is safe until then because
    // the engine's destruction waits for this worker.
    m_indexWorker.pool()->start([this, tracks = m_tracks, wanted = m_wantedGeneration, generation] {
        std::shared_ptr<const SongSearchIndex> index;
        try {
            // Later song lists, or an index built on the main thread
            // meanwhile, make this build useless.
            index = SongSearchIndex::build(tracks, [&] { return wanted->load(std::memory_order_relaxed) != generation; });
        } catch (const std::exception& error) {
            // Only memory can run out here. The search waiting for this
            // index is dropped; the next one builds it on the main thread.
            qCWarning(lcSearch).noquote() << "Building the search index failed:" << error.what();
        }
        QMetaObject::invokeMethod(this, [this, generation, index] { indexBuilt(generation, index); }, Qt::QueuedConnection);
    });
}

void OstrelSearchEngine::indexBuilt(std::uint64_t generation, std::shared_ptr<const SongSearchIndex> index)
{
    if (generation != m_tracksGeneration || !m_indexing)
        return;
    m_indexing = false;
    if (!index) {
        m_waitingQuery.reset();
        return;
    }
    m_songIndex = std::move(index);
    if (std::optional<QString> waiting = std::exchange(m_waitingQuery, std::nullopt))
        publish(resultsFor(*waiting));
}

SearchResults OstrelSearchEngine::resultsFor(const QString& query) const
{
    SearchResults results;
    results.query = query;
    if (query.isEmpty())
        return results;
    Q_ASSERT(m_songIndex);
    const QString key = searchKey(query);
    // Accents alone: there is no letter to look for.
    if (key.isEmpty())
        return results;
    SongSearchIndex::Found found = m_songIndex->find(key);
    results.songs = std::move(found.songs);
    results.artists = std::move(found.artists);
    results.albums = std::move(found.albums);
    results.genres = std::move(found.genres);
    results.playlists = m_playlistIndex.find(key);
    return results;
}

void OstrelSearchEngine::publish(SearchResults results)
{
    m_waitingQuery.reset();
    m_results = std::move(results);
    emit resultsPublished(m_results);
}

} // namespace varno
