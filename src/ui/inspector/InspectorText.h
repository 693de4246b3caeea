#pragma once

#include "storage/Track.h"

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace varno::inspector {

// What a text field of the inspector stores: nothing for an empty input,
// otherwise the text exactly as typed.
std::optional<QString> textInputValue(const QString& input);
// BPM as typed: an optional sign and decimal digits only, within 64-bit
// range; nothing for an empty input or anything else.
std::optional<std::int64_t> bpmInputValue(const QString& input);
// Why the BPM typed cannot be stored, shown under the field; nothing for an
// empty input (which clears the BPM) or a whole number.
std::optional<QString> bpmInputProblem(const QString& input);
// The rating after a click on star `star` (1...5): that many stars, or none
// when the song already had exactly that many.
std::int64_t ratingAfterTapping(std::int64_t current, int star);

// The file's extension as its URL has it ("mp3").
QString formatText(const Track& track);
// The date the song was added in the locale's medium style, without the time.
QString dateAddedText(const Track& track, const QLocale& locale = QLocale());

// One row of the now-playing panel's "AUDIO" section.
struct DetailRow {
    QString label;
    QString value;

    friend bool operator==(const DetailRow&, const DetailRow&) = default;
};

// The rows for the values the song has, in their fixed order.
QList<DetailRow> detailRows(const Track& track, const QLocale& locale = QLocale());

} // namespace varno::inspector
