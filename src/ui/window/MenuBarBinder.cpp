#include "MenuBarBinder.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QUndoStack>

namespace varno {

MenuBarBinder::MenuBarBinder(MainMenuBarCommands& commands, QMenuBar& menuBar, QObject* parent)
    : QObject(parent)
    , m_commands(commands)
    , m_menuBar(menuBar)
{
    build();
    connect(&m_commands, &MainMenuBarCommands::menusChanged, this, &MenuBarBinder::refresh);
}

void MenuBarBinder::build()
{
    for (const Menu& menu : m_commands.menus()) {
        QMenu* drawn = m_menuBar.addMenu(menu.title);
        for (const MenuItem& item : menu.items) {
            if (item.startsGroup)
                drawn->addSeparator();
            QAction* action = drawn->addAction(item.title);
            action->setShortcut(item.shortcut);
            action->setShortcutContext(Qt::WindowShortcut);
            action->setCheckable(item.isChecked.has_value());
            if (item.command == MenuCommand::About)
                action->setMenuRole(QAction::AboutRole);
            const MenuCommand command = item.command;
            connect(action, &QAction::triggered, this, [this, command] {
                m_commands.trigger(command);
                // A toggle whose command was refused (a locked panel) must
                // not keep the check mark the click gave it.
                refresh();
            });
            m_actions.insert(command, action);
        }
    }
    refresh();
}

void MenuBarBinder::addUndoActions(QUndoStack& stack)
{
    QAction* firstEditItem = m_actions.value(MenuCommand::SelectAllSongs);
    QMenu* edit = firstEditItem ? qobject_cast<QMenu*>(firstEditItem->parent()) : nullptr;
    if (!edit)
        return;
    m_undo = stack.createUndoAction(edit, tr("Undo"));
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo = stack.createRedoAction(edit, tr("Redo"));
    m_redo->setShortcut(QKeySequence::Redo);
    QAction* first = edit->actions().value(0);
    edit->insertAction(first, m_undo);
    edit->insertAction(first, m_redo);
    edit->insertSeparator(first);
}

void MenuBarBinder::refresh()
{
    for (const Menu& menu : m_commands.menus()) {
        for (const MenuItem& item : menu.items) {
            QAction* action = m_actions.value(item.command);
            if (!action)
                continue;
            action->setText(item.title);
            action->setEnabled(item.isEnabled);
            if (item.isChecked)
                action->setChecked(*item.isChecked);
        }
    }
}

} // namespace varno
