#pragma once

#include "platform/Error.h"
#include "storage/FileURL.h"

namespace varno {

// Why a song's file could not be opened or its access saved. "name" in the
// texts is the last path component of the URL.
class SecurityScopedAccessError final : public Error {
public:
    enum class Kind { BookmarkCreationFailed, BookmarkResolutionFailed, PermissionDenied };

    static SecurityScopedAccessError bookmarkCreationFailed(const FileURL& url, const QString& reason);
    static SecurityScopedAccessError bookmarkResolutionFailed(const FileURL& url, const QString& reason);
    // `reason` is the system's ("Permission denied").
    static SecurityScopedAccessError permissionDenied(const FileURL& url, const QString& reason);

    Kind kind() const { return m_kind; }
    const FileURL& url() const { return m_url; }

private:
    SecurityScopedAccessError(Kind kind, const FileURL& url, const QString& description);

    Kind m_kind;
    FileURL m_url;
};

} // namespace varno
