#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;

namespace varno {

class OnScreenWatch;
class ThemeEngine;

// Three bars and a label: "Now playing" while the shown song plays,
// "Paused" while it is the loaded song but paused. The panel hides it while
// it shows any other song. The bars bounce for a couple of seconds when the
// song starts or resumes, or comes into sight playing, and then stand still
// in the accent colour: a window that repainted them all the while a song
// plays would cost several times what playing the song costs. They never
// move while animations are off (reduce motion, or the "Instant" speed) or
// while nobody can see them (the indicator hidden, or its window minimised
// or not exposed). Main thread only.
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
    // How many frames the bars bounce for before they stand still.
    static constexpr int kBounceFrames = 24;

private:
    class Bars;

    void updateMotion();

    ThemeEngine& m_theme;
    Bars* m_bars;
    QLabel* m_label;
    OnScreenWatch* m_onScreen;
    QTimer m_timer;
    bool m_animating = false;
    // Whether the bars were moving or due to move at the last look, and the
    // frames of the bounce still to draw.
    bool m_wantsMotion = false;
    int m_framesLeft = 0;
    int m_phase = 0;
};

} // namespace varno
