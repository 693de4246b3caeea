#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;

namespace varno {

class ThemeEngine;

// Three bouncing bars and a label: "Now playing" while the shown song plays,
// "Paused" while it is the loaded song but paused. The panel hides it while
// it shows any other song. The bars stand still while animations are off
// (reduce motion, or the "Instant" speed) and while the widget is hidden, so
// it costs nothing when nobody sees it. Main thread only.
class NowPlayingIndicator final : public QWidget {
    Q_OBJECT

public:
    static const QString kPlayingText;
    static const QString kPausedText;

    explicit NowPlayingIndicator(ThemeEngine& theme, QWidget* parent = nullptr);

    bool isAnimating() const { return m_animating; }
    void setAnimating(bool animating);
    QString text() const;
    // Whether the bars move now.
    bool isMoving() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class Bars;

    void updateMotion();

    ThemeEngine& m_theme;
    Bars* m_bars;
    QLabel* m_label;
    QTimer m_timer;
    bool m_animating = false;
    int m_phase = 0;
};

} // namespace varno
