#pragma once

#include "ui/songs/TrackListSource.h"

namespace varno {

class LibraryEngine;

// The whole library, as the library engine publishes it: its changes are
// passed on as they come, so one edited song updates one row.
class LibraryTrackSource final : public TrackListSource {
    Q_OBJECT

public:
    explicit LibraryTrackSource(LibraryEngine& library, QObject* parent = nullptr);

    const TrackList& tracks() const override;

private:
    LibraryEngine& m_library;
};

} // namespace varno
