#include "DurationText.h"

#include <algorithm>
#include <cmath>

namespace varno {

QString clockText(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return QStringLiteral("0:00");
    // Thirty million years: the hours still fit a long long many times over.
    constexpr double kLongest = 1e15;
    const long long whole = std::llround(std::min(seconds, kLongest));
    const long long hours = whole / 3600;
    const long long minutes = (whole / 60) % 60;
    const long long secs = whole % 60;
    if (hours == 0)
        return QString::asprintf("%lld:%02lld", minutes, secs);
    return QString::asprintf("%lld:%02lld:%02lld", hours, minutes, secs);
}

} // namespace varno
