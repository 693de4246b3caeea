#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QRect>
#include <QString>

class QPainter;

namespace varno {

// The look shared by every sidebar row, the fixed screens' rows and the
// playlist tree's alike, so both read as one list.
namespace sidebar {

inline constexpr int kRowHeight = 28;
inline constexpr int kIconSize = 16;
inline constexpr int kSidebarWidth = 240;
// Rows sit this far inside the sidebar's edges; the selected fill is drawn
// within the row, so it never touches the edge.
inline constexpr int kRowInset = 8;

// Darker than the centre, so the column reads as navigation.
QColor backgroundColor(const QPalette& palette);
// The selected row's fill: the accent at low opacity.
QColor selectionColor(const QPalette& palette);
QColor hoverColor(const QPalette& palette);

struct RowLook {
    QIcon icon;
    QString text;
    bool selected = false;
    bool hovered = false;
    bool enabled = true;
    // Songs or a playlist dragged over the row would be dropped into it.
    bool dropTarget = false;
    // A folder's disclosure chevron at the row's trailing end.
    enum class Disclosure { None, Collapsed, Expanded } disclosure = Disclosure::None;
};

// Where a dragged playlist would land between two rows: a short accent
// line at height `y`, across `rect`'s width.
void paintDropLine(QPainter& painter, const QRect& rect, int y, const QPalette& palette);

void paintRow(QPainter& painter, const QRect& rect, const QPalette& palette, const QFont& font, const RowLook& look);
// Where paintRow draws the disclosure chevron of a row at `rect`.
QRect disclosureRect(const QRect& rect);

// A small upper-case dimmed caption ("SONGS", "PLAYLISTS").
QFont captionFont(const QFont& base);

} // namespace sidebar

} // namespace varno
