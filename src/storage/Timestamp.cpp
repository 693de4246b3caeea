#include "Timestamp.h"

#include <QHashFunctions>

#include <chrono>

namespace varno {

Timestamp Timestamp::now()
{
    using namespace std::chrono;
    const double unixSeconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return Timestamp {unixSeconds - kReferenceDateUnixSeconds};
}

Timestamp Timestamp::fromDateTime(const QDateTime& dateTime)
{
    return Timestamp {static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0 - kReferenceDateUnixSeconds};
}

QDateTime Timestamp::toDateTime() const
{
    const double unixMilliseconds = (secondsSinceReferenceDate + kReferenceDateUnixSeconds) * 1000.0;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(unixMilliseconds), Qt::UTC);
}

size_t qHash(const Timestamp& timestamp, size_t seed) noexcept
{
    return ::qHash(timestamp.secondsSinceReferenceDate, seed);
}

} // namespace varno
