#include "FocusRing.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace varno {

namespace {

// How far the ring stands off the control, and how thick it is.
constexpr int kGap = 2;
constexpr int kThickness = 2;

} // namespace

FocusRing::FocusRing(QWidget* window)
    : QWidget(window)
{
    setObjectName(QStringLiteral("focusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
    qApp->installEventFilter(this);
}

FocusRing::~FocusRing()
{
    qApp->removeEventFilter(this);
}

void FocusRing::follow(QWidget* now)
{
    // Only inside this window: a popup or another window has its own look.
    const bool ours = now && now != parentWidget() && now->window() == parentWidget();
    const bool framesItself = qobject_cast<QLineEdit*>(now) || qobject_cast<QPlainTextEdit*>(now) || qobject_cast<QTextEdit*>(now)
        || qobject_cast<QAbstractSpinBox*>(now);
    QWidget* target = ours && !framesItself ? now : nullptr;
    if (target == m_target)
        return;
    watch(false);
    m_target = target;
    watch(true);
    place();
}

void FocusRing::watch(bool on)
{
    m_watched.clear();
    if (!on)
        return;
    for (QWidget* widget = m_target; widget && widget != parentWidget(); widget = widget->parentWidget())
        m_watched.append(widget);
}

void FocusRing::place()
{
    if (!m_keyboardInUse || !m_target || !m_target->isVisible()) {
        hide();
        return;
    }
    // What the control shows of itself: a control partly scrolled out of
    // its panel is ringed where it can be seen.
    QWidget* window = parentWidget();
    QRect shown(m_target->mapTo(window, QPoint(0, 0)), m_target->size());
    for (QWidget* holder = m_target->parentWidget(); holder && holder != window; holder = holder->parentWidget())
        shown &= QRect(holder->mapTo(window, QPoint(0, 0)), holder->size());
    if (shown.isEmpty()) {
        hide();
        return;
    }
    const int margin = kGap + kThickness;
    setGeometry(shown.adjusted(-margin, -margin, margin, margin));
    raise();
    show();
    update();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    // Every event of the application passes here; only the kind is looked
    // at before the few that matter.
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::MouseButtonPress) && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == parentWidget()) {
        const bool keyboard = type == QEvent::KeyPress;
        if (keyboard != m_keyboardInUse) {
            m_keyboardInUse = keyboard;
            place();
        }
        return false;
    }
    switch (type) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::LayoutRequest:
        // The control, or something holding it, moved: the ring follows.
        for (const QPointer<QWidget>& widget : std::as_const(m_watched)) {
            if (widget == watched) {
                place();
                break;
            }
        }
        break;
    default:
        break;
    }
    return false;
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), kThickness));
    painter.setBrush(Qt::NoBrush);
    const double inset = kThickness / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 5, 5);
}

} // namespace varno
