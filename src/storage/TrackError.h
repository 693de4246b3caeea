#pragma once

#include "platform/Error.h"

namespace varno {

class TrackError final : public Error {
public:
    enum class Kind { InvalidFilename };

    static TrackError invalidFilename(const QString& filename);

    Kind kind() const { return m_kind; }
    const QString& filename() const { return m_filename; }

private:
    TrackError(Kind kind, const QString& filename, const QString& description);

    Kind m_kind;
    QString m_filename;
};

} // namespace varno
