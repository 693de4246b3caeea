#pragma once

#include <QColor>
#include <QIcon>
#include <QStringList>
#include <QStringView>

namespace varno {

// Every view names its icons by symbol ("play.fill", "heart", …). One table
// maps each symbol to a freedesktop icon name where one fits and to an SVG
// compiled into the binary, used when the desktop's theme lacks the name.
// Either way the icon is drawn as a one-colour glyph in the palette's text
// colour (dimmed when disabled), so it reads on the dark window whatever the
// desktop's theme is.
//
// Main thread only (icons render through the GUI).
QIcon symbolIcon(QStringView symbol);
// The same glyph in a fixed colour, for accents such as a filled heart.
QIcon symbolIcon(QStringView symbol, const QColor& color);

// The freedesktop name of the symbol, or empty when none fits.
QString themeIconName(QStringView symbol);
// The resource path of the bundled SVG (":/icons/<symbol>.svg"); empty for
// an unknown symbol.
QString bundledIconPath(QStringView symbol);
// Every symbol of the table.
QStringList knownSymbols();

} // namespace varno
