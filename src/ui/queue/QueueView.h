#pragma once

#include "ui/queue/QueueListModel.h"

#include <QListView>
#include <QWidget>

#include <optional>

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;

namespace varno {

class EmptyStateView;
class QueueEngine;
struct ViewEnvironment;

// The list inside the queue view: upcoming rows are dragged to a new place
// and deleted with the Delete key; the other rows stay where they are.
class QueueListView final : public QListView {
    Q_OBJECT

public:
    explicit QueueListView(QWidget* parent = nullptr);

signals:
    // Delete or Backspace with rows selected.
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
};

// The play queue: a header with "Queue" and, while songs are upcoming,
// "Clear"; then the current song, the upcoming songs in play order and the
// history, newest first, or "Queue is empty" when there is nothing at all.
//
// A click on an upcoming song plays it as "next" would have once it came up
// (the songs before it join the history, the ones after it keep their
// order); a click on a history song plays that song alone; the current
// song's row does nothing. Ctrl- and Shift-clicks only select, so that
// upcoming rows can be deleted with the Delete key; they are also reordered
// by dragging. A song row's menu has "Play", "Play Next" and "Remove from
// Queue", for the whole selection when the row is part of it. Main thread
// only.
class QueueView final : public QWidget {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kClearTitle;
    static const QString kEmptyTitle;
    static const QString kEmptySubtitle;
    static const QString kPlay;
    static const QString kPlayNext;
    static const QString kRemove;

    explicit QueueView(const ViewEnvironment& environment, QWidget* parent = nullptr);

    QueueListModel* model() const { return m_model; }
    QueueListView* list() const { return m_list; }
    QPushButton* clearButton() const { return m_clear; }
    bool isShowingEmptyState() const;

    // What a plain click on a row does.
    void activateRow(int modelRow);
    // Removes the selected upcoming songs from the queue.
    void deleteSelectedUpcoming();
    // The menu of the row at `position` (viewport coordinates), shown
    // there; null over a caption, the current song or no row.
    QMenu* showRowMenu(const QPoint& position);

private:
    // A song row as it was when chosen.
    struct SongRow {
        QueueListModel::Row row;
        SharedTrack song;
    };
    // The upcoming and history rows among `modelRows`, in the given order.
    QList<SongRow> songRows(const QList<int>& modelRows) const;
    QList<SongRow> selectedSongRows() const;
    // Where an upcoming row's song is in the queue now: at the row's place
    // when the queue still holds it there (a song queued twice is taken
    // from the copy chosen), else its first place; none once it left.
    std::optional<std::size_t> upcomingPosition(const QueueListModel::Row& row, const SharedTrack& song) const;
    void play(const SongRow& row);
    void playNext(const QList<SongRow>& rows);
    void removeUpcoming(const QList<SongRow>& rows);
    void showQueueState();
    void reportVisibleRows();

    QueueEngine& m_queueEngine;
    QueueListModel* m_model = nullptr;
    QLabel* m_title = nullptr;
    QPushButton* m_clear = nullptr;
    QStackedWidget* m_content = nullptr;
    QueueListView* m_list = nullptr;
    EmptyStateView* m_emptyState = nullptr;
};

} // namespace varno
