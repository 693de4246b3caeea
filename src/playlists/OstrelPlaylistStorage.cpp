#include "OstrelPlaylistStorage.h"

#include "platform/ApplicationFolder.h"
#include "platform/FileLock.h"
#include "playlists/PlaylistRecordChanges.h"
#include "storage/PlaylistCodec.h"

#include <algorithm>

namespace varno {

namespace {

constexpr std::string_view kFileName = "playlist_records.json";

} // namespace

OstrelPlaylistStorage::OstrelPlaylistStorage(const std::optional<QString>& storageDirectory)
    : m_folder(storageDirectory ? *storageDirectory : applicationFolderPath())
    , m_lockWait(fileio::stateLockWait())
{
    if (!fileio::exists(m_folder))
        fileio::createFolder(m_folder);
    m_path = m_folder + QLatin1Char('/') + QString::fromLatin1(kFileName.data(), kFileName.size());
    m_lockPath = m_folder + QStringLiteral("/.state.lock");
    // A failure is left for the first write to report.
    fileio::createEmptyFileIfMissing(m_path);
}

OstrelPlaylistStorage::~OstrelPlaylistStorage() = default;

OstrelPlaylistStorage::Records OstrelPlaylistStorage::currentRecords() const
{
    const fileio::FileVersion version = fileio::versionOf(m_path);
    if (m_knownRecords && version.exists && version == m_knownVersion)
        return m_knownRecords;

    // Only a missing file is an empty store. One that is there but cannot be
    // read (no permission, a folder, a pipe or a device in its place) throws
    // the reason: shown as empty, it would look like playlists lost, and the
    // next change would replace what nobody could read. The file's type is
    // looked at before any byte is read, so a pipe is not waited on and a
    // device is not read without end.
    const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(m_path);
    if (!bytes)
        return std::make_shared<const std::vector<PlaylistRecord>>();
    auto records = std::make_shared<const std::vector<PlaylistRecord>>(json::decodePlaylistRecords(*bytes, kFileName));
    m_knownVersion = bytes->version();
    m_knownRecords = records;
    return records;
}

std::vector<PlaylistRecord> OstrelPlaylistStorage::readRecords() const
{
    return *currentRecords();
}

std::vector<PlaylistRecord> OstrelPlaylistStorage::changeRecords(const RecordsChange& change) const
{
    const fileio::FileLock lock = fileio::FileLock::acquire(m_lockPath, m_lockWait);
    std::vector<PlaylistRecord> records = *currentRecords();
    change(records);
    const fileio::FileVersion written =
        json::writeArrayFile(m_path, records, [](json::Writer& writer, const PlaylistRecord& record) { json::encode(writer, record); });
    m_knownVersion = written;
    m_knownRecords = std::make_shared<const std::vector<PlaylistRecord>>(records);
    return records;
}

QCoro::Task<std::vector<PlaylistRecord>> OstrelPlaylistStorage::fetchAllRecords()
{
    auto work = m_worker.run([this] { return readRecords(); });
    co_return co_await work;
}

QCoro::Task<std::vector<PlaylistRecord>> OstrelPlaylistStorage::fetchRecords(std::optional<QUuid> folder)
{
    auto work = m_worker.run([this, folder] {
        // Held in a local: the records may be owned by nothing else.
        const Records records = currentRecords();
        std::vector<PlaylistRecord> inside;
        for (const PlaylistRecord& record : *records) {
            if (record.parentFolderID == folder)
                inside.push_back(record);
        }
        return inside;
    });
    co_return co_await work;
}

QCoro::Task<> OstrelPlaylistStorage::saveRecord(PlaylistRecord record)
{
    auto work = m_worker.run([this, record = std::move(record)] { changeRecords([&](auto& records) { upsertRecord(records, record); }); });
    co_await work;
}

QCoro::Task<> OstrelPlaylistStorage::saveRecords(std::vector<PlaylistRecord> incoming)
{
    auto work = m_worker.run([this, incoming = std::move(incoming)] {
        changeRecords([&](auto& records) {
            for (const PlaylistRecord& record : incoming)
                upsertRecord(records, record);
        });
    });
    co_await work;
}

QCoro::Task<> OstrelPlaylistStorage::deleteRecord(QUuid id)
{
    auto work = m_worker.run([this, id] { changeRecords([&](auto& records) { std::erase_if(records, [&](const PlaylistRecord& r) { return r.id == id; }); }); });
    co_await work;
}

QCoro::Task<> OstrelPlaylistStorage::deleteFolderRecursively(QUuid id)
{
    auto work = m_worker.run([this, id] { changeRecords([&](auto& records) { removeWithDescendants(records, id); }); });
    co_await work;
}

QCoro::Task<std::vector<PlaylistRecord>> OstrelPlaylistStorage::applyChange(RecordsChange change)
{
    auto work = m_worker.run([this, change = std::move(change)] { return changeRecords(change); });
    co_return co_await work;
}

QCoro::Task<bool> OstrelPlaylistStorage::changedElsewhere()
{
    auto work = m_worker.run([this] { return !m_knownRecords || fileio::versionOf(m_path) != m_knownVersion; });
    co_return co_await work;
}

} // namespace varno
