#pragma once

#include <QString>

class QToolButton;
class QWidget;

// The bar's round icon buttons share one look: no frame, a soft wash on
// hover and press, and an accent wash while a mode they stand for is on.
namespace varno::player {

QToolButton* makeRoundButton(QWidget* parent, int side, int iconSide);
// Gives an existing button that look.
void styleRoundButton(QToolButton* button, int side, int iconSide);
// The prominent play/pause button: a light disc with a dark glyph.
QToolButton* makeProminentButton(QWidget* parent, int side, int iconSide);

// Shows the button's mode as on or off (an accent glyph on an accent wash).
void setModeActive(QToolButton* button, const QString& symbol, bool active);
bool isModeActive(const QToolButton* button);

} // namespace varno::player
