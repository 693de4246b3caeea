#pragma once

#include "edits/AppliedTextMetadataDraft.h"
#include "edits/SharedTrackMetadataPatch.h"
#include "storage/Track.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace varno {

// The editing state of the shared metadata editor, built from the selected
// songs when it opens. Each field starts with the value the songs share (empty
// when they disagree) and is applied only once the user enables it. Lives only
// while the editor is open; nothing of it is stored.
class SharedMetadataDraft {
public:
    // Bounds of the numeric fields; blank text clears a field instead.
    static constexpr std::int64_t kMinimumYear = 0;
    static constexpr std::int64_t kMaximumYear = 9999;
    static constexpr std::int64_t kMinimumDiscNumber = 1;
    static constexpr std::int64_t kMaximumDiscNumber = 999;
    static constexpr std::int64_t kMinimumBPM = 1;
    static constexpr std::int64_t kMaximumBPM = 999;

    // A draft over no songs: every field empty and not applied.
    SharedMetadataDraft() = default;
    // The songs in selection order.
    explicit SharedMetadataDraft(const std::vector<Track>& selection);

    AppliedTextMetadataDraft artist;
    AppliedTextMetadataDraft album;
    AppliedTextMetadataDraft albumArtist;
    AppliedTextMetadataDraft genre;
    AppliedTextMetadataDraft year;
    AppliedTextMetadataDraft discNumber;
    AppliedTextMetadataDraft composer;
    AppliedTextMetadataDraft comments;
    AppliedTextMetadataDraft bpm;
    // The shared rating, or 0 when the songs disagree.
    std::int64_t rating = 0;
    bool isRatingApplied = false;
    // A new cover for every song; absent keeps each song's own cover.
    std::optional<QByteArray> replacementArtworkData;

    bool hadMixedRatings() const { return m_hadMixedRatings; }

    // The range message of the first applied numeric field (year, disc
    // number, BPM) whose text is not a whole number in its range; nothing
    // when every applied field is acceptable.
    std::optional<QString> validationMessage() const;
    // The range message of every such field, in field order, so a sheet
    // can show them all at once.
    QStringList validationMessages() const;

    // The change to hand to the library. Text is trimmed of white space and
    // line breaks, and an applied field left blank clears the field. Throws
    // SharedMetadataFieldError::outOfRange for the first numeric field that
    // fails its range check, before anything is written.
    SharedTrackMetadataPatch makePatch() const;

    friend bool operator==(const SharedMetadataDraft&, const SharedMetadataDraft&) = default;

private:
    bool m_hadMixedRatings = false;
};

} // namespace varno
