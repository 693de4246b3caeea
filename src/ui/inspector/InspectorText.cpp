#include "InspectorText.h"

#include "ui/songs/TrackCellFormatter.h"

#include <cmath>
#include <limits>

namespace varno::inspector {

std::optional<QString> textInputValue(const QString& input)
{
    if (input.isEmpty())
        return std::nullopt;
    return input;
}

std::optional<std::int64_t> bpmInputValue(const QString& input)
{
    QStringView digits(input);
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-')) {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    if (digits.isEmpty())
        return std::nullopt;
    // Accumulated as a negative number, whose range is one larger, so the
    // smallest 64-bit value reads too.
    std::int64_t value = 0;
    constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value < (kLowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == kLowest)
        return std::nullopt;
    return -value;
}

std::optional<QString> bpmInputProblem(const QString& input)
{
    if (input.isEmpty() || bpmInputValue(input))
        return std::nullopt;
    return QStringLiteral("Must be a whole number, or blank.");
}

std::int64_t ratingAfterTapping(std::int64_t current, int star)
{
    return current == star ? 0 : star;
}

QString formatText(const Track& track)
{
    const QString path = track.fileURL.toLocalFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot + 1) : QString();
}

QString dateAddedText(const Track& track, const QLocale& locale)
{
    if (!track.dateAdded)
        return {};
    return locale.toString(track.dateAdded->toDateTime().toLocalTime().date(), mediumDateFormat(locale));
}

QList<DetailRow> detailRows(const Track& track, const QLocale& locale)
{
    QList<DetailRow> rows;
    const auto addText = [&](const QString& label, const std::optional<QString>& value) {
        if (value && !value->isEmpty())
            rows.append({label, *value});
    };
    addText(QStringLiteral("Album Artist"), track.albumArtist);
    addText(QStringLiteral("Genre"), track.genre);
    if (track.year)
        rows.append({QStringLiteral("Year"), QString::number(*track.year)});
    if (track.trackNumber)
        rows.append({QStringLiteral("Track #"), QString::number(*track.trackNumber)});
    if (track.bitrate)
        rows.append({QStringLiteral("Bitrate"), formatBitrate(*track.bitrate)});
    if (track.sampleRate)
        rows.append({QStringLiteral("Sample Rate"), formatSampleRate(*track.sampleRate)});
    if (track.dateAdded)
        rows.append({QStringLiteral("Date Added"), dateAddedText(track, locale)});
    return rows;
}

} // namespace varno::inspector
