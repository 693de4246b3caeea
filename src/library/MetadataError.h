#pragma once

#include "platform/Error.h"
#include "storage/FileURL.h"

namespace varno {

class MetadataError final : public Error {
public:
    enum class Kind { FileNotFound, UnsupportedFormat, WritePermissionDenied, TagWriteFailed };

    static MetadataError fileNotFound(const FileURL& url);
    static MetadataError unsupportedFormat(const FileURL& url);
    static MetadataError writePermissionDenied(const FileURL& url);
    static MetadataError tagWriteFailed(const QString& message);

    // The one text every tag-write request ends with.
    static const QString kTagWritingDisabled;

    Kind kind() const { return m_kind; }

private:
    MetadataError(Kind kind, const QString& description);

    Kind m_kind;
};

} // namespace varno
