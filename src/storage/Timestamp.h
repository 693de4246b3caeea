#pragma once

#include <QDateTime>

#include <compare>

namespace varno {

// A point in time as the state files store it: seconds (with fraction) since
// 2001-01-01 00:00:00 UTC. Kept as the stored double so values written by
// other encoders survive a round trip to the last bit.
struct Timestamp {
    double secondsSinceReferenceDate = 0;

    // Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
    static constexpr double kReferenceDateUnixSeconds = 978307200.0;

    static Timestamp now();
    static Timestamp fromSecondsSinceReferenceDate(double seconds) { return Timestamp {seconds}; }
    static Timestamp fromDateTime(const QDateTime& dateTime);
    QDateTime toDateTime() const;

    friend bool operator==(const Timestamp&, const Timestamp&) = default;
    friend auto operator<=>(const Timestamp&, const Timestamp&) = default;
};

size_t qHash(const Timestamp& timestamp, size_t seed = 0) noexcept;

} // namespace varno
