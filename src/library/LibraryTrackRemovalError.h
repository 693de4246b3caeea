#pragma once

#include "platform/Error.h"
#include "storage/FileURL.h"

namespace varno {

// Why a song could not be removed from the library, its file deleted or the
// song put back. "name" in the texts is the last component of the URL's path;
// a reason is another error's description.
class LibraryTrackRemovalError final : public Error {
public:
    enum class Kind { InvalidDeletionTarget, FileDeletionFailed, RollbackFailed, RestorationFileMissing };

    static LibraryTrackRemovalError invalidDeletionTarget(const FileURL& url);
    static LibraryTrackRemovalError fileDeletionFailed(const FileURL& url, const QString& deletionReason);
    static LibraryTrackRemovalError rollbackFailed(const FileURL& url, const QString& deletionReason, const QString& rollbackReason);
    static LibraryTrackRemovalError restorationFileMissing(const FileURL& url);

    Kind kind() const { return m_kind; }
    const FileURL& url() const { return m_url; }

private:
    LibraryTrackRemovalError(Kind kind, const FileURL& url, const QString& description);

    Kind m_kind;
    FileURL m_url;
};

} // namespace varno
