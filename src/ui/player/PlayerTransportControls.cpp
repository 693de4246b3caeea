#include "PlayerTransportControls.h"

#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "ui/Icons.h"
#include "ui/player/BusySpinner.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/PlayerButtons.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace varno {

namespace {

constexpr int kModeButtonSide = 30;
constexpr int kStepButtonSide = 32;
constexpr int kPlayButtonSide = 38;
// The glyph on the light disc.
const QColor kPlayGlyph(0x16, 0x16, 0x19);

} // namespace

PlayerTransportControls::PlayerTransportControls(AudioEngine& audioEngine, QueueEngine& queueEngine, QWidget* parent)
    : QWidget(parent)
    , m_audioEngine(audioEngine)
    , m_queueEngine(queueEngine)
{
    setObjectName(QStringLiteral("player.transport"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    m_shuffle = player::makeRoundButton(this, kModeButtonSide, 15);
    m_shuffle->setObjectName(QStringLiteral("player.shuffle"));
    m_shuffle->setAccessibleName(player::kShuffleLabel);

    m_previous = player::makeRoundButton(this, kStepButtonSide, 17);
    m_previous->setObjectName(QStringLiteral("player.previous"));
    m_previous->setIcon(symbolIcon(u"backward.fill"));
    m_previous->setToolTip(player::kPreviousHelp);
    m_previous->setAccessibleName(player::kPreviousHelp);

    m_playPause = player::makeProminentButton(this, kPlayButtonSide, 16);
    m_playPause->setObjectName(player::kPlayPauseID);
    m_spinner = new BusySpinner(18, m_playPause);
    m_spinner->move((kPlayButtonSide - m_spinner->width()) / 2, (kPlayButtonSide - m_spinner->height()) / 2);
    QPalette spinnerPalette = m_spinner->palette();
    spinnerPalette.setColor(QPalette::ButtonText, kPlayGlyph);
    m_spinner->setPalette(spinnerPalette);
    m_spinner->hide();

    m_next = player::makeRoundButton(this, kStepButtonSide, 17);
    m_next->setObjectName(QStringLiteral("player.next"));
    m_next->setIcon(symbolIcon(u"forward.fill"));
    m_next->setToolTip(player::kNextHelp);
    m_next->setAccessibleName(player::kNextHelp);

    layout->addWidget(m_shuffle);
    layout->addWidget(m_previous);
    layout->addWidget(m_playPause);
    layout->addWidget(m_next);

    connect(m_shuffle, &QToolButton::clicked, this,
            [this] { m_queueEngine.setShuffleMode(player::toggledShuffleMode(m_queueEngine.shuffleMode())); });
    connect(m_previous, &QToolButton::clicked, this, [this] { m_queueEngine.returnToPrevious(); });
    connect(m_next, &QToolButton::clicked, this, [this] { m_queueEngine.advanceToNext(); });
    connect(m_playPause, &QToolButton::clicked, this, [this] {
        if (m_audioEngine.playbackState() == PlaybackState::Playing)
            m_audioEngine.pause();
        else
            m_audioEngine.resume();
    });

    connect(&m_audioEngine, &AudioEngine::playbackStateChanged, this, &PlayerTransportControls::showPlaybackState);
    connect(&m_queueEngine, &QueueEngine::shuffleModeChanged, this, &PlayerTransportControls::showShuffleMode);
    showPlaybackState();
    showShuffleMode();
}

bool PlayerTransportControls::isSpinnerShown() const
{
    return !m_spinner->isHidden();
}

void PlayerTransportControls::showPlaybackState()
{
    const PlaybackState state = m_audioEngine.playbackState();
    const bool playing = state == PlaybackState::Playing;
    const QString label = playing ? player::kPauseLabel : player::kPlayLabel;
    m_playPause->setToolTip(label);
    m_playPause->setAccessibleName(label);
    const bool buffering = state == PlaybackState::Buffering;
    m_spinner->setVisible(buffering);
    m_playPause->setIcon(buffering ? QIcon() : symbolIcon(playing ? u"pause.fill" : u"play.fill", kPlayGlyph));
}

void PlayerTransportControls::showShuffleMode()
{
    const ShuffleMode mode = m_queueEngine.shuffleMode();
    m_shuffle->setToolTip(player::shuffleHelp(mode));
    player::setModeActive(m_shuffle, QStringLiteral("shuffle"), mode != ShuffleMode::Off);
}

} // namespace varno
