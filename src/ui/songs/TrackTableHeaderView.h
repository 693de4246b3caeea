#pragma once

#include "workspace/TrackTableColumnConfiguration.h"

#include <QHeaderView>

#include <optional>

class QMenu;
class QUndoStack;

namespace varno {

class TrackTableLayoutState;
class TrackTableModel;

// The song table's column header, bound to the table layout: each section
// is as wide as its column's width. A click sorts by the column (a chevron
// shows the direction), a drag onto another header reorders, a drag of the
// right edge resizes live and is undone as one "Resize Song Column", and a
// double-click on the edge resets the width. The leading section opens the
// "Customize Song Columns" menu; a column's context menu collapses,
// resets or removes it.
//
// Qt's own moving and resizing are off: the layout is the one place the
// columns live, and the model follows it.
//
// Main thread only.
class TrackTableHeaderView final : public QHeaderView {
    Q_OBJECT

public:
    TrackTableHeaderView(TrackTableLayoutState& layout, QUndoStack* undoStack, QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    QSize sizeHint() const override;

    // Menus as the header shows them; the caller owns them (they delete
    // themselves when closed).
    QMenu* makeCustomizeMenu(QWidget* parent);
    QMenu* makeColumnMenu(TrackTableColumnID column, QWidget* parent);

    // The section a press at `x` would resize by its right edge, or -1.
    int edgeSectionAt(int x) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    TrackTableModel* trackModel() const;
    std::optional<TrackTableColumnID> columnAt(int section) const;
    void applyWidths();
    void announce(const QString& text);

    struct Resize {
        TrackTableColumnID column;
        int startX = 0;
        double startWidth = 0;
        TrackTableColumns previous;
    };
    struct Press {
        int section = -1;
        QPoint position;
        bool dragging = false;
        int target = -1;
    };

    TrackTableLayoutState& m_layout;
    QUndoStack* m_undoStack;
    std::optional<Resize> m_resize;
    Press m_press;
};

} // namespace varno
