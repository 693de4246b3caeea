#pragma once

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

namespace varno {

// Whether a widget can be seen: it and its window are shown, the window is
// not minimised and the window system has it on screen (exposed). A view that follows a value changing many times a
// second (the playing position) leaves it alone while this is false and
// catches up when it turns true, so a window nobody sees draws nothing.
// Main thread only.
class OnScreenWatch final : public QObject {
    Q_OBJECT

public:
    explicit OnScreenWatch(QWidget& widget);
    ~OnScreenWatch() override;

    bool isOnScreen() const { return m_isOnScreen; }

signals:
    void onScreenChanged(bool onScreen);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followWindow();
    void reevaluate();

    QWidget& m_widget;
    // The window the widget was last seen in; its native window comes with
    // its first show.
    QPointer<QWidget> m_window;
    QPointer<QWindow> m_handle;
    bool m_isOnScreen = false;
};

} // namespace varno
