#pragma once

#include "platform/Error.h"

#include <QStringList>

namespace varno {

// Validation failures of the library layer. Each case carries its ready-made
// text, which is also its user-facing description.
class DatabaseError final : public Error {
public:
    enum class Kind { InitializationFailed, ReadFailed, WriteFailed, EntityNotFound, NoLongerInLibrary };

    static DatabaseError initializationFailed(const QString& message) { return {Kind::InitializationFailed, message}; }
    static DatabaseError readFailed(const QString& message) { return {Kind::ReadFailed, message}; }
    static DatabaseError writeFailed(const QString& message) { return {Kind::WriteFailed, message}; }
    static DatabaseError entityNotFound(const QString& message) { return {Kind::EntityNotFound, message}; }
    // Edited songs the tracks file no longer holds: another process removed
    // them after this one read the library. Names the first by its title
    // and counts the others.
    static DatabaseError noLongerInLibrary(const QStringList& titles)
    {
        Q_ASSERT(!titles.isEmpty());
        const QString first = QStringLiteral("\u201C") + titles.value(0) + QStringLiteral("\u201D");
        if (titles.size() <= 1)
            return {Kind::NoLongerInLibrary, first + QStringLiteral(" is no longer in the library.")};
        const qsizetype others = titles.size() - 1;
        return {Kind::NoLongerInLibrary, first + QStringLiteral(" and %1 other %2 are no longer in the library.")
                                                     .arg(others)
                                                     .arg(others == 1 ? QStringLiteral("song") : QStringLiteral("songs"))};
    }

    Kind kind() const { return m_kind; }

private:
    DatabaseError(Kind kind, const QString& message)
        : Error(message)
        , m_kind(kind)
    {
    }

    Kind m_kind;
};

} // namespace varno
