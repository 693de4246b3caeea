#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace varno {

class QueueEngine;

// A strip above the player bar that shows the queue engine's reported
// failure (a song that could not play wins over a session that could not be
// saved) until the user dismisses it, which clears both. Hidden while
// nothing is reported.
class PlayerIssueBanner final : public QWidget {
    Q_OBJECT

public:
    explicit PlayerIssueBanner(QueueEngine& queueEngine, QWidget* parent = nullptr);

    QString message() const;
    QToolButton* dismissButton() const { return m_dismiss; }

private:
    void refresh();

    QueueEngine& m_queueEngine;
    QLabel* m_icon = nullptr;
    QLabel* m_message = nullptr;
    QToolButton* m_dismiss = nullptr;
};

} // namespace varno
