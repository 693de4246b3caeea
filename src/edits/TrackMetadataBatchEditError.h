#pragma once

#include "platform/Error.h"

#include <cstddef>

namespace varno {

// Failures of a shared metadata edit that go beyond a single step: the edit
// could not be undone, or the material for undoing it did not fit the songs.
class TrackMetadataBatchEditError final : public Error {
public:
    enum class Kind { RollbackFailed, InconsistentArtworkState, SongsNoLongerInLibrary };

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

    // Some of the songs were gone from the library when the edit was saved
    // (another process removed them): `saved` songs took the edit, `gone`
    // did not. With none saved the edit failed; otherwise the text tells
    // the user what became of an edit that succeeded.
    static TrackMetadataBatchEditError songsNoLongerInLibrary(std::size_t saved, std::size_t gone)
    {
        const auto songs = [](std::size_t count) {
            return count == 1 ? QStringLiteral("1 song") : QStringLiteral("%1 songs").arg(count);
        };
        const QString verb = gone == 1 ? QStringLiteral("is") : QStringLiteral("are");
        if (saved == 0) {
            const QString which = gone == 1 ? QStringLiteral("the song") : QStringLiteral("the %1 songs").arg(gone);
            return {Kind::SongsNoLongerInLibrary,
                    QStringLiteral("Nothing was saved: %1 %2 no longer in the library.").arg(which, verb)};
        }
        return {Kind::SongsNoLongerInLibrary,
                QStringLiteral("The changes were saved to %1; %2 %3 no longer in the library.").arg(songs(saved), songs(gone), verb)};
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
