#include "TrackListShortcutMonitor.h"

namespace varno {

TrackListShortcut trackListShortcut(const KeyPress& press, const ShortcutContext& context, const TrackListShortcutConfiguration& configuration)
{
    if (!configuration.isEnabled || !context.isActiveWindow)
        return TrackListShortcut::PassOn;
    if (context.focus == FocusKind::TextInput)
        return TrackListShortcut::PassOn;
    // Ctrl stands where Command is elsewhere and Meta where Control is, so
    // both are accepted like the two keys are there.
    const Qt::KeyboardModifiers mods = press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::MetaModifier);
    if (press.key == Qt::Key_A && (mods == Qt::ControlModifier || mods == Qt::MetaModifier))
        return configuration.canSelect ? TrackListShortcut::SelectAll : TrackListShortcut::PassOn;
    if (press.key == Qt::Key_A && (mods == (Qt::ControlModifier | Qt::ShiftModifier) || mods == (Qt::MetaModifier | Qt::ShiftModifier)))
        return configuration.canDeselect ? TrackListShortcut::DeselectAll : TrackListShortcut::PassOn;
    if (press.key == Qt::Key_E && mods == Qt::ControlModifier)
        return configuration.canEdit ? TrackListShortcut::EditSelection : TrackListShortcut::PassOn;
    return TrackListShortcut::PassOn;
}

bool TrackListShortcutMonitor::handleKeyPress(const KeyPress& press, const ShortcutContext& context) const
{
    const auto run = [](const std::function<void()>& action) {
        if (action)
            action();
        return true;
    };
    switch (trackListShortcut(press, context, m_configuration)) {
    case TrackListShortcut::PassOn:
        return false;
    case TrackListShortcut::SelectAll:
        return run(m_configuration.selectAll);
    case TrackListShortcut::DeselectAll:
        return run(m_configuration.deselectAll);
    case TrackListShortcut::EditSelection:
        return run(m_configuration.editSelection);
    }
    return false;
}

} // namespace varno
