#pragma once

#include "platform/Error.h"

namespace varno {

// Validation failures of the library layer. Each case carries its ready-made
// text, which is also its user-facing description.
class DatabaseError final : public Error {
public:
    enum class Kind { InitializationFailed, ReadFailed, WriteFailed, EntityNotFound };

    static DatabaseError initializationFailed(const QString& message) { return {Kind::InitializationFailed, message}; }
    static DatabaseError readFailed(const QString& message) { return {Kind::ReadFailed, message}; }
    static DatabaseError writeFailed(const QString& message) { return {Kind::WriteFailed, message}; }
    static DatabaseError entityNotFound(const QString& message) { return {Kind::EntityNotFound, message}; }

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
