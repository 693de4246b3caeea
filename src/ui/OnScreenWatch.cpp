#include "OnScreenWatch.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace varno {

OnScreenWatch::OnScreenWatch(QWidget& widget)
    : QObject(&widget)
    , m_widget(widget)
{
    m_widget.installEventFilter(this);
    followWindow();
    reevaluate();
}

OnScreenWatch::~OnScreenWatch() = default;

bool OnScreenWatch::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
    case QEvent::WindowStateChange:
    case QEvent::Expose:
        // Each of these is sent once the state it announces is in force.
        if (watched == &m_widget || watched == m_window || watched == m_handle) {
            followWindow();
            reevaluate();
        }
        break;
    default:
        break;
    }
    return false;
}

void OnScreenWatch::followWindow()
{
    QWidget* window = m_widget.window();
    if (window != m_window) {
        if (m_window && m_window != &m_widget)
            m_window->removeEventFilter(this);
        if (m_handle)
            m_handle->removeEventFilter(this);
        m_handle = nullptr;
        m_window = window;
        if (window != &m_widget)
            window->installEventFilter(this);
    }
    // The native window exists from the window's first show on.
    QWindow* handle = window->windowHandle();
    if (handle && handle != m_handle) {
        if (m_handle)
            m_handle->removeEventFilter(this);
        m_handle = handle;
        handle->installEventFilter(this);
    }
}

void OnScreenWatch::reevaluate()
{
    const bool onScreen = m_widget.isVisible() && m_window && !(m_window->windowState() & Qt::WindowMinimized) && m_handle && m_handle->isExposed();
    if (onScreen == m_isOnScreen)
        return;
    m_isOnScreen = onScreen;
    emit onScreenChanged(onScreen);
}

} // namespace varno
