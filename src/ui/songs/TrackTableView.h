#pragma once

#include "ui/songs/TrackRowLayout.h"

#include <QTableView>
#include <QUuid>

#include <vector>

class QMimeData;
class QUndoStack;

namespace varno {

class TrackTableHeaderView;
class TrackTableLayoutState;
class TrackTableModel;

// The song table: rows of the model's songs under the column header. It
// draws the rows (full-width backgrounds for the selection, the current song
// and the row under the pointer) and turns mouse and arrow keys into what
// they mean for the list; the list decides what happens. Qt's own selection
// is off: the model's selection state is the only one.
//
// Main thread only.
class TrackTableView final : public QTableView {
    Q_OBJECT

public:
    TrackTableView(TrackTableModel& model, TrackTableLayoutState& layout, QUndoStack* undoStack, QWidget* parent = nullptr);

    TrackTableModel& trackModel() const { return m_model; }
    TrackTableHeaderView& columnHeader() const { return *m_header; }

    // Row height and the covers' corner radius, which follow the theme
    // (the list sets them). Every row stays as tall as the others.
    int uniformRowHeight() const { return m_rowHeight; }
    qreal coverRadius() const { return m_coverRadius; }
    void setRowMetrics(int rowHeight, qreal coverRadius);

    int hoveredRow() const { return m_hoveredRow; }
    TrackRowControl hoveredControl() const { return m_hoveredControl; }

    // The rows on screen, first and last; -1 for both when there are none.
    std::pair<int, int> shownRows() const;
    // Where a row's control is, in viewport coordinates.
    QRect controlRect(int row, TrackRowControl control) const;
    // What the control of a row is called for the user: its tooltip and
    // accessible name.
    QString controlLabel(int row, TrackRowControl control) const;

    // What a drag started on `row` carries: the selected songs in the shown
    // order when the row is selected, else the row's song alone. The caller
    // owns it.
    QMimeData* dragDataFor(int row) const;
    // Whether songs dragged over the rows are dropped between them (a
    // playlist's list in its own order); rowsDropped() then tells where.
    bool acceptsRowDrops() const { return m_acceptsRowDrops; }
    void setAcceptsRowDrops(bool accepts);
    // The row a drop would go before while songs are dragged over the rows
    // (the row count for the end), -1 otherwise.
    int dropRow() const { return m_dropRow; }

signals:
    // A click on a row outside its controls, with the keys held.
    void rowClicked(int row, Qt::KeyboardModifiers modifiers);
    void rowDoubleClicked(int row);
    void controlClicked(int row, varno::TrackRowControl control);
    void rowContextMenuRequested(int row, const QPoint& globalPosition);
    // Delete or Backspace with the table focused.
    void deleteRequested();
    // Songs dragged over the rows were dropped before `beforeRow`.
    void rowsDropped(const std::vector<QUuid>& songIDs, int beforeRow);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Hit {
        int row = -1;
        TrackRowControl control = TrackRowControl::None;
    };
    Hit hitAt(const QPoint& position) const;
    void setHover(Hit hit);
    void paintRowBackgrounds(int first, int last);
    void paintDropLine();
    void setDropRow(int row);
    int dropRowAt(const QPoint& position) const;
    void startDrag(int row);
    // Cancels the cover requests of rows no longer on screen.
    void keepThumbnailRequestsForShownRows(int first, int last);

    TrackTableModel& m_model;
    TrackTableHeaderView* m_header;
    int m_rowHeight = trackRowLayout::kRowHeight;
    qreal m_coverRadius = 4;
    int m_hoveredRow = -1;
    TrackRowControl m_hoveredControl = TrackRowControl::None;
    // The control a press started on; it acts when released over it.
    Hit m_pressedControl;
    // The row a press outside the controls started on, and where, for a
    // drag; a plain press on a selected row selects it alone only when it
    // is released without dragging, so the selection can be dragged.
    int m_pressedRow = -1;
    QPoint m_pressPosition;
    bool m_clickOnRelease = false;
    bool m_acceptsRowDrops = false;
    int m_dropRow = -1;
    // The row the arrow keys move from: the last one clicked or reached. It
    // follows its song when the list is sorted again.
    QPersistentModelIndex m_keyboardRow;
};

} // namespace varno
