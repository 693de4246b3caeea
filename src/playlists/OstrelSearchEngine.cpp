#include "playlists/OstrelSearchEngine.h"

#include "playlists/QtDebounceTimer.h"

#include <QLoggingCategory>
#include <QPointer>

#include <chrono>
#include <utility>

// Where searches run. A query over an index costs a few milliseconds even for
// 100,000 songs, so it runs on the main thread, where results are published
// anyway: no hop, and no result that has to be dropped for being stale.
// Building the index costs more (tens of milliseconds for such a library);
// it happens once per song list, on the spot for small lists and on the
// engine's worker for large ones, while searches asked for in the meantime
// wait for it. Only searchImmediately(), which promises results for the
// content it was just handed, builds a large index on the main thread.

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

QCoro::Task<> OstrelSearchEngine::indexInBackground(std::uint64_t generation)
{
    // Nobody awaits this task; the engine may be gone when it resumes.
    QPointer<OstrelSearchEngine> self(this);
    std::shared_ptr<const SongSearchIndex> index;
    try {
        auto building = m_indexWorker.run([tracks = m_tracks, wanted = m_wantedGeneration, generation] {
            // Builds queued behind this one, or an index built on the main
            // thread meanwhile, make it useless.
            return SongSearchIndex::build(tracks, [&] { return wanted->load(std::memory_order_relaxed) != generation; });
        });
        index = co_await building;
    } catch (const std::exception& error) {
        // Only memory can run out here. The next search builds the index on
        // the main thread instead.
        qCWarning(lcSearch).noquote() << "Building the search index failed:" << error.what();
    }
    if (!self || generation != m_tracksGeneration || !m_indexing)
        co_return;
    m_indexing = false;
    if (!index)
        co_return;
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
