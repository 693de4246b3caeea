#pragma once

#include "FakeAudioEngine.h"

#include "library/LibraryEngine.h"
#include "playback/QueueEngine.h"
#include "storage/DatabaseError.h"

#include <QStringList>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace varno::test {

// A library that keeps its songs in memory. `failUpdate` may throw to refuse
// an update; it is told how many updates were asked for so far.
class FakeLibrary final : public LibraryEngine {
public:
    std::vector<Track> tracks;
    int updateCalls = 0;
    std::function<void(int call)> failUpdate;

    // Published afresh from `tracks` at every read, which tests change freely.
    const TrackList& allTracks() const override
    {
        m_published = TrackList(tracks);
        return m_published;
    }
    // Folders asked for, in order; `failAddFolders` may throw to refuse them.
    std::vector<std::vector<FileURL>> addedFolders;
    std::function<void()> failAddFolders;
    int rescans = 0;

    QCoro::Task<> addFolders(std::vector<FileURL> folders) override
    {
        addedFolders.push_back(folders);
        if (failAddFolders)
            failAddFolders();
        co_return;
    }
    QCoro::Task<> importFiles(std::vector<FileURL>) override { co_return; }
    // What importPaths says it did; the folders go to `addedFolders` and
    // `failAddFolders` may refuse them as for addFolders.
    ImportSummary importSummary;
    QCoro::Task<ImportSummary> importPaths(std::vector<FileURL> folders, std::vector<FileURL>) override
    {
        addedFolders.push_back(folders);
        if (failAddFolders)
            failAddFolders();
        co_return importSummary;
    }
    QCoro::Task<> rescanLibrary() override
    {
        ++rescans;
        co_return;
    }
    QCoro::Task<> loadLibraryFromDisk() override { co_return; }
    TrackList search(const QString&) const override { return {}; }
    TrackList getRecentlyAdded(int) const override { return {}; }
    TrackList getMostPlayed(int) const override { return {}; }
    TrackList getFavorites() const override { return {}; }
    QCoro::Task<> updateTrack(Track track) override { return updateTracks({track}); }
    QCoro::Task<> removeTrack(Track, RemovalKind) override { co_return; }
    QCoro::Task<> restoreTrack(Track) override { co_return; }
    // Published by emitting importProgressChanged().
    ImportProgress progress;
    ImportProgress importProgress() const override { return progress; }
    void cancelImport() override {}
    QSet<QUuid> unavailableTrackIDs() const override { return {}; }

    QCoro::Task<> updateTracks(std::vector<Track> edited) override
    {
        ++updateCalls;
        if (failUpdate)
            failUpdate(updateCalls);
        auto stored = [&](const Track& record) {
            return std::find_if(tracks.begin(), tracks.end(), [&](const Track& t) { return t.id == record.id; });
        };
        // Like the real library, every record is checked before any is stored.
        for (const Track& record : edited) {
            if (stored(record) == tracks.end())
                throw DatabaseError::entityNotFound(QStringLiteral("One or more tracks are no longer in the local library."));
        }
        for (const Track& record : edited)
            *stored(record) = record;
        emit tracksChanged(TrackListChange::reset());
        co_return;
    }

private:
    mutable TrackList m_published;
};

// Records which songs were asked to be dropped and what was asked to play;
// plays nothing.
class RecordingQueue final : public QueueEngine {
public:
    std::vector<QUuid> removed;
    void removeTrackFromPlayback(const QUuid& trackID) override { removed.push_back(trackID); }

    const std::optional<Track>& currentTrack() const override { return m_none; }
    const TrackList& upcoming() const override { return m_empty; }
    const TrackList& history() const override { return m_empty; }
    RepeatMode repeatMode() const override { return RepeatMode::Off; }
    void setRepeatMode(RepeatMode) override { }
    ShuffleMode shuffleMode() const override { return ShuffleMode::Off; }
    void setShuffleMode(ShuffleMode) override { }
    std::vector<std::pair<TrackList, int>> playNowCalls;
    void playNow(const TrackList& tracks, int startingAt) override { playNowCalls.emplace_back(tracks, startingAt); }
    void playNext(const TrackList&) override { }
    void playLast(const TrackList&) override { }
    void skipTo(int) override { }
    void remove(int) override { }
    void move(int, int) override { }
    void clearUpcoming() override { }
    // Steps asked for, in order: "next", "previous" (with the restart rule)
    // and "previousSong".
    QStringList steps;
    std::optional<Track> advanceToNext() override
    {
        steps << QStringLiteral("next");
        return {};
    }
    std::optional<Track> returnToPrevious() override
    {
        steps << QStringLiteral("previous");
        return {};
    }
    std::optional<Track> playPreviousSong() override
    {
        steps << QStringLiteral("previousSong");
        return {};
    }
    std::exception_ptr lastPlaybackError() const override { return nullptr; }
    std::exception_ptr lastPersistenceError() const override { return nullptr; }
    void clearReportedErrors() override { }
    int saves = 0;
    void savePlaybackState(bool) override { ++saves; }

private:
    std::optional<Track> m_none;
    TrackList m_empty;
};

} // namespace varno::test
