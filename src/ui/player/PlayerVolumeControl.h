#pragma once

#include <QWidget>

class QSlider;
class QToolButton;

namespace varno {

class AudioEngine;
class QueueEngine;

// The mute button and the volume slider. Both set the audio engine's volume
// and have the session saved through the queue engine (the slider when it
// is let go); the button's glyph follows the volume. Muting remembers the
// volume it left, and unmuting returns to it, never quieter than 0.25.
class PlayerVolumeControl final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSliderWidth = 88;
    // Slider steps for 0…1.
    static constexpr int kSliderSteps = 1000;

    PlayerVolumeControl(AudioEngine& audioEngine, QueueEngine& queueEngine, QWidget* parent = nullptr);

    float lastAudibleVolume() const { return m_lastAudibleVolume; }
    QToolButton* muteButton() const { return m_mute; }
    QSlider* slider() const { return m_slider; }
    // The symbol the mute button shows.
    QString muteSymbol() const { return m_symbol; }

    // One press of the mute button.
    void toggleMute();

private:
    void applyFromSlider(int value);
    void showVolume();

    AudioEngine& m_audioEngine;
    QueueEngine& m_queueEngine;
    float m_lastAudibleVolume = 0.8f;
    QString m_symbol;
    bool m_showingVolume = false;
    QToolButton* m_mute = nullptr;
    QSlider* m_slider = nullptr;
};

} // namespace varno
