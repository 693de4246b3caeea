#include "PlayerButtons.h"

#include "ui/Icons.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QToolButton>
#include <QVariant>

namespace varno::player {

namespace {

const char* const kActiveProperty = "modeActive";

QString roundStyle(int side)
{
    const QColor accent = QApplication::palette().color(QPalette::Highlight);
    return QStringLiteral("QToolButton { border: none; border-radius: %1px; background: transparent; padding: 0; }"
                          "QToolButton:hover { background: rgba(255, 255, 255, 0.08); }"
                          "QToolButton:pressed { background: rgba(255, 255, 255, 0.14); }"
                          "QToolButton[modeActive=\"true\"] { background: rgba(%2, %3, %4, 0.20); }"
                          "QToolButton[modeActive=\"true\"]:hover { background: rgba(%2, %3, %4, 0.28); }"
                          "QToolButton:focus { border: 1px solid rgba(%2, %3, %4, 0.7); }")
        .arg(side / 2)
        .arg(accent.red())
        .arg(accent.green())
        .arg(accent.blue());
}

} // namespace

void styleRoundButton(QToolButton* button, int side, int iconSide)
{
    button->setFixedSize(side, side);
    button->setIconSize(QSize(iconSide, iconSide));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(roundStyle(side));
}

QToolButton* makeRoundButton(QWidget* parent, int side, int iconSide)
{
    auto* button = new QToolButton(parent);
    styleRoundButton(button, side, iconSide);
    return button;
}

QToolButton* makeProminentButton(QWidget* parent, int side, int iconSide)
{
    auto* button = makeRoundButton(parent, side, iconSide);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; border-radius: %1px; background: rgba(255, 255, 255, 0.92); }"
                                         "QToolButton:hover { background: rgb(255, 255, 255); }"
                                         "QToolButton:pressed { background: rgba(255, 255, 255, 0.75); }"
                                         "QToolButton:focus { border: 2px solid palette(highlight); }")
                              .arg(side / 2));
    return button;
}

void setModeActive(QToolButton* button, const QString& symbol, bool active)
{
    button->setIcon(active ? symbolIcon(symbol, QApplication::palette().color(QPalette::Highlight).lighter(125))
                           : symbolIcon(symbol));
    if (button->property(kActiveProperty).toBool() == active && button->property(kActiveProperty).isValid())
        return;
    button->setProperty(kActiveProperty, active);
    // Style sheets read dynamic properties only when the widget is polished.
    button->style()->unpolish(button);
    button->style()->polish(button);
}

bool isModeActive(const QToolButton* button)
{
    return button->property(kActiveProperty).toBool();
}

} // namespace varno::player
