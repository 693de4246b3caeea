#pragma once

#include <QList>
#include <QPointer>

#include <functional>

class QWidget;

namespace varno {

// The window's parts in the order the keyboard visits them (search,
// sidebar, song list, queue, right panel, player bar). Tab and Shift+Tab
// walk every control of every shown part in that order, whatever order the
// widgets were made in (screens are made when first shown, so Qt's own
// chain would put a song list after the player bar); F6 and Shift+F6 jump
// from part to part, landing on the part's entry (the song table of a song
// list, else its first control). Main thread only.
class FocusRegions final {
public:
    struct Region {
        QPointer<QWidget> root;
        // Where F6 lands; the first control of the part when null or not
        // focusable now.
        QPointer<QWidget> entry;
    };

    // `regions` is asked afresh each time: which parts show changes.
    explicit FocusRegions(std::function<QList<Region>()> regions);

    // The control Tab (forward) or Shift+Tab reaches from `from`; null when
    // no part has one.
    QWidget* nextControl(QWidget* from, bool forward) const;
    // The entry of the part after (or before) the one holding `from`.
    QWidget* nextRegionEntry(QWidget* from, bool forward) const;
    // The part that holds `widget`, or -1.
    int regionOf(const QWidget* widget) const;

    // The controls inside `root` that Tab stops at, in Qt's focus order.
    static QList<QWidget*> tabStops(QWidget* root);

private:
    QList<Region> shownRegions() const;

    std::function<QList<Region>()> m_regions;
};

} // namespace varno
