#include "FocusRegions.h"

#include <QWidget>

namespace varno {

namespace {

bool takesTabFocus(const QWidget* widget, const QWidget* root)
{
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && widget->isEnabled() && widget->isVisibleTo(root)
        && root->isVisible() && !widget->focusProxy();
}

} // namespace

FocusRegions::FocusRegions(std::function<QList<Region>()> regions)
    : m_regions(std::move(regions))
{
}

QList<FocusRegions::Region> FocusRegions::shownRegions() const
{
    QList<Region> shown;
    for (const Region& region : m_regions()) {
        if (region.root && region.root->isVisible() && region.root->width() > 0)
            shown.append(region);
    }
    return shown;
}

QList<QWidget*> FocusRegions::tabStops(QWidget* root)
{
    // Qt's focus chain runs through every widget of the window in the
    // order Tab would take; the part's own are picked from it in turn.
    QList<QWidget*> stops;
    if (takesTabFocus(root, root))
        stops.append(root);
    for (QWidget* widget = root->nextInFocusChain(); widget && widget != root; widget = widget->nextInFocusChain()) {
        if (root->isAncestorOf(widget) && takesTabFocus(widget, root))
            stops.append(widget);
    }
    return stops;
}

int FocusRegions::regionOf(const QWidget* widget) const
{
    const QList<Region> regions = shownRegions();
    for (qsizetype i = 0; widget && i < regions.size(); ++i) {
        if (regions[i].root == widget || regions[i].root->isAncestorOf(widget))
            return int(i);
    }
    return -1;
}

QWidget* FocusRegions::nextControl(QWidget* from, bool forward) const
{
    QList<QWidget*> stops;
    for (const Region& region : shownRegions())
        stops += tabStops(region.root);
    if (stops.isEmpty())
        return nullptr;
    // A widget inside a control (a viewport, a line edit's clear button)
    // counts as the innermost control holding it: a scroll area that takes
    // focus holds controls that take it too.
    qsizetype at = stops.indexOf(from);
    for (qsizetype i = 0; at < 0 && from && i < stops.size(); ++i) {
        if (stops[i]->isAncestorOf(from) && (at < 0 || stops[at]->isAncestorOf(stops[i])))
            at = i;
    }
    if (at < 0)
        return forward ? stops.first() : stops.last();
    const qsizetype count = stops.size();
    return stops[(at + (forward ? 1 : count - 1)) % count];
}

QWidget* FocusRegions::nextRegionEntry(QWidget* from, bool forward) const
{
    const QList<Region> regions = shownRegions();
    if (regions.isEmpty())
        return nullptr;
    const int at = regionOf(from);
    const qsizetype count = regions.size();
    for (qsizetype step = 1; step <= count; ++step) {
        const qsizetype index = at < 0 ? (forward ? step - 1 : count - step) : ((at + (forward ? step : -step)) % count + count) % count;
        const Region& region = regions[index];
        if (region.entry && takesTabFocus(region.entry, region.root))
            return region.entry;
        const QList<QWidget*> stops = tabStops(region.root);
        if (!stops.isEmpty())
            return stops.first();
    }
    return nullptr;
}

} // namespace varno
