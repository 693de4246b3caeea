#include "PlayerRepeatButton.h"

#include "playback/QueueEngine.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/PlayerButtons.h"

namespace varno {

PlayerRepeatButton::PlayerRepeatButton(QueueEngine& queueEngine, QWidget* parent)
    : QToolButton(parent)
    , m_queueEngine(queueEngine)
{
    setObjectName(player::kRepeatID);
    player::styleRoundButton(this, kSide, 15);

    connect(this, &QToolButton::clicked, this, [this] { m_queueEngine.setRepeatMode(player::nextRepeatMode(m_queueEngine.repeatMode())); });
    connect(&m_queueEngine, &QueueEngine::repeatModeChanged, this, &PlayerRepeatButton::showMode);
    showMode();
}

void PlayerRepeatButton::showMode()
{
    const RepeatMode mode = m_queueEngine.repeatMode();
    setToolTip(player::repeatHelp(mode));
    // The help is also what a screen reader says: it names the mode.
    setAccessibleName(player::repeatHelp(mode));
    player::setModeActive(this, player::repeatSymbol(mode), mode != RepeatMode::Off);
}

} // namespace varno
