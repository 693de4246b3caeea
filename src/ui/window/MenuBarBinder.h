#pragma once

#include "workspace/MainMenuBarCommands.h"

#include <QHash>
#include <QObject>

class QAction;
class QMenuBar;
class QUndoStack;

namespace varno {

// Draws the menu bar from the menu commands' data and keeps every item's
// title, key, check mark and enabled state in step with it; choosing an item
// triggers its command. Keys work while the window is active, whatever has
// focus, except where a text field takes the key for itself.
class MenuBarBinder final : public QObject {
    Q_OBJECT

public:
    MenuBarBinder(MainMenuBarCommands& commands, QMenuBar& menuBar, QObject* parent = nullptr);

    QAction* action(MenuCommand command) const { return m_actions.value(command); }
    // Puts "Undo …" and "Redo …" for `stack` at the top of the Edit menu,
    // with the desktop's keys.
    void addUndoActions(QUndoStack& stack);
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }

private:
    void build();
    void refresh();

    MainMenuBarCommands& m_commands;
    QMenuBar& m_menuBar;
    QHash<MenuCommand, QAction*> m_actions;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
};

} // namespace varno
