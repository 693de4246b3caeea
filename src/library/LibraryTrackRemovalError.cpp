#include "LibraryTrackRemovalError.h"

#include <QUrl>

namespace varno {

namespace {

QString nameOf(const FileURL& url)
{
    return url.toQUrl().fileName(QUrl::FullyDecoded);
}

QString fullPathOf(const FileURL& url)
{
    return url.toQUrl().path(QUrl::FullyDecoded);
}

} // namespace

LibraryTrackRemovalError::LibraryTrackRemovalError(Kind kind, const FileURL& url, const QString& description)
    : Error(description)
    , m_kind(kind)
    , m_url(url)
{
}

LibraryTrackRemovalError LibraryTrackRemovalError::invalidDeletionTarget(const FileURL& url)
{
    return {Kind::InvalidDeletionTarget, url, QStringLiteral("The selected item is not an audio file and was not deleted: ") + fullPathOf(url)};
}

LibraryTrackRemovalError LibraryTrackRemovalError::fileDeletionFailed(const FileURL& url, const QString& deletionReason)
{
    return {Kind::FileDeletionFailed, url,
            nameOf(url) + QStringLiteral(" could not be deleted. The library entry was restored. ") + deletionReason};
}

LibraryTrackRemovalError LibraryTrackRemovalError::rollbackFailed(const FileURL& url, const QString& deletionReason,
                                                                  const QString& rollbackReason)
{
    return {Kind::RollbackFailed, url,
            nameOf(url) + QStringLiteral(" could not be deleted, and its library entry could not be restored automatically. Deletion error: ")
                + deletionReason + QStringLiteral(". Recovery error: ") + rollbackReason};
}

LibraryTrackRemovalError LibraryTrackRemovalError::restorationFileMissing(const FileURL& url)
{
    return {Kind::RestorationFileMissing, url,
            nameOf(url) + QStringLiteral(" cannot be restored because the original file is no longer available.")};
}

} // namespace varno
