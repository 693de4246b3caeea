#pragma once

#include "storage/FileURL.h"
#include "storage/Track.h"

#include <memory>

namespace varno {

// One open access to a song's file; the access ends when the object is
// destroyed. Held by one owner at a time. Any thread; no shared state.
class SecurityScopedResource final {
public:
    ~SecurityScopedResource();
    SecurityScopedResource(const SecurityScopedResource&) = delete;
    SecurityScopedResource& operator=(const SecurityScopedResource&) = delete;

    // The bookmark to store for `url`. Throws SecurityScopedAccessError
    // (bookmarkCreationFailed).
    static QByteArray makeBookmark(const FileURL& url);

    // Opens access to a song's file, through its bookmark when it has one.
    // Throws SecurityScopedAccessError (bookmarkResolutionFailed,
    // permissionDenied).
    static std::unique_ptr<SecurityScopedResource> access(const Track& track);

    // Where to read the file: the bookmark's location, or the song's URL.
    const FileURL& url() const { return m_url; }
    QString path() const { return m_url.toLocalFile(); }
    // Whether a platform grant was started (and will be ended on release).
    bool didStartAccess() const { return m_didStartAccess; }

private:
    SecurityScopedResource(FileURL url, bool didStartAccess);

    FileURL m_url;
    bool m_didStartAccess;
};

} // namespace varno
