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

std::vector<WaveformBar> waveformBars(const std::vector<float>& values, double width, double height, double progress)
{
    const std::vector<float>& source = values.empty() ? placeholderPeaks() : values;
    if (!positiveFinite(width) || !std::isfinite(height))
        return {};
    const auto count = static_cast<long long>(source.size());
    long long bars = std::min(static_cast<long long>(std::floor(width / kSlotPixels)), count);
    if (bars < 2)
        bars = 1;

    const double slot = width / double(bars);
    const double barWidth = std::clamp(slot * kBarShare, kMinBarWidth, kMaxBarWidth);
    const double divisor = bars >= 3 ? double(bars - 1) : 1.0;
    const double shown = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;

    std::vector<WaveformBar> result;
    result.reserve(std::size_t(bars));
    for (long long i = 0; i < bars; ++i) {
        const double position = double(i) / divisor;
        const auto index = std::min(static_cast<long long>(std::floor(position * double(count - 1))), count - 1);
        double value = source[std::size_t(index)];
        // A NaN peak reads as silence rather than disappearing.
        if (!(value > kMinValue))
            value = kMinValue;
        value = std::min(value, 1.0);
        const double barHeight = std::max(kMinBarHeight, value * height * kHeightShare);
        const QRectF rect(double(i) * slot + (slot - barWidth) / 2, height / 2 - barHeight / 2, barWidth, barHeight);
        result.push_back({rect, position, position <= shown});
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
