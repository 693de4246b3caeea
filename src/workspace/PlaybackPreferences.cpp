#include "PlaybackPreferences.h"

#include "playback/AudioEngine.h"
#include "platform/PreferencesStore.h"
#include "workspace/StoredPreferenceValues.h"

namespace varno {

const QString PlaybackPreferences::kGaplessKey = QStringLiteral("playback.gapless");
const QString PlaybackPreferences::kCrossfadeKey = QStringLiteral("playback.crossfadeSeconds");
const QString PlaybackPreferences::kReplayGainKey = QStringLiteral("playback.replayGain");
const QString PlaybackPreferences::kOutputDeviceKey = QStringLiteral("playback.outputDevice");

QString PlaybackPreferences::rawValue(ReplayGainMode mode)
{
    switch (mode) {
    case ReplayGainMode::Off:
        return QStringLiteral("off");
    case ReplayGainMode::Track:
        return QStringLiteral("track");
    case ReplayGainMode::Album:
        return QStringLiteral("album");
    }
    return QStringLiteral("track");
}

std::optional<ReplayGainMode> PlaybackPreferences::replayGainModeFromRawValue(const QString& text)
{
    for (ReplayGainMode mode : {ReplayGainMode::Off, ReplayGainMode::Track, ReplayGainMode::Album}) {
        if (text == rawValue(mode))
            return mode;
    }
    return std::nullopt;
}

PlaybackPreferences::PlaybackPreferences(AudioEngine& engine, PreferencesStore& preferences)
    : m_engine(engine)
    , m_preferences(preferences)
{
    const auto stored = [&](const QString& key) { return preferences.typedValue(key).value_or(QVariant()); };
    if (const std::optional<bool> gapless = storedBool(stored(kGaplessKey)))
        engine.setGaplessEnabled(*gapless);
    if (const std::optional<double> seconds = storedNumber(stored(kCrossfadeKey)))
        engine.setCrossfadeDuration(*seconds);
    if (const std::optional<QVariant> gain = preferences.typedValue(kReplayGainKey)) {
        if (const std::optional<ReplayGainMode> mode = replayGainModeFromRawValue(gain->toString()))
            engine.setReplayGainMode(*mode);
    }
    if (const std::optional<QVariant> device = preferences.typedValue(kOutputDeviceKey); device && !device->toString().isEmpty()) {
        try {
            engine.setOutputDevice(device->toString());
        } catch (const std::exception&) {
            // An output without devices (the null output, a recording): the
            // choice stays kept for when the sound server is back.
        }
    }
    connect(&engine, &AudioEngine::playbackSettingsChanged, this, &PlaybackPreferences::keep);
}

void PlaybackPreferences::keep()
{
    m_preferences.setTypedValue(kGaplessKey, m_engine.isGaplessEnabled());
    m_preferences.setTypedValue(kCrossfadeKey, m_engine.crossfadeDuration());
    m_preferences.setTypedValue(kReplayGainKey, rawValue(m_engine.replayGainMode()));
    if (!m_engine.outputDevice().isEmpty() || !m_engine.outputDevices().empty())
        m_preferences.setTypedValue(kOutputDeviceKey, m_engine.outputDevice());
}

} // namespace varno
