#pragma once

#include <QToolButton>

namespace varno {

class QueueEngine;

// The queue's repeat mode as one button: each click steps off → all →
// track → off; the glyph shows "repeat.1" for one song, and the help names
// the mode and what a click turns it into.
class PlayerRepeatButton final : public QToolButton {
    Q_OBJECT

public:
    explicit PlayerRepeatButton(QueueEngine& queueEngine, QWidget* parent = nullptr);

    static constexpr int kSide = 30;

private:
    void showMode();

    QueueEngine& m_queueEngine;
};

} // namespace varno
