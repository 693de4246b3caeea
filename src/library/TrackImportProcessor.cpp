#include "TrackImportProcessor.h"

#include "library/SecurityScopedAccessError.h"
#include "library/SecurityScopedResource.h"
#include "platform/FileBookmarks.h"
#include "platform/FolderWalk.h"
#include "storage/TrackError.h"

#include <QFileInfo>

namespace varno {

namespace {

// Ends an access the platform granted, whichever way the import leaves.
class AccessScope {
public:
    explicit AccessScope(QString path)
        : m_path(std::move(path))
        , m_started(bookmarks::startAccessing(m_path))
    {
    }
    ~AccessScope()
    {
        if (m_started)
            bookmarks::stopAccessing(m_path);
    }
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;

private:
    QString m_path;
    bool m_started;
};

QString lastPathComponent(const FileURL& url)
{
    return QFileInfo(url.toLocalFile()).fileName();
}

} // namespace

QCoro::Task<Track> TrackImportProcessor::makeTrack(FileURL url, QString fallbackTitle)
{
    const AccessScope access(url.toLocalFile());
    QByteArray bookmark;
    try {
        bookmark = SecurityScopedResource::makeBookmark(url);
    } catch (const SecurityScopedAccessError&) {
        // The system's reason for a link that loops ("Too many levels of
        // symbolic links") says nothing useful about the file; the link is
        // looked at only once the bookmark has failed, which costs the files
        // that import nothing.
        if (const std::optional<QString> reason = describeBrokenLink(url.toLocalFile()))
            throw TrackError::brokenLink(lastPathComponent(url), *reason);
        throw;
    }
    auto reading = m_metadataEngine.readMetadata(url);
    const ExtractedMetadata metadata = co_await reading;

    const QString filename = lastPathComponent(url);
    // A title found empty in the tags is kept; only a missing one falls back.
    Track track(QUuid::createUuid(), url, filename, metadata.title.value_or(fallbackTitle), metadata.duration, Timestamp::now(),
                std::move(bookmark));
    track.artist = metadata.artist;
    track.album = metadata.album;
    track.genre = metadata.genre;
    track.year = metadata.year;
    track.trackNumber = metadata.trackNumber;
    track.discNumber = metadata.discNumber;
    track.composer = metadata.composer;
    track.albumArtist = metadata.albumArtist;
    track.comments = metadata.comments;
    track.bpm = metadata.bpm;
    track.bitrate = metadata.bitrate;
    track.sampleRate = metadata.sampleRate;
    // Whatever the tags held for these fields is in the record now; what
    // they lacked, or the user clears later, a rescan leaves alone.
    track.tagFieldsRead = true;
    co_return track;
}

QCoro::Task<TrackImportResult> TrackImportProcessor::importTrack(FileURL url, QString fallbackTitle)
{
    TrackImportResult result;
    try {
        auto making = makeTrack(url, fallbackTitle);
        result.track = co_await making;
    } catch (const std::exception& error) {
        result.failureDescription = lastPathComponent(url) + QStringLiteral(": ") + describe(error);
    }
    co_return result;
}

} // namespace varno
