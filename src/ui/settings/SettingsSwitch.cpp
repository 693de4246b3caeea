#include "SettingsSwitch.h"

#include <QPainter>

namespace varno {

namespace {

constexpr int kTrackWidth = 34;
constexpr int kTrackHeight = 20;

} // namespace

SettingsSwitch::SettingsSwitch(const QString& title, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(title);
    setCheckable(true);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SettingsSwitch::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 16 + kTrackWidth, std::max(kTrackHeight + 4, metrics.height() + 4)};
}

void SettingsSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const QRect textArea = rect().adjusted(0, 0, -(kTrackWidth + 12), 0);
    painter.setPen(colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF track(width() - kTrackWidth - 1, (height() - kTrackHeight) / 2.0, kTrackWidth, kTrackHeight);
    QColor fill = isChecked() ? colours.color(QPalette::Highlight) : colours.color(QPalette::Base).lighter(170);
    if (!isEnabled())
        fill.setAlphaF(0.4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, kTrackHeight / 2.0, kTrackHeight / 2.0);
    const qreal knob = kTrackHeight - 4;
    const qreal x = isChecked() ? track.right() - knob - 2 : track.left() + 2;
    painter.setBrush(isChecked() ? colours.color(QPalette::HighlightedText) : colours.color(QPalette::Text));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colours.color(QPalette::Highlight).lighter(140), 1.5));
        painter.drawRoundedRect(track.adjusted(-2, -2, 2, 2), kTrackHeight / 2.0 + 2, kTrackHeight / 2.0 + 2);
    }
}

} // namespace varno
