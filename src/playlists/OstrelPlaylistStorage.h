#pragma once

#include "platform/FileIO.h"
#include "platform/Worker.h"
#include "playlists/PlaylistStorage.h"

#include <QString>

#include <chrono>
#include <memory>

namespace varno {

// "playlist_records.json" in the application folder. Main thread only; the
// file work runs on the "Playlists" serial worker, and every change holds
// ".state.lock" in the folder from its read to its write, like every other
// writer of the state files in any process.
class OstrelPlaylistStorage final : public PlaylistStorage {
public:
    // Uses `storageDirectory`, or the application folder when none is given,
    // creating it when missing (throws FileError when it cannot), and puts an
    // empty file in place when there is none.
    explicit OstrelPlaylistStorage(const std::optional<QString>& storageDirectory = std::nullopt);
    ~OstrelPlaylistStorage() override;

    const QString& storageFilePath() const { return m_path; }

    QCoro::Task<std::vector<PlaylistRecord>> fetchAllRecords() override;
    QCoro::Task<std::vector<PlaylistRecord>> fetchRecords(std::optional<QUuid> folder) override;
    QCoro::Task<> saveRecord(PlaylistRecord record) override;
    QCoro::Task<> saveRecords(std::vector<PlaylistRecord> records) override;
    QCoro::Task<> deleteRecord(QUuid id) override;
    QCoro::Task<> deleteFolderRecursively(QUuid id) override;
    QCoro::Task<std::vector<PlaylistRecord>> applyChange(RecordsChange change) override;
    QCoro::Task<bool> changedElsewhere() override;

    // Blocking forms, for the worker and for tools without an event loop.
    std::vector<PlaylistRecord> readRecords() const;
    // Holds the state lock, reads the file as it is now, applies `change`
    // and writes the result, which it returns.
    std::vector<PlaylistRecord> changeRecords(const RecordsChange& change) const;

private:
    using Records = std::shared_ptr<const std::vector<PlaylistRecord>>;

    // The records as the file holds them now; none when there is no file.
    // Throws FileError when the file is there but cannot be read, and the
    // decoding error when it does not decode.
    Records currentRecords() const;

    QString m_folder;
    QString m_path;
    QString m_lockPath;
    std::chrono::milliseconds m_lockWait;
    // The version this store last read or wrote and its records, so that an
    // operation on a file nobody replaced decodes nothing. Touched only by
    // the worker (or the one thread using the blocking forms).
    mutable fileio::FileVersion m_knownVersion;
    mutable Records m_knownRecords;
    SerialWorker m_worker {QStringLiteral("Playlists"), std::chrono::seconds(5)};
};

} // namespace varno
