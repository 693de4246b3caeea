#pragma once

#include <Qt>

class QKeyEvent;
class QWidget;

namespace varno {

// What has keyboard focus in the window, as the key monitors see it.
enum class FocusKind {
    // The song table, any other view, or nothing.
    Other,
    // Somewhere text is typed: a line or text edit, a spin box, an editable
    // combo box. Arrows move the cursor and Ctrl+A selects the text there.
    TextInput,
    // A control with its own arrow keys: a slider, a button, a combo box.
    Control,
};

// The state of the window a key monitor sits in, when a key is pressed.
struct ShortcutContext {
    // The monitor's window is the active window.
    bool isActiveWindow = false;
    // A dialog is open over that window.
    bool hasAttachedDialog = false;
    // Some modal window of the application is open.
    bool applicationShowsModal = false;
    FocusKind focus = FocusKind::Other;

    // Read from the application for the window `monitorView` is in.
    static ShortcutContext of(const QWidget* monitorView);
};

FocusKind focusKindOf(const QWidget* focusWidget);

// One key press as the monitors take it.
struct KeyPress {
    // A Qt::Key.
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    bool isAutoRepeat = false;

    static KeyPress from(const QKeyEvent& event);
};

} // namespace varno
