#include "PlayerTimeLabel.h"

#include "ui/player/PlayerBarRules.h"

#include <QEvent>
#include <QFontDatabase>

#include <algorithm>
#include <cmath>

namespace varno {

PlayerTimeLabel::PlayerTimeLabel(const QString& objectName, Qt::Alignment alignment, QWidget* parent)
    : QLabel(QStringLiteral("0:00"), parent)
{
    setObjectName(objectName);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(10.5);
    font.setWeight(QFont::Medium);
    setFont(font);
    setAlignment(alignment | Qt::AlignVCenter);
    QPalette dimmed = palette();
    dimmed.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText).lighter(125));
    setPalette(dimmed);
    fitFont();
}

void PlayerTimeLabel::showSeconds(double seconds)
{
    // The time text rounds to the nearest second; a whole number of seconds
    // is shown as itself.
    const long long second = std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, 1e15)) : 0;
    if (second == m_shownSecond)
        return;
    m_shownSecond = second;
    setText(player::timeText(double(second)));
}

void PlayerTimeLabel::changeEvent(QEvent* event)
{
    // The theme scales the label's font with the rest of the window.
    if (event->type() == QEvent::FontChange)
        fitFont();
    QLabel::changeEvent(event);
}

void PlayerTimeLabel::fitFont()
{
    setFixedSize(fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")), fontMetrics().height());
}

} // namespace varno
