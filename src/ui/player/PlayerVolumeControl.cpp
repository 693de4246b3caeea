#include "PlayerVolumeControl.h"

#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "ui/Icons.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/PlayerButtons.h"

#include <QHBoxLayout>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace varno {

PlayerVolumeControl::PlayerVolumeControl(AudioEngine& audioEngine, QueueEngine& queueEngine, QWidget* parent)
    : QWidget(parent)
    , m_audioEngine(audioEngine)
    , m_queueEngine(queueEngine)
    , m_lastAudibleVolume(player::kDefaultAudibleVolume)
{
    setObjectName(QStringLiteral("player.volume"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    m_mute = player::makeRoundButton(this, 28, 16);
    m_mute->setObjectName(QStringLiteral("player.mute"));

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("player.volumeSlider"));
    m_slider->setAccessibleName(player::kVolumeLabel);
    m_slider->setRange(0, kSliderSteps);
    m_slider->setSingleStep(kSliderSteps / 20);
    m_slider->setPageStep(kSliderSteps / 10);
    m_slider->setFixedWidth(kSliderWidth);
    m_slider->setFocusPolicy(Qt::TabFocus);
    m_slider->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; border-radius: 2px; background: rgba(255, 255, 255, 0.16); }"
        "QSlider::sub-page:horizontal { border-radius: 2px; background: rgba(232, 232, 236, 0.85); }"
        "QSlider::handle:horizontal { width: 12px; height: 12px; margin: -4px 0; border-radius: 6px; background: #e8e8ec; }"
        "QSlider::handle:horizontal:hover { background: #ffffff; }"));

    layout->addWidget(m_mute);
    layout->addWidget(m_slider);

    connect(m_mute, &QToolButton::clicked, this, &PlayerVolumeControl::toggleMute);
    connect(m_slider, &QSlider::valueChanged, this, &PlayerVolumeControl::applyFromSlider);
    // A drag is saved once, when it ends; a step by key or a click on the
    // groove is a finished change of its own (see applyFromSlider).
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_queueEngine.savePlaybackState(false); });
    connect(&m_audioEngine, &AudioEngine::volumeChanged, this, &PlayerVolumeControl::showVolume);
    showVolume();
}

void PlayerVolumeControl::toggleMute()
{
    const player::MuteToggle toggled = player::toggleMute(m_audioEngine.volume(), m_lastAudibleVolume);
    m_lastAudibleVolume = toggled.lastAudibleVolume;
    m_audioEngine.setVolume(toggled.volume);
    m_queueEngine.savePlaybackState(false);
}

void PlayerVolumeControl::applyFromSlider(int value)
{
    // The slider following the engine is not the user moving it.
    if (m_showingVolume)
        return;
    const float volume = std::clamp(float(value) / float(kSliderSteps), 0.0f, 1.0f);
    m_audioEngine.setVolume(volume);
    if (volume > player::kRememberedVolumeFloor)
        m_lastAudibleVolume = volume;
    if (!m_slider->isSliderDown())
        m_queueEngine.savePlaybackState(false);
}

void PlayerVolumeControl::showVolume()
{
    const float volume = m_audioEngine.volume();
    m_symbol = player::volumeSymbol(volume);
    m_mute->setIcon(symbolIcon(m_symbol));
    const QString label = player::isMuted(volume) ? player::kUnmuteLabel : player::kMuteLabel;
    m_mute->setToolTip(label);
    m_mute->setAccessibleName(label);
    if (!m_slider->isSliderDown()) {
        m_showingVolume = true;
        m_slider->setValue(int(std::lround(std::clamp(volume, 0.0f, 1.0f) * kSliderSteps)));
        m_showingVolume = false;
    }
}

} // namespace varno
