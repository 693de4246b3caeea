#pragma once

#include <QPalette>

namespace varno {

// The app's dark colour scheme for the Fusion style.
QPalette darkPalette();

// The Fusion style, the dark palette and the window's style sheet, for the
// whole application. Called once, after the QApplication exists.
void applyApplicationStyle();

} // namespace varno
