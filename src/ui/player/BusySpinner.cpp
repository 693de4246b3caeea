#include "BusySpinner.h"

#include <QPainter>
#include <QTimer>

namespace varno {

BusySpinner::BusySpinner(int side, QWidget* parent)
    : QWidget(parent)
    , m_timer(new QTimer(this))
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer->setInterval(16);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 8) % 360;
        update();
    });
}

void BusySpinner::showEvent(QShowEvent*)
{
    m_timer->start();
}

void BusySpinner::hideEvent(QHideEvent*)
{
    m_timer->stop();
}

void BusySpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pen = std::max(1.5, width() / 9.0);
    const QRectF ring = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    QColor track = palette().color(QPalette::ButtonText);
    track.setAlphaF(0.2f);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(ring);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), pen, Qt::SolidLine, Qt::RoundCap));
    // Angles are in sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawArc(ring, -m_angle * 16, 100 * 16);
}

} // namespace varno
