#include "ShortcutContext.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>
#include <QWidget>

namespace varno {

ShortcutContext ShortcutContext::of(const QWidget* monitorView)
{
    ShortcutContext context;
    const QWidget* window = monitorView ? monitorView->window() : nullptr;
    if (!window)
        return context;
    context.isActiveWindow = window->isActiveWindow();
    const QWidget* modal = QApplication::activeModalWidget();
    context.applicationShowsModal = modal != nullptr;
    context.hasAttachedDialog = modal && modal != window && modal->parentWidget() && modal->parentWidget()->window() == window;
    context.focus = focusKindOf(window->focusWidget());
    return context;
}

FocusKind focusKindOf(const QWidget* focusWidget)
{
    if (!focusWidget)
        return FocusKind::Other;
    if (qobject_cast<const QLineEdit*>(focusWidget) || qobject_cast<const QTextEdit*>(focusWidget)
        || qobject_cast<const QPlainTextEdit*>(focusWidget) || qobject_cast<const QAbstractSpinBox*>(focusWidget))
        return FocusKind::TextInput;
    if (const auto* combo = qobject_cast<const QComboBox*>(focusWidget))
        return combo->isEditable() ? FocusKind::TextInput : FocusKind::Control;
    // A custom control that presents itself as a slider (the waveform strip)
    // keeps its arrows too.
    if (QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(const_cast<QWidget*>(focusWidget));
        accessible && accessible->role() == QAccessible::Slider)
        return FocusKind::Control;
    if (qobject_cast<const QAbstractSlider*>(focusWidget) || qobject_cast<const QAbstractButton*>(focusWidget)
        || qobject_cast<const QTabBar*>(focusWidget))
        return FocusKind::Control;
    return FocusKind::Other;
}

KeyPress KeyPress::from(const QKeyEvent& event)
{
    return {event.key(), event.modifiers(), event.isAutoRepeat()};
}

} // namespace varno
