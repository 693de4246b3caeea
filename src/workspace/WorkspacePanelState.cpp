#include "WorkspacePanelState.h"

#include "workspace/StoredPreferenceValues.h"

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <optional>

namespace varno {

namespace {

QString sideName(WorkspacePanelSide side)
{
    return side == WorkspacePanelSide::Left ? QStringLiteral("workspace.left.") : QStringLiteral("workspace.right.");
}

} // namespace

WorkspacePanelState::Limits WorkspacePanelState::limitsOf(WorkspacePanelSide side)
{
    return side == WorkspacePanelSide::Left ? Limits {188, 360, 240} : Limits {260, 460, 340};
}

QString WorkspacePanelState::panelName(WorkspacePanelSide side)
{
    return side == WorkspacePanelSide::Left ? QStringLiteral("Library Sidebar") : QStringLiteral("Now Playing Inspector");
}

QString WorkspacePanelState::enabledKey(WorkspacePanelSide side)
{
    return sideName(side) + QStringLiteral("enabled");
}

QString WorkspacePanelState::expandedKey(WorkspacePanelSide side)
{
    return sideName(side) + QStringLiteral("expanded");
}

QString WorkspacePanelState::lockedKey(WorkspacePanelSide side)
{
    return sideName(side) + QStringLiteral("locked");
}

QString WorkspacePanelState::widthKey(WorkspacePanelSide side)
{
    return sideName(side) + QStringLiteral("width");
}

WorkspacePanelState::WorkspacePanelState(PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_left(load(WorkspacePanelSide::Left))
    , m_right(load(WorkspacePanelSide::Right))
{
}

WorkspacePanelState::Panel WorkspacePanelState::load(WorkspacePanelSide side) const
{
    const auto stored = [&](const QString& key) { return m_defaults.typedValue(key).value_or(QVariant()); };
    const Limits limits = limitsOf(side);
    Panel panel;
    panel.enabled = storedBool(stored(enabledKey(side))).value_or(true);
    panel.expanded = storedBool(stored(expandedKey(side))).value_or(true);
    panel.locked = storedBool(stored(lockedKey(side))).value_or(false);
    panel.width = std::clamp(storedNumber(stored(widthKey(side))).value_or(limits.defaultWidth), limits.minimumWidth, limits.maximumWidth);
    return panel;
}

void WorkspacePanelState::setPanelEnabled(WorkspacePanelSide side, bool enabled)
{
    if (!enabled) {
        disablePanel(side);
        return;
    }
    assignEnabled(side, true);
    assignExpanded(side, true);
}

void WorkspacePanelState::disablePanel(WorkspacePanelSide side)
{
    assignEnabled(side, false);
    assignExpanded(side, false);
    assignLocked(side, false);
}

void WorkspacePanelState::setPanelExpanded(WorkspacePanelSide side, bool expanded)
{
    if (canChange(side))
        assignExpanded(side, expanded);
}

void WorkspacePanelState::resizePanel(WorkspacePanelSide side, double width)
{
    if (!canChange(side))
        return;
    // A NaN from a broken pointer event would pass std::clamp unchanged.
    if (std::isnan(width))
        return;
    const Limits limits = limitsOf(side);
    assignWidth(side, std::clamp(width, limits.minimumWidth, limits.maximumWidth));
}

void WorkspacePanelState::setPanelLocked(WorkspacePanelSide side, bool locked)
{
    assignLocked(side, locked);
}

WorkspacePanelState::ControlTexts WorkspacePanelState::controlTexts(WorkspacePanelSide side) const
{
    const QString name = panelName(side);
    ControlTexts texts;
    texts.collapseItem = QStringLiteral("Collapse ") + name;
    texts.disableItem = QStringLiteral("Disable ") + name;
    if (!isLocked(side)) {
        texts.lockItem = QStringLiteral("Lock Width and Visibility");
        texts.revealTitle = QStringLiteral("Expand ") + name;
        return texts;
    }
    texts.lockItem = QStringLiteral("Unlock Width and Visibility");
    texts.lockedLabel = name + QStringLiteral(" locked");
    texts.lockedHelp = QStringLiteral("Unlock ") + name + QStringLiteral(" to change it");
    texts.revealTitle = name + QStringLiteral(" collapsed and locked");
    texts.revealHelp = QStringLiteral("Unlock ") + name + QStringLiteral(" from Workspace");
    return texts;
}

void WorkspacePanelState::assignEnabled(WorkspacePanelSide side, bool value)
{
    panel(side).enabled = value;
    m_defaults.setTypedValue(enabledKey(side), value);
    emit panelChanged(side);
}

void WorkspacePanelState::assignExpanded(WorkspacePanelSide side, bool value)
{
    panel(side).expanded = value;
    m_defaults.setTypedValue(expandedKey(side), value);
    emit panelChanged(side);
}

void WorkspacePanelState::assignLocked(WorkspacePanelSide side, bool value)
{
    panel(side).locked = value;
    m_defaults.setTypedValue(lockedKey(side), value);
    emit panelChanged(side);
}

void WorkspacePanelState::assignWidth(WorkspacePanelSide side, double value)
{
    panel(side).width = value;
    m_defaults.setTypedValue(widthKey(side), value);
    emit panelChanged(side);
}

double dividerDragWidth(WorkspacePanelSide side, double originWidth, double translation)
{
    return side == WorkspacePanelSide::Left ? originWidth + translation : originWidth - translation;
}

} // namespace varno
