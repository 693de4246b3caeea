#include "RepeatMode.h"
#include "ShuffleMode.h"

namespace varno {

QString rawValue(RepeatMode mode)
{
    switch (mode) {
    case RepeatMode::Off:
        return QStringLiteral("off");
    case RepeatMode::Track:
        return QStringLiteral("track");
    case RepeatMode::All:
        return QStringLiteral("all");
    }
    return QStringLiteral("off");
}

std::optional<RepeatMode> repeatModeFromRawValue(const QString& text)
{
    if (text == QLatin1String("track"))
        return RepeatMode::Track;
    if (text == QLatin1String("all"))
        return RepeatMode::All;
    if (text == QLatin1String("off"))
        return RepeatMode::Off;
    return std::nullopt;
}

QString rawValue(ShuffleMode mode)
{
    switch (mode) {
    case ShuffleMode::Off:
        return QStringLiteral("off");
    case ShuffleMode::Standard:
        return QStringLiteral("standard");
    case ShuffleMode::Smart:
        return QStringLiteral("smart");
    }
    return QStringLiteral("off");
}

std::optional<ShuffleMode> shuffleModeFromRawValue(const QString& text)
{
    if (text == QLatin1String("standard"))
        return ShuffleMode::Standard;
    if (text == QLatin1String("smart"))
        return ShuffleMode::Smart;
    if (text == QLatin1String("off"))
        return ShuffleMode::Off;
    return std::nullopt;
}

} // namespace varno
