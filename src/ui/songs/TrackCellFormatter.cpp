#include "TrackCellFormatter.h"

#include "ui/songs/TrackListTexts.h"
#include "workspace/TrackSorting.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace varno {

namespace {

QString textOrMissing(const std::optional<QString>& text)
{
    return text && !text->isEmpty() ? *text : songs::kMissingValue;
}

QString numberOrMissing(const std::optional<std::int64_t>& number)
{
    return number ? QString::number(*number) : songs::kMissingValue;
}

} // namespace

TrackCellFormatter::TrackCellFormatter(const QLocale& locale)
    : m_locale(locale)
    , m_mediumDateFormat(mediumDateFormat(locale))
{
}

QString TrackCellFormatter::text(const Track& track, TrackTableColumnID column) const
{
    switch (column) {
    case TrackTableColumnID::Title:
        return track.title;
    case TrackTableColumnID::Artist:
        return textOrMissing(track.artist);
    case TrackTableColumnID::Album:
        return textOrMissing(track.album);
    case TrackTableColumnID::AlbumArtist:
        return textOrMissing(track.albumArtist);
    case TrackTableColumnID::Genre:
        return textOrMissing(track.genre);
    case TrackTableColumnID::Year:
        return numberOrMissing(track.year);
    case TrackTableColumnID::TrackNumber:
        return numberOrMissing(track.trackNumber);
    case TrackTableColumnID::Duration:
        return formatTrackDuration(track.duration);
    case TrackTableColumnID::Bitrate:
        return track.bitrate ? formatBitrate(*track.bitrate) : songs::kMissingValue;
    case TrackTableColumnID::SampleRate:
        return track.sampleRate ? formatSampleRate(*track.sampleRate) : songs::kMissingValue;
    case TrackTableColumnID::Format:
        return pathExtension(track.fileURL).toUpper();
    case TrackTableColumnID::DateAdded:
        if (!track.dateAdded)
            return songs::kMissingValue;
        return dateText(track.dateAdded->toDateTime().toLocalTime().date());
    }
    return {};
}

QString TrackCellFormatter::dateText(const QDate& date) const
{
    if (!date.isValid())
        return songs::kMissingValue;
    return m_locale.toString(date, m_mediumDateFormat);
}

QString formatTrackDuration(double seconds)
{
    // Lengths past a few centuries come only from damaged records; they are
    // capped rather than overflowing the conversion.
    constexpr double kLongest = 1e10;
    const auto whole = static_cast<std::int64_t>(std::isfinite(seconds) && seconds > 0 ? std::floor(std::min(seconds, kLongest)) : 0);
    const std::int64_t hours = whole / 3600;
    const std::int64_t minutes = (whole / 60) % 60;
    const std::int64_t secs = whole % 60;
    if (hours > 0)
        return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(hours), static_cast<long long>(minutes), static_cast<long long>(secs));
    return QString::asprintf("%lld:%02lld", static_cast<long long>(minutes), static_cast<long long>(secs));
}

QString formatSampleRate(std::int64_t hertz)
{
    return QString::asprintf("%.1f kHz", static_cast<double>(hertz) / 1000.0);
}

QString formatBitrate(std::int64_t kilobitsPerSecond)
{
    return QString::number(kilobitsPerSecond) + QStringLiteral(" kbps");
}

QString mediumDateFormat(const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::LongFormat);
    // The weekday with whatever joins it to the rest ("dddd, " or ", dddd").
    static const QRegularExpression weekday(QStringLiteral("[,\\s]*(?<!d)d{3,4}(?!d)[,.]?\\s*"));
    format.remove(weekday);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    format = format.trimmed();
    return format.isEmpty() ? locale.dateFormat(QLocale::ShortFormat) : format;
}

} // namespace varno
