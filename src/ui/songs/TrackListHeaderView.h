#pragma once

#include <QWidget>

class QAction;
class QHBoxLayout;
class QLabel;
class QToolButton;

namespace varno {

// The top of a song list: its title, how many songs it shows and how many
// are selected, the actions its owner adds (such as "Add songs") and the
// edit action for the selection.
class TrackListHeaderView final : public QWidget {
    Q_OBJECT

public:
    explicit TrackListHeaderView(const QString& title, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;
    void setCounts(qsizetype trackCount, qsizetype selectionCount);
    QString countText() const;
    QString selectionText() const;

    // A button for the action, before the edit button.
    QToolButton* addHeaderAction(QAction* action);
    // The last button Tab reaches in the header (the edit button).
    QWidget* lastActionButton() const;
    QAction* editAction() const { return m_editAction; }

private:
    QLabel* m_title;
    QLabel* m_count;
    QLabel* m_selection;
    QHBoxLayout* m_actions;
    QAction* m_editAction;
};

} // namespace varno
