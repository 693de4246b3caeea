#pragma once

#include "playback/ReplayGainMode.h"

#include <QObject>
#include <QString>

#include <optional>

namespace varno {

class AudioEngine;
class PreferencesStore;

// Keeps the audio engine's playback settings (gapless, crossfade,
// ReplayGain, output device) in the user's preferences: puts back what was
// kept when made, and keeps every later change. Values edited by hand into
// something else are ignored for the defaults. Main thread only.
class PlaybackPreferences final : public QObject {
    Q_OBJECT

public:
    static const QString kGaplessKey;
    static const QString kCrossfadeKey;
    static const QString kReplayGainKey;
    static const QString kOutputDeviceKey;

    PlaybackPreferences(AudioEngine& engine, PreferencesStore& preferences);

    // "off", "track", "album", as kept.
    static QString rawValue(ReplayGainMode mode);
    static std::optional<ReplayGainMode> replayGainModeFromRawValue(const QString& text);

private:
    void keep();

    AudioEngine& m_engine;
    PreferencesStore& m_preferences;
};

} // namespace varno
