#include "WindowCoverage.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace varno {

WindowCoverage::WindowCoverage(QWindow& window, QObject* parent)
    : QObject(parent)
{
    // The offscreen platform answers as X11 too, with no connection.
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb") || !window.handle())
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    // The server sends visibility changes only to a client that selected
    // them, and a window has one event mask per client: add to Qt's own.
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id), nullptr);
    if (!attributes)
        return;
    const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(attributes);
    xcb_change_window_attributes(connection, id, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    m_window = id;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

WindowCoverage::~WindowCoverage()
{
    if (m_window != 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool WindowCoverage::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_VISIBILITY_NOTIFY)
        return false;
    const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
    if (visibility->window != m_window)
        return false;
    const bool covered = visibility->state == XCB_VISIBILITY_FULLY_OBSCURED;
    if (covered != m_isCovered) {
        m_isCovered = covered;
        emit coveredChanged(covered);
    }
    // Qt has no use for the event; letting it through costs nothing.
    return false;
}

} // namespace varno
