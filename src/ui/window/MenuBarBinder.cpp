#include "MenuBarBinder.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

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
