#include "PlaybackNavigationShortcutMonitor.h"

namespace varno {

PlaybackNavigationShortcut playbackNavigationShortcut(const KeyPress& press, const ShortcutContext& context, bool canPlayPrevious,
                                                      bool canPlayNext)
{
    if (!context.isActiveWindow || context.hasAttachedDialog || context.applicationShowsModal)
        return PlaybackNavigationShortcut::PassOn;
    if (context.focus != FocusKind::Other)
        return PlaybackNavigationShortcut::PassOn;
    // Arrow keys of the number pad carry the keypad flag; it is no modifier
    // the user holds.
    constexpr Qt::KeyboardModifiers held = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (press.isAutoRepeat || (press.modifiers & held))
        return PlaybackNavigationShortcut::PassOn;
    if (press.key == Qt::Key_Left && canPlayPrevious)
        return PlaybackNavigationShortcut::PlayPrevious;
    if (press.key == Qt::Key_Right && canPlayNext)
        return PlaybackNavigationShortcut::PlayNext;
    return PlaybackNavigationShortcut::PassOn;
}

bool PlaybackNavigationShortcutMonitor::handleKeyPress(const KeyPress& press, const ShortcutContext& context) const
{
    switch (playbackNavigationShortcut(press, context, m_configuration.canPlayPrevious, m_configuration.canPlayNext)) {
    case PlaybackNavigationShortcut::PassOn:
        return false;
    case PlaybackNavigationShortcut::PlayPrevious:
        if (m_configuration.playPrevious)
            m_configuration.playPrevious();
        return true;
    case PlaybackNavigationShortcut::PlayNext:
        if (m_configuration.playNext)
            m_configuration.playNext();
        return true;
    }
    return false;
}

} // namespace varno
