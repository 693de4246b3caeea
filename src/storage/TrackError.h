#pragma once

#include "platform/Error.h"

namespace varno {

class TrackError final : public Error {
public:
    enum class Kind { InvalidFilename, BrokenLink };

    static TrackError invalidFilename(const QString& filename);
    // The file to import is a symbolic link that leads to itself, to a loop
    // or nowhere; `reason` says which, in the words a folder walk uses
    // (describeBrokenLink), and is the whole description: an import failure
    // puts the file's name before it.
    static TrackError brokenLink(const QString& filename, const QString& reason) { return TrackError(Kind::BrokenLink, filename, reason); }

    Kind kind() const { return m_kind; }
    const QString& filename() const { return m_filename; }

private:
    TrackError(Kind kind, const QString& filename, const QString& description);

    Kind m_kind;
    QString m_filename;
};

} // namespace varno
