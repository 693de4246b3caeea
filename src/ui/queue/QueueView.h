#pragma once

#include <QListView>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace varno {

class EmptyStateView;
class QueueEngine;
class QueueListModel;
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
// A click on an upcoming song plays from there (the songs before it become
// the history); a click on a history song plays that song alone; the
// current song's row does nothing. Ctrl- and Shift-clicks only select, so
// that upcoming rows can be deleted with the Delete key; they are also
// reordered by dragging. Main thread only.
class QueueView final : public QWidget {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kClearTitle;
    static const QString kEmptyTitle;
    static const QString kEmptySubtitle;

    explicit QueueView(const ViewEnvironment& environment, QWidget* parent = nullptr);

    QueueListModel* model() const { return m_model; }
    QueueListView* list() const { return m_list; }
    QPushButton* clearButton() const { return m_clear; }
    bool isShowingEmptyState() const;

    // What a plain click on a row does.
    void activateRow(int modelRow);
    // Removes the selected upcoming songs from the queue.
    void deleteSelectedUpcoming();

private:
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
