#pragma once

#include "platform/Error.h"

namespace varno {

// Failures of a shared metadata edit that go beyond a single step: the edit
// could not be undone, or the material for undoing it did not fit the songs.
class TrackMetadataBatchEditError final : public Error {
public:
    enum class Kind { RollbackFailed, InconsistentArtworkState };

    static TrackMetadataBatchEditError rollbackFailed(const QString& update, const QString& rollback)
    {
        return {Kind::RollbackFailed, QStringLiteral("The metadata update failed (") + update
                                          + QStringLiteral("), and automatic recovery also failed (") + rollback + QStringLiteral(").")};
    }
    static TrackMetadataBatchEditError inconsistentArtworkState()
    {
        return {Kind::InconsistentArtworkState,
                QStringLiteral("The shared artwork operation was cancelled because its recovery state was incomplete.")};
    }

    Kind kind() const { return m_kind; }

private:
    TrackMetadataBatchEditError(Kind kind, const QString& description)
        : Error(description)
        , m_kind(kind)
    {
    }

    Kind m_kind;
};

} // namespace varno
