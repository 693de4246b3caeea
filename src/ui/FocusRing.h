#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace varno {

// A ring in the accent colour around whatever control of `window` has the
// keyboard focus while the keyboard is in use, so the focus is always
// visible to whoever moves it with keys, also on the controls that draw
// themselves (sidebar rows, the round player buttons, the waveform,
// swatches, stars). A key pressed in the window brings it up; a mouse click
// puts it away until the next key, as a pointer user sees where they click.
// Text fields draw their own focused frame and get none.
// It is a child of the window above everything else, lets the mouse
// through, and follows the control as it or anything holding it moves (a
// panel scrolled, a panel sliding in). Main thread only.
class FocusRing final : public QWidget {
    Q_OBJECT

public:
    explicit FocusRing(QWidget* window);
    ~FocusRing() override;

    // The control the ring is around now, if any.
    QWidget* ringedWidget() const { return m_target; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* now);
    void place();
    // Remembers the control and what holds it, whose moves the ring follows.
    void watch(bool on);

    QPointer<QWidget> m_target;
    bool m_keyboardInUse = false;
    // The control and every widget holding it, up to the window.
    QList<QPointer<QWidget>> m_watched;
};

} // namespace varno
