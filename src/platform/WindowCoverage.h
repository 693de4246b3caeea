#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWindow;

namespace varno {

// Whether the window system says a top-level window is covered whole by
// other windows. Only X11 tells (a VisibilityNotify, which this asks the
// server to send for the window); Qt itself keeps such a window "exposed"
// and would draw into it. Elsewhere, and before the first report, the window
// counts as uncovered. Main thread only.
class WindowCoverage final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // `window` must have its native window (shown at least once).
    explicit WindowCoverage(QWindow& window, QObject* parent = nullptr);
    ~WindowCoverage() override;

    bool isCovered() const { return m_isCovered; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void coveredChanged(bool covered);

private:
    // The X11 window id; 0 when the platform is not X11.
    quint32 m_window = 0;
    bool m_isCovered = false;
};

} // namespace varno
