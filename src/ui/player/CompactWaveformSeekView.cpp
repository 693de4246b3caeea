#include "CompactWaveformSeekView.h"

#include "ui/ThemeApplier.h"
#include "ui/player/PlayerBarRules.h"
#include "ui/player/WaveformGeometry.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace varno {

namespace {

// Assistive technology sees a slider whose value is the time under the
// playhead; increase and decrease step it like the arrow keys.
class WaveformAccessible final : public QAccessibleWidget {
public:
    explicit WaveformAccessible(CompactWaveformSeekView* view)
        : QAccessibleWidget(view, QAccessible::Slider, player::kWaveformLabel)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Name:
            return player::kWaveformLabel;
        case QAccessible::Value:
            return strip()->valueText();
        case QAccessible::Help:
        case QAccessible::Description:
            return player::kSeekHelp;
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    QStringList actionNames() const override
    {
        return QStringList {increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == increaseAction())
            strip()->stepBy(CompactWaveformSeekView::kStepSeconds);
        else if (action == decreaseAction())
            strip()->stepBy(-CompactWaveformSeekView::kStepSeconds);
        else
            QAccessibleWidget::doAction(action);
    }

private:
    CompactWaveformSeekView* strip() const { return static_cast<CompactWaveformSeekView*>(widget()); }
};

QAccessibleInterface* waveformAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(CompactWaveformSeekView::staticMetaObject.className()) && object && object->isWidgetType())
        return new WaveformAccessible(static_cast<CompactWaveformSeekView*>(object));
    return nullptr;
}

} // namespace

CompactWaveformSeekView::CompactWaveformSeekView(QWidget* parent)
    : QWidget(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&waveformAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setObjectName(player::kWaveformID);
    setAccessibleName(player::kWaveformLabel);
    setToolTip(player::kSeekHelp);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize CompactWaveformSeekView::sizeHint() const
{
    return {360, 34};
}

QSize CompactWaveformSeekView::minimumSizeHint() const
{
    return {120, 34};
}

void CompactWaveformSeekView::setPeaks(std::vector<float> peaks)
{
    m_peaks = std::move(peaks);
    update();
}

void CompactWaveformSeekView::setProgress(double progress)
{
    if (progress == m_progress)
        return;
    const bool announce = QAccessible::isActive();
    const QString before = announce ? valueText() : QString();
    // The position moves twenty times a second while a song plays, but the
    // strip only shows which bars are played: repaint the bars that changed
    // sides, if any. While the pointer scrubs, the strip follows it instead.
    if (!m_scrubProgress) {
        const player::BarSlots strip = player::barSlots(m_peaks.size(), width());
        const long long was = strip.playedCount(m_progress);
        const long long now = strip.playedCount(progress);
        if (was != now)
            update(strip.span(std::min(was, now), std::max(was, now), height()).toAlignedRect().adjusted(-1, 0, 1, 0));
    }
    m_progress = progress;
    if (announce && valueText() != before)
        notifyValueChanged();
}

void CompactWaveformSeekView::setDuration(double seconds)
{
    if (seconds == m_duration)
        return;
    m_duration = seconds;
    update();
    notifyValueChanged();
}

void CompactWaveformSeekView::setLoading(bool loading)
{
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    update();
}

double CompactWaveformSeekView::displayedProgress() const
{
    const double shown = m_scrubProgress.value_or(m_progress);
    return std::isfinite(shown) ? std::clamp(shown, 0.0, 1.0) : 0.0;
}

double CompactWaveformSeekView::seekableDuration() const
{
    return std::isfinite(m_duration) ? std::max(m_duration, 0.0) : 0.0;
}

QString CompactWaveformSeekView::valueText() const
{
    return player::timeText(displayedProgress() * seekableDuration());
}

void CompactWaveformSeekView::stepBy(double seconds)
{
    const double total = seekableDuration();
    const double target = std::clamp(displayedProgress() * total + seconds, 0.0, total);
    emit seekRequested(target);
}

void CompactWaveformSeekView::notifyValueChanged()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, valueText());
    QAccessible::updateAccessibility(&event);
}

double CompactWaveformSeekView::fractionAt(double x) const
{
    return player::seekFraction(x, width());
}

void CompactWaveformSeekView::scrubTo(double x)
{
    const double fraction = fractionAt(x);
    m_scrubProgress = fraction;
    update();
    emit seekRequested(seekableDuration() * fraction);
}

void CompactWaveformSeekView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    scrubTo(event->position().x());
    event->accept();
}

void CompactWaveformSeekView::mouseMoveEvent(QMouseEvent* event)
{
    m_hoverX = event->position().x();
    if (m_scrubProgress && (event->buttons() & Qt::LeftButton))
        scrubTo(event->position().x());
    else
        update();
}

void CompactWaveformSeekView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_scrubProgress) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const double fraction = fractionAt(event->position().x());
    emit seekRequested(seekableDuration() * fraction);
    m_scrubProgress.reset();
    update();
    event->accept();
}

void CompactWaveformSeekView::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        stepBy(-kStepSeconds);
        break;
    case Qt::Key_Right:
        stepBy(kStepSeconds);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CompactWaveformSeekView::enterEvent(QEnterEvent* event)
{
    m_isHovering = true;
    m_hoverX = event->position().x();
    update();
}

void CompactWaveformSeekView::leaveEvent(QEvent*)
{
    m_isHovering = false;
    m_hoverX.reset();
    update();
}

void CompactWaveformSeekView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = palette().color(QPalette::WindowText);
    const QColor played = palette().color(QPalette::Highlight);
    QColor unplayed = base;
    unplayed.setAlphaF(0.26f);

    // Hovering lifts the strip off the bar a little and shows where a click
    // would land; the focus frame is there for keyboard users.
    if (m_isHovering || m_scrubProgress || hasFocus()) {
        QColor wash = base;
        wash.setAlphaF(m_isHovering || m_scrubProgress ? 0.06f : 0.03f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(wash);
        painter.drawRoundedRect(QRectF(rect()), ThemeApplier::shownCornerRadius(6), ThemeApplier::shownCornerRadius(6));
    }
    if (hasFocus()) {
        QColor ring = played;
        ring.setAlphaF(0.6f);
        painter.setPen(QPen(ring, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), ThemeApplier::shownCornerRadius(6),
                                ThemeApplier::shownCornerRadius(6));
    }

    painter.setPen(Qt::NoPen);
    for (const player::WaveformBar& bar : player::waveformBars(m_peaks, width(), height(), displayedProgress())) {
        const double radius = bar.rect.width() / 2;
        painter.setBrush(bar.played ? played : unplayed);
        painter.drawRoundedRect(bar.rect, radius, radius);
    }

    if (m_hoverX && !m_scrubProgress && m_isHovering) {
        QColor marker = base;
        marker.setAlphaF(0.55f);
        const double x = std::clamp(*m_hoverX, 0.0, double(width()));
        painter.fillRect(QRectF(x - 0.5, height() * 0.12, 1.0, height() * 0.76), marker);
    }
}

} // namespace varno
