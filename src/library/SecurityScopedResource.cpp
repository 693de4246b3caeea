#include "SecurityScopedResource.h"

#include "library/SecurityScopedAccessError.h"
#include "platform/FileBookmarks.h"

#include <QFileInfo>

namespace varno {

namespace {

QString nameOf(const FileURL& url)
{
    return QFileInfo(url.toLocalFile()).fileName();
}

} // namespace

SecurityScopedAccessError::SecurityScopedAccessError(Kind kind, const FileURL& url, const QString& description)
    : Error(description)
    , m_kind(kind)
    , m_url(url)
{
}

SecurityScopedAccessError SecurityScopedAccessError::bookmarkCreationFailed(const FileURL& url, const QString& reason)
{
    return {Kind::BookmarkCreationFailed, url, QStringLiteral("Access to ") + nameOf(url) + QStringLiteral(" could not be saved: ") + reason};
}

SecurityScopedAccessError SecurityScopedAccessError::bookmarkResolutionFailed(const FileURL& url, const QString& reason)
{
    return {Kind::BookmarkResolutionFailed, url,
            QStringLiteral("Saved access to ") + nameOf(url) + QStringLiteral(" could not be restored: ") + reason};
}

SecurityScopedAccessError SecurityScopedAccessError::permissionDenied(const FileURL& url, const QString& reason)
{
    return {Kind::PermissionDenied, url,
            nameOf(url) + QStringLiteral(" cannot be read: ") + reason + QStringLiteral(". Add the file again to reconnect it.")};
}

SecurityScopedResource::SecurityScopedResource(FileURL url, bool didStartAccess)
    : m_url(std::move(url))
    , m_didStartAccess(didStartAccess)
{
}

SecurityScopedResource::~SecurityScopedResource()
{
    if (m_didStartAccess)
        bookmarks::stopAccessing(path());
}

QByteArray SecurityScopedResource::makeBookmark(const FileURL& url)
{
    const QString path = url.toLocalFile();
    const bool started = bookmarks::startAccessing(path);
    try {
        QByteArray bookmark = bookmarks::create(path);
        if (started)
            bookmarks::stopAccessing(path);
        return bookmark;
    } catch (const bookmarks::BookmarkError& error) {
        if (started)
            bookmarks::stopAccessing(path);
        throw SecurityScopedAccessError::bookmarkCreationFailed(url, error.description());
    }
}

std::unique_ptr<SecurityScopedResource> SecurityScopedResource::access(const Track& track)
{
    FileURL url = track.fileURL;
    if (track.securityScopedBookmark) {
        try {
            // A stale bookmark that still resolves is used as it is and not
            // rewritten.
            url = FileURL::fromLocalFile(bookmarks::resolve(*track.securityScopedBookmark));
        } catch (const bookmarks::BookmarkError& error) {
            throw SecurityScopedAccessError::bookmarkResolutionFailed(track.fileURL, error.description());
        }
    }
    const QString path = url.toLocalFile();
    const bool started = bookmarks::startAccessing(path);
    if (!started) {
        if (const std::optional<QString> reason = bookmarks::unreadableFileReason(path))
            throw SecurityScopedAccessError::permissionDenied(url, *reason);
    }
    return std::unique_ptr<SecurityScopedResource>(new SecurityScopedResource(std::move(url), started));
}

} // namespace varno
