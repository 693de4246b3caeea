#pragma once

#include <QWidget>

class QLabel;

namespace varno {

// What the bar shows in place of the song while nothing is loaded: the
// "music.note" symbol beside "Ready when you are" and a line of help, sized
// for the bar rather than for a whole list.
class PlayerEmptyStateView final : public QWidget {
    Q_OBJECT

public:
    explicit PlayerEmptyStateView(QWidget* parent = nullptr);

    QString title() const;
    QString subtitle() const;

private:
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
};

} // namespace varno
