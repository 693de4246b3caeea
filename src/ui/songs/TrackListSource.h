#pragma once

#include "storage/TrackList.h"

#include <QObject>

#include <vector>

namespace varno {

// The songs one song list shows, in library order (the list sorts them
// itself), and what changed each time they change, so the list updates the
// rows that changed rather than starting over. The whole library, the
// library through a filter, or a list its owner sets.
//
// Main thread only.
class TrackListSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual const TrackList& tracks() const = 0;

protected:
    // Makes `held` (the list tracks() returns) equal to `next` and publishes
    // the difference. Listeners that read tracks() on a change see the list
    // as it stands after that change, so when one replacement takes several
    // changes the list is built up one change at a time.
    void publishReplacement(TrackList& held, TrackList next);

signals:
    // tracks() now differs from the list before by `change`. A source emits
    // several in a row when one change of its input becomes several of its
    // own; each one applies to the list left by the one before.
    void tracksChanged(const varno::TrackListChange& change);
};

// The changes that turn `before` into `after`, for sources that only see
// whole lists: songs replaced in place, a run of songs inserted or removed,
// one song moved, or a reset when the lists differ in any other way.
// Songs are told apart by id and replaced records by pointer. Costs one
// pass over the lists.
std::vector<TrackListChange> trackListChanges(const TrackList& before, const TrackList& after);

} // namespace varno
