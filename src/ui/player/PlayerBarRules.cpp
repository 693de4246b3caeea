#include "PlayerBarRules.h"

#include "platform/Error.h"
#include "storage/DurationText.h"

#include <algorithm>
#include <cmath>

namespace varno::player {

QString timeText(double seconds)
{
    return clockText(seconds);
}

double displayedDuration(double engineDuration, std::optional<double> shownSongDuration)
{
    const auto usable = [](double value) { return std::isfinite(value) ? value : 0.0; };
    double duration = usable(engineDuration);
    if (shownSongDuration)
        duration = std::max(duration, usable(*shownSongDuration));
    return std::max(duration, 0.0);
}

QString statusText(PlaybackState state)
{
    switch (state) {
    case PlaybackState::Stopped:
        return QStringLiteral("Stopped");
    case PlaybackState::Buffering:
        return QStringLiteral("Loading");
    case PlaybackState::Playing:
        return QStringLiteral("Now playing");
    case PlaybackState::Paused:
        return QStringLiteral("Ready to resume");
    case PlaybackState::Failed:
        return QStringLiteral("Playback unavailable");
    }
    return {};
}

QString artistText(const std::optional<QString>& artist)
{
    return artist && !artist->isEmpty() ? *artist : kUnknownArtist;
}

ShuffleMode toggledShuffleMode(ShuffleMode mode)
{
    return mode == ShuffleMode::Off ? ShuffleMode::Standard : ShuffleMode::Off;
}

QString shuffleHelp(ShuffleMode mode)
{
    return mode == ShuffleMode::Off ? kShuffleOnHelp : kShuffleOffHelp;
}

RepeatMode nextRepeatMode(RepeatMode mode)
{
    switch (mode) {
    case RepeatMode::Off:
        return RepeatMode::All;
    case RepeatMode::All:
        return RepeatMode::Track;
    case RepeatMode::Track:
        return RepeatMode::Off;
    }
    return RepeatMode::Off;
}

QString repeatHelp(RepeatMode mode)
{
    switch (mode) {
    case RepeatMode::Off:
        return QStringLiteral("Repeat Off — click for Repeat All");
    case RepeatMode::All:
        return QStringLiteral("Repeat All — click for Repeat One");
    case RepeatMode::Track:
        return QStringLiteral("Repeat One — click to turn repeat off");
    }
    return {};
}

QString repeatSymbol(RepeatMode mode)
{
    return mode == RepeatMode::Track ? QStringLiteral("repeat.1") : QStringLiteral("repeat");
}

std::optional<QString> issueMessage(std::exception_ptr playbackError, std::exception_ptr persistenceError)
{
    if (playbackError)
        return describe(playbackError);
    if (persistenceError)
        return describe(persistenceError);
    return std::nullopt;
}

QString volumeSymbol(float volume)
{
    if (!(volume > kMutedVolume))
        return QStringLiteral("speaker.slash.fill");
    if (volume < 0.4f)
        return QStringLiteral("speaker.wave.1.fill");
    if (volume < 0.75f)
        return QStringLiteral("speaker.wave.2.fill");
    return QStringLiteral("speaker.wave.3.fill");
}

bool isMuted(float volume)
{
    return !(volume > kMutedVolume);
}

MuteToggle toggleMute(float volume, float lastAudibleVolume)
{
    if (isMuted(volume))
        return {std::clamp(lastAudibleVolume, kUnmuteFloor, 1.0f), lastAudibleVolume};
    return {0.0f, volume};
}

} // namespace varno::player
