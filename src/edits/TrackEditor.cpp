#include "TrackEditor.h"

#include "library/LibraryEngine.h"
#include "media/ArtworkCache.h"
#include "storage/DatabaseError.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QSet>

#include <exception>

namespace varno {

TrackEditor::TrackEditor(LibraryEngine& library, ArtworkCache& artworkCache, QObject* parent)
    : QObject(parent)
    , m_library(library)
    , m_artworkCache(artworkCache)
    // Waiting edits are resumed through the application, not through the
    // editor: one asked for just before the editor goes still ends, rather
    // than waiting for ever.
    , m_gate(std::make_shared<AsyncGate>(QCoreApplication::instance()))
{
}

TrackEditor::~TrackEditor() = default;

QCoro::Task<> TrackEditor::edit(QUuid id, TrackPatch patch)
{
    std::vector<Edit> edits;
    edits.push_back({id, std::move(patch)});
    auto writing = write(std::move(edits), GoneSongs::Refuse);
    co_await std::move(writing);
}

QCoro::Task<> TrackEditor::edit(std::vector<Edit> edits)
{
    auto writing = write(std::move(edits), GoneSongs::Refuse);
    co_await std::move(writing);
}

QCoro::Task<std::vector<QUuid>> TrackEditor::editThoseStillInLibrary(std::vector<Edit> edits)
{
    auto writing = write(std::move(edits), GoneSongs::LeaveOut);
    co_return co_await std::move(writing);
}

QCoro::Task<> TrackEditor::setRating(QUuid id, std::int64_t rating)
{
    auto writing = edit(id, TrackPatch::withRating(rating));
    co_await std::move(writing);
}

QCoro::Task<> TrackEditor::setFavorite(QUuid id, bool favorite)
{
    auto writing = edit(id, TrackPatch::withFavorite(favorite));
    co_await std::move(writing);
}

QCoro::Task<std::vector<QUuid>> TrackEditor::write(std::vector<Edit> edits, GoneSongs gone)
{
    const std::shared_ptr<AsyncGate> gate = m_gate;
    const QPointer<TrackEditor> self(this);
    const AsyncGate::Hold hold = co_await gate->enter();
    if (!self)
        co_return std::vector<QUuid>();

    // Two parts for one song are one edit, the later fields winning.
    QHash<QUuid, std::size_t> wanted;
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (edits[i].patch.isEmpty())
            continue;
        const auto earlier = wanted.constFind(edits[i].id);
        if (earlier != wanted.constEnd()) {
            edits[*earlier].patch.merge(edits[i].patch);
        } else {
            wanted.insert(edits[i].id, i);
            order.push_back(i);
        }
    }

    // A write the library refused because another process had removed some
    // of the songs from the file is tried again over what the library lists
    // once it has taken that file in, which leaves those songs out; it is
    // given up when the list still holds every song it tried.
    QSet<QUuid> leftOut;
    std::exception_ptr refusal;
    while (!wanted.isEmpty()) {
        // The records are read only now that it is this edit's turn:
        // whatever the edits before it wrote, and whatever the library took
        // in from another process meanwhile, is what the patch is applied to.
        std::vector<Track> records(edits.size());
        std::vector<bool> found(edits.size(), false);
        qsizetype missing = wanted.size();
        for (const Track& song : m_library.allTracks()) {
            const auto at = wanted.constFind(song.id);
            if (at == wanted.constEnd() || found[*at])
                continue;
            records[*at] = edits[*at].patch.appliedTo(song);
            found[*at] = true;
            if (--missing == 0)
                break;
        }
        if (missing > 0 && gone == GoneSongs::Refuse)
            throw DatabaseError::entityNotFound(QStringLiteral("One or more tracks are no longer in the local library."));
        if (refusal && missing == 0)
            std::rethrow_exception(refusal);

        std::vector<Track> changed;
        changed.reserve(static_cast<std::size_t>(wanted.size()));
        for (const std::size_t i : order) {
            if (!wanted.contains(edits[i].id))
                continue;
            if (found[i]) {
                changed.push_back(std::move(records[i]));
            } else {
                leftOut.insert(edits[i].id);
                wanted.remove(edits[i].id);
            }
        }
        if (changed.empty())
            break;

        refusal = nullptr;
        auto updating = m_library.updateTracks(std::move(changed));
        try {
            co_await std::move(updating);
            break;
        } catch (const DatabaseError& error) {
            if (gone == GoneSongs::Refuse || error.kind() != DatabaseError::Kind::NoLongerInLibrary)
                throw;
            refusal = std::current_exception();
        }
        if (!self)
            std::rethrow_exception(refusal);
    }
    std::vector<QUuid> inOrder;
    for (const std::size_t i : order) {
        if (leftOut.contains(edits[i].id))
            inOrder.push_back(edits[i].id);
    }
    co_return inOrder;
}

QCoro::Task<> TrackEditor::setArtwork(Track song, QByteArray image)
{
    const std::shared_ptr<AsyncGate> gate = m_gate;
    const QPointer<TrackEditor> self(this);
    const AsyncGate::Hold hold = co_await gate->enter();
    if (!self)
        co_return;
    const std::vector<Track> current = currentRecords({song});
    auto storing = m_artworkCache.storeArtwork(std::move(image), current.front());
    co_await std::move(storing);
}

QCoro::Task<> TrackEditor::removeArtwork(Track song)
{
    const std::shared_ptr<AsyncGate> gate = m_gate;
    const QPointer<TrackEditor> self(this);
    const AsyncGate::Hold hold = co_await gate->enter();
    if (!self)
        co_return;
    const std::vector<Track> current = currentRecords({song});
    auto removing = m_artworkCache.removeArtwork(current.front());
    co_await std::move(removing);
}

std::vector<QUuid> TrackEditor::missingFromLibrary(const std::vector<Track>& songs) const
{
    QSet<QUuid> missing;
    for (const Track& song : songs)
        missing.insert(song.id);
    for (const Track& song : m_library.allTracks()) {
        missing.remove(song.id);
        if (missing.isEmpty())
            break;
    }
    std::vector<QUuid> ids;
    for (const Track& song : songs) {
        if (missing.remove(song.id))
            ids.push_back(song.id);
    }
    return ids;
}

std::vector<Track> TrackEditor::currentRecords(const std::vector<Track>& songs) const
{
    // The songs are hashed and the library scanned once: an edit of a few
    // songs costs no table of the whole library.
    QHash<QUuid, std::size_t> wanted;
    for (std::size_t i = 0; i < songs.size(); ++i)
        wanted.insert(songs[i].id, i);
    std::vector<Track> current = songs;
    for (const Track& song : m_library.allTracks()) {
        const auto found = wanted.constFind(song.id);
        if (found == wanted.constEnd())
            continue;
        current[*found] = song;
        wanted.erase(found);
        if (wanted.isEmpty())
            break;
    }
    return current;
}

} // namespace varno
