#pragma once

#include <QPalette>

namespace varno {

// The app's dark colour scheme for the Fusion style.
QPalette darkPalette();

} // namespace varno
