#pragma once

#include "storage/Track.h"
#include "workspace/TrackTableColumnID.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <cstdint>

namespace varno {

// The text of a song's cell in each column, as the song table shows it: "—"
// for a missing value, durations as minutes and seconds (hours from one hour
// on), rates in kilohertz with one decimal, the file's extension in capitals
// and the date added in the locale's medium style without the time.
//
// Holds the locale and its date format, worked out once: a window of rows
// asks for a few hundred cells per frame. Any thread, one instance per thread.
class TrackCellFormatter final {
public:
    explicit TrackCellFormatter(const QLocale& locale = QLocale());

    QString text(const Track& track, TrackTableColumnID column) const;
    QString dateText(const QDate& date) const;

private:
    QLocale m_locale;
    QString m_mediumDateFormat;
};

// 59 → "0:59", 3725 → "1:02:05". Fractions of a second are dropped; a
// negative or undefined length reads as 0:00.
QString formatTrackDuration(double seconds);
// 44100 → "44.1 kHz".
QString formatSampleRate(std::int64_t hertz);
// 320 → "320 kbps".
QString formatBitrate(std::int64_t kilobitsPerSecond);

// The locale's medium date pattern ("MMM d, yyyy" in American English): its
// long pattern with the weekday left out and the month abbreviated, as Qt
// knows no medium style of its own.
QString mediumDateFormat(const QLocale& locale);

} // namespace varno
