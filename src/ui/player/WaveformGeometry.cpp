#include "WaveformGeometry.h"

#include <algorithm>
#include <cmath>

namespace varno::player {

namespace {

constexpr double kSlotPixels = 3.0;
constexpr double kBarShare = 0.56;
constexpr double kMinBarWidth = 1.0;
constexpr double kMaxBarWidth = 2.4;
constexpr double kMinValue = 0.08;
constexpr double kHeightShare = 0.82;
constexpr double kMinBarHeight = 2.0;

bool positiveFinite(double value)
{
    return std::isfinite(value) && value > 0;
}

} // namespace

const std::vector<float>& placeholderPeaks()
{
    static const std::vector<float> values = [] {
        std::vector<float> ripple(kPlaceholderCount);
        for (int i = 0; i < kPlaceholderCount; ++i)
            ripple[std::size_t(i)] = float(std::abs(std::sin(i * 0.38)) * 0.18 + 0.12);
        return ripple;
    }();
    return values;
}

BarSlots barSlots(std::size_t valueCount, double width)
{
    if (!positiveFinite(width))
        return {};
    const auto count = static_cast<long long>(valueCount == 0 ? placeholderPeaks().size() : valueCount);
    long long bars = std::min(static_cast<long long>(std::floor(width / kSlotPixels)), count);
    if (bars < 2)
        bars = 1;
    return {bars, width / double(bars)};
}

namespace {

double divisorOf(long long bars)
{
    return bars >= 3 ? double(bars - 1) : 1.0;
}

double positionOf(long long bar, long long bars)
{
    return double(bar) / divisorOf(bars);
}

} // namespace

long long BarSlots::playedCount(double progress) const
{
    const double shown = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    // The same comparison the painted bars make, so the count never
    // disagrees with them by a rounding.
    long long played = std::clamp(static_cast<long long>(std::floor(shown * divisorOf(bars))), 0LL, bars);
    while (played < bars && positionOf(played, bars) <= shown)
        ++played;
    while (played > 0 && positionOf(played - 1, bars) > shown)
        --played;
    return played;
}

QRectF BarSlots::span(long long first, long long end, double height) const
{
    return QRectF(double(first) * slot, 0, double(end - first) * slot, height);
}

std::vector<WaveformBar> waveformBars(const std::vector<float>& values, double width, double height, double progress)
{
    const std::vector<float>& source = values.empty() ? placeholderPeaks() : values;
    if (!positiveFinite(width) || !std::isfinite(height))
        return {};
    const auto count = static_cast<long long>(source.size());
    const BarSlots layout = barSlots(source.size(), width);
    const long long bars = layout.bars;
    const double slot = layout.slot;
    const double barWidth = std::clamp(slot * kBarShare, kMinBarWidth, kMaxBarWidth);
    const long long played = layout.playedCount(progress);

    std::vector<WaveformBar> result;
    result.reserve(std::size_t(bars));
    for (long long i = 0; i < bars; ++i) {
        const double position = positionOf(i, bars);
        const auto index = std::min(static_cast<long long>(std::floor(position * double(count - 1))), count - 1);
        double value = source[std::size_t(index)];
        // A NaN peak reads as silence rather than disappearing.
        if (!(value > kMinValue))
            value = kMinValue;
        value = std::min(value, 1.0);
        const double barHeight = std::max(kMinBarHeight, value * height * kHeightShare);
        const QRectF rect(double(i) * slot + (slot - barWidth) / 2, height / 2 - barHeight / 2, barWidth, barHeight);
        result.push_back({rect, position, i < played});
    }
    return result;
}

double seekFraction(double x, double width)
{
    if (!positiveFinite(x) || !positiveFinite(width))
        return 0;
    return std::clamp(x / width, 0.0, 1.0);
}

} // namespace varno::player
