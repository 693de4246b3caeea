#include "SidebarRow.h"

#include "ui/Icons.h"
#include "ui/sidebar/SidebarRowPainter.h"

#include <QFocusEvent>
#include <QPainter>

namespace varno {

SidebarRow::SidebarRow(const QString& symbol, const QString& label, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(label);
    setIcon(symbolIcon(symbol));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(label);
}

void SidebarRow::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QSize SidebarRow::sizeHint() const
{
    return {sidebar::kSidebarWidth - 2 * sidebar::kRowInset, sidebar::kRowHeight};
}

void SidebarRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    sidebar::RowLook look;
    look.icon = icon();
    look.text = text();
    look.selected = m_selected;
    look.hovered = m_hovered || isDown() || m_keyboardFocus;
    look.enabled = isEnabled();
    sidebar::paintRow(painter, rect(), palette(), font(), look);
}

void SidebarRow::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SidebarRow::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SidebarRow::focusInEvent(QFocusEvent* event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
    QAbstractButton::focusInEvent(event);
}

void SidebarRow::focusOutEvent(QFocusEvent* event)
{
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

} // namespace varno
