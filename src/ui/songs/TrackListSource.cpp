#include "TrackListSource.h"

#include <algorithm>

namespace varno {

namespace {

// Runs of changed songs longer than this are a reset: listing every
// position would cost the list more than reading the new one whole.
constexpr std::size_t kLongestRun = 4096;

std::vector<std::size_t> range(std::size_t from, std::size_t to)
{
    std::vector<std::size_t> positions(to - from);
    for (std::size_t i = from; i < to; ++i)
        positions[i - from] = i;
    return positions;
}

bool sameIDs(const TrackList& a, std::size_t aFrom, const TrackList& b, std::size_t bFrom, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (a.shared(aFrom + i)->id != b.shared(bFrom + i)->id)
            return false;
    }
    return true;
}

// Positions in `after` whose songs are other records than at the matching
// position of `before`, for the stretches the two lists share: [0, head)
// in both, and the last `tail` songs of each.
std::vector<std::size_t> replacedPositions(const TrackList& before, const TrackList& after, std::size_t head, std::size_t tail)
{
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < head; ++i) {
        if (before.shared(i) != after.shared(i))
            positions.push_back(i);
    }
    const std::size_t beforeTail = before.size() - tail;
    const std::size_t afterTail = after.size() - tail;
    for (std::size_t i = 0; i < tail; ++i) {
        if (before.shared(beforeTail + i) != after.shared(afterTail + i))
            positions.push_back(afterTail + i);
    }
    return positions;
}

} // namespace

void TrackListSource::publishReplacement(TrackList& held, TrackList next)
{
    const std::vector<TrackListChange> changes = trackListChanges(held, next);
    if (changes.size() <= 1) {
        held = std::move(next);
        if (!changes.empty())
            emit tracksChanged(changes.front());
        return;
    }
    for (const TrackListChange& change : changes) {
        switch (change.kind) {
        case TrackListChange::Kind::Removed:
            for (auto it = change.positions.rbegin(); it != change.positions.rend(); ++it)
                held.removeAt(*it);
            break;
        case TrackListChange::Kind::Inserted:
            for (std::size_t position : change.positions)
                held.insert(position, next.shared(position));
            break;
        case TrackListChange::Kind::Updated:
        case TrackListChange::Kind::Reset:
            held = next;
            break;
        }
        emit tracksChanged(change);
    }
    held = std::move(next);
}

std::vector<TrackListChange> trackListChanges(const TrackList& before, const TrackList& after)
{
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t head = 0;
    while (head < shorter && before.shared(head)->id == after.shared(head)->id)
        ++head;
    std::size_t tail = 0;
    while (tail < shorter - head && before.shared(before.size() - 1 - tail)->id == after.shared(after.size() - 1 - tail)->id)
        ++tail;

    // What lies between the shared stretches: [head, beforeEnd) of the old
    // list became [head, afterEnd) of the new one.
    const std::size_t beforeEnd = before.size() - tail;
    const std::size_t afterEnd = after.size() - tail;
    const std::size_t removed = beforeEnd - head;
    const std::size_t inserted = afterEnd - head;

    std::vector<TrackListChange> changes;
    if (removed == 0 && inserted > 0) {
        if (inserted > kLongestRun)
            return {TrackListChange::reset()};
        changes.push_back(TrackListChange::inserted(range(head, afterEnd)));
    } else if (inserted == 0 && removed > 0) {
        if (removed > kLongestRun)
            return {TrackListChange::reset()};
        changes.push_back(TrackListChange::removed(range(head, beforeEnd)));
    } else if (removed > 0) {
        // One song moved: it leaves one end of the stretch and enters the
        // other, and everything between shifts by one.
        const bool movedDown = removed == inserted && before.shared(head)->id == after.shared(afterEnd - 1)->id
                               && sameIDs(before, head + 1, after, head, removed - 1);
        const bool movedUp = !movedDown && removed == inserted && before.shared(beforeEnd - 1)->id == after.shared(head)->id
                             && sameIDs(before, head, after, head + 1, removed - 1);
        if (!movedDown && !movedUp)
            return {TrackListChange::reset()};
        const std::size_t from = movedDown ? head : beforeEnd - 1;
        const std::size_t to = movedDown ? afterEnd - 1 : head;
        changes.push_back(TrackListChange::removed({from}));
        changes.push_back(TrackListChange::inserted({to}));
        // The songs that shifted may have been replaced as well.
        std::vector<std::size_t> shifted;
        for (std::size_t i = head; i < afterEnd; ++i) {
            if (i == to)
                continue;
            const std::size_t old = movedDown ? i + 1 : i - 1;
            if (before.shared(old) != after.shared(i))
                shifted.push_back(i);
        }
        std::vector<std::size_t> replaced = replacedPositions(before, after, head, tail);
        replaced.insert(replaced.end(), shifted.begin(), shifted.end());
        std::sort(replaced.begin(), replaced.end());
        if (!replaced.empty())
            changes.push_back(TrackListChange::updated(std::move(replaced)));
        return changes;
    }
    std::vector<std::size_t> replaced = replacedPositions(before, after, head, tail);
    if (!replaced.empty())
        changes.push_back(TrackListChange::updated(std::move(replaced)));
    return changes;
}

} // namespace varno
