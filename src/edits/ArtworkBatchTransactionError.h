#pragma once

#include "platform/Error.h"

namespace varno {

// Why a cover shared by several songs could not be applied, and whether the
// covers they had before could be put back.
class ArtworkBatchTransactionError final : public Error {
public:
    enum class Kind { UndoLimitExceeded, UpdateFailed, RollbackFailed, InvalidSnapshot };

    static ArtworkBatchTransactionError undoLimitExceeded(int maximumMegabytes)
    {
        return {Kind::UndoLimitExceeded,
                QStringLiteral("The existing artwork exceeds the ") + QString::number(maximumMegabytes)
                    + QStringLiteral(" MB safe undo limit. Select fewer songs and try again.")};
    }
    static ArtworkBatchTransactionError updateFailed(const QString& reason)
    {
        return {Kind::UpdateFailed, QStringLiteral("The shared artwork could not be applied. Existing artwork was restored. ") + reason};
    }
    static ArtworkBatchTransactionError rollbackFailed(const QString& update, const QString& rollback)
    {
        return {Kind::RollbackFailed, QStringLiteral("The shared artwork update failed (") + update
                                          + QStringLiteral("), and automatic recovery also failed (") + rollback + QStringLiteral(").")};
    }
    static ArtworkBatchTransactionError invalidSnapshot()
    {
        return {Kind::InvalidSnapshot, QStringLiteral("The shared artwork operation was cancelled because its song set changed.")};
    }

    Kind kind() const { return m_kind; }

private:
    ArtworkBatchTransactionError(Kind kind, const QString& description)
        : Error(description)
        , m_kind(kind)
    {
    }

    Kind m_kind;
};

} // namespace varno
