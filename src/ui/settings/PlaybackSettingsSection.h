#pragma once

#include <QObject>

class QAbstractButton;
class QButtonGroup;
class QComboBox;

namespace varno {

class AudioEngine;
class SettingsSection;
class SettingsSlider;
class ThemeEngine;

// The settings sheet's "PLAYBACK" section: gapless playback, the crossfade,
// ReplayGain and the output device. It shows the audio engine's settings
// and hands every change to it at once; the engine applies it to what
// plays and the preferences keep it. The section's widget belongs to the
// sheet, this object to the widget. Main thread only.
class PlaybackSettingsSection final : public QObject {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kGaplessTitle;
    static const QString kCrossfadeTitle;
    static const QString kReplayGainTitle;
    static const QString kOutputDeviceTitle;
    // The first entry of the device list.
    static const QString kDefaultDeviceName;

    PlaybackSettingsSection(AudioEngine& engine, ThemeEngine& theme, QWidget* sheet);

    SettingsSection* section() const { return m_section; }

    QAbstractButton* gaplessSwitch() const { return m_gapless; }
    SettingsSlider* crossfadeSlider() const { return m_crossfade; }
    // "Off", "Track" or "Album".
    QAbstractButton* replayGainButton(const QString& choice) const;
    QString replayGainText() const;
    QComboBox* outputDeviceBox() const { return m_devices; }

    // "Off" at 0, else whole seconds: "5 s".
    static QString crossfadeText(double seconds);

private:
    void showSettings();
    void showDevices();

    AudioEngine& m_engine;
    SettingsSection* m_section = nullptr;
    QAbstractButton* m_gapless = nullptr;
    SettingsSlider* m_crossfade = nullptr;
    QButtonGroup* m_replayGain = nullptr;
    QComboBox* m_devices = nullptr;
};

} // namespace varno
