#pragma once

#include "playback/AudioEngine.h"
#include "playback/RepeatMode.h"
#include "playback/ShuffleMode.h"

#include <QString>

#include <exception>
#include <optional>

// What the player bar shows and decides, as plain functions over the engines'
// published values, so the rules are checked without widgets.
namespace varno::player {

// Texts of the bar, exactly as shown.
inline const QString kEmptyTitle = QStringLiteral("Ready when you are");
inline const QString kEmptySubtitle = QStringLiteral("Choose a track to start listening");
inline const QString kUnknownArtist = QStringLiteral("Unknown Artist");
inline const QString kShuffleLabel = QStringLiteral("Shuffle");
inline const QString kShuffleOnHelp = QStringLiteral("Turn shuffle on");
inline const QString kShuffleOffHelp = QStringLiteral("Turn shuffle off");
inline const QString kPreviousHelp = QStringLiteral("Previous track");
inline const QString kNextHelp = QStringLiteral("Next track");
inline const QString kPlayLabel = QStringLiteral("Play");
inline const QString kPauseLabel = QStringLiteral("Pause");
inline const QString kSeekHelp = QStringLiteral("Click or drag to seek");
inline const QString kWaveformLabel = QStringLiteral("Playback waveform");
inline const QString kMuteLabel = QStringLiteral("Mute");
inline const QString kUnmuteLabel = QStringLiteral("Unmute");
inline const QString kVolumeLabel = QStringLiteral("Volume");
inline const QString kQueueLabel = QStringLiteral("Playback queue");
inline const QString kShowQueueHelp = QStringLiteral("Show queue");
inline const QString kHideQueueHelp = QStringLiteral("Hide queue");

// Identifiers for automation, set as object names.
inline const QString kPlayPauseID = QStringLiteral("player.playPause");
inline const QString kRepeatID = QStringLiteral("player.repeat");
inline const QString kWaveformID = QStringLiteral("player.waveform");

// The waveform's resolution asked of the generator.
inline constexpr int kWaveformPoints = 360;

// A position or length as every other place shows it (clockText).
QString timeText(double seconds);

// The total time shown for a song: the larger of what the audio engine
// reports (the player's duration, or without a player its current song's
// stored one) and the shown song's stored duration; never below zero.
double displayedDuration(double engineDuration, std::optional<double> shownSongDuration);

// The status line under the artist, before upper-casing.
QString statusText(PlaybackState state);

// The artist, or "Unknown Artist" when absent or empty.
QString artistText(const std::optional<QString>& artist);

// Shuffle toggles between off and standard; smart counts as on.
ShuffleMode toggledShuffleMode(ShuffleMode mode);
QString shuffleHelp(ShuffleMode mode);

// Repeat steps off → all → track → off; the help names the mode and the next.
RepeatMode nextRepeatMode(RepeatMode mode);
QString repeatHelp(RepeatMode mode);
QString repeatSymbol(RepeatMode mode);

// The banner's message: the playback error when there is one, else the
// saving error; none without either.
std::optional<QString> issueMessage(std::exception_ptr playbackError, std::exception_ptr persistenceError);

// Volume: at or below this it counts as muted.
inline constexpr float kMutedVolume = 0.001f;
// Unmuting never returns to less than this, so it is always audible.
inline constexpr float kUnmuteFloor = 0.25f;
// What unmuting returns to when nothing audible was remembered.
inline constexpr float kDefaultAudibleVolume = 0.8f;
// Slider values above this are remembered for unmuting.
inline constexpr float kRememberedVolumeFloor = 0.01f;

QString volumeSymbol(float volume);
bool isMuted(float volume);

// One press of the mute button.
struct MuteToggle {
    float volume;
    float lastAudibleVolume;
};
MuteToggle toggleMute(float volume, float lastAudibleVolume);

} // namespace varno::player
