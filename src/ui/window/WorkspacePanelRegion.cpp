#include "WorkspacePanelRegion.h"

#include "media/ThemeEngine.h"
#include "ui/ThemeApplier.h"
#include "ui/Icons.h"

#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QVariantAnimation>

#include <cmath>

namespace varno {

namespace {

// Expanding and collapsing use a quick, slightly soft curve (the feel of a
// well-damped spring); turning a panel on or off uses a short ease-out.
constexpr int kExpandMilliseconds = 300;
constexpr int kEnableMilliseconds = 200;

} // namespace

WorkspacePanelDivider::WorkspacePanelDivider(WorkspacePanelSide side, WorkspacePanelState& state, QWidget* parent)
    : QWidget(parent)
    , m_side(side)
    , m_state(state)
{
    setObjectName(side == WorkspacePanelSide::Left ? QStringLiteral("leftPanelDivider") : QStringLiteral("rightPanelDivider"));
    setFixedWidth(kWidth);
    setMouseTracking(true);
    refresh();
}

QStringList WorkspacePanelDivider::menuTitles() const
{
    const WorkspacePanelState::ControlTexts texts = m_state.controlTexts(m_side);
    return {texts.lockItem, texts.collapseItem, texts.disableItem};
}

void WorkspacePanelDivider::refresh()
{
    const WorkspacePanelState::ControlTexts texts = m_state.controlTexts(m_side);
    const QString name = WorkspacePanelState::panelName(m_side);
    if (m_state.isLocked(m_side)) {
        setCursor(Qt::ArrowCursor);
        setToolTip(texts.lockedLabel + QLatin1Char('\n') + texts.lockedHelp);
        setAccessibleName(texts.lockedLabel);
    } else {
        setCursor(Qt::SplitHCursor);
        setToolTip(tr("Drag to resize the %1. Right-click for more.").arg(name));
        setAccessibleName(tr("Resize %1").arg(name));
    }
    update();
}

void WorkspacePanelDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(m_hovered && m_state.canChange(m_side) ? 0.35 : 0.10);
    const int x = m_side == WorkspacePanelSide::Left ? 0 : width() - 1;
    painter.fillRect(QRect(x, 0, 1, height()), line);
    if (m_hovered && m_state.canChange(m_side)) {
        QColor grip = palette().color(QPalette::WindowText);
        grip.setAlphaF(0.3);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(grip);
        painter.drawRoundedRect(QRectF(width() / 2.0 - 1.5, height() / 2.0 - 16, 3, 32), 1.5, 1.5);
    }
}

void WorkspacePanelDivider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_state.canChange(m_side))
        return QWidget::mousePressEvent(event);
    m_dragOriginX = event->globalPosition().x();
    m_dragOriginWidth = m_state.width(m_side);
}

void WorkspacePanelDivider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragOriginX)
        return QWidget::mouseMoveEvent(event);
    const double translation = event->globalPosition().x() - *m_dragOriginX;
    m_state.resizePanel(m_side, dividerDragWidth(m_side, m_dragOriginWidth, translation));
}

void WorkspacePanelDivider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragOriginX.reset();
    QWidget::mouseReleaseEvent(event);
}

void WorkspacePanelDivider::contextMenuEvent(QContextMenuEvent* event)
{
    const WorkspacePanelState::ControlTexts texts = m_state.controlTexts(m_side);
    QMenu menu(this);
    QAction* lock = menu.addAction(symbolIcon(u"lock.fill"), texts.lockItem);
    QAction* collapse = menu.addAction(texts.collapseItem);
    collapse->setEnabled(m_state.canChange(m_side));
    QAction* disable = menu.addAction(texts.disableItem);
    const QAction* chosen = menu.exec(event->globalPos());
    if (chosen == lock)
        m_state.setPanelLocked(m_side, !m_state.isLocked(m_side));
    else if (chosen == collapse)
        m_state.setPanelExpanded(m_side, false);
    else if (chosen == disable)
        m_state.disablePanel(m_side);
}

void WorkspacePanelDivider::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QWidget::enterEvent(event);
}

void WorkspacePanelDivider::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QWidget::leaveEvent(event);
}

WorkspacePanelRegion::WorkspacePanelRegion(WorkspacePanelSide side, WorkspacePanelState& state, ThemeEngine& theme,
                                           QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_side(side)
    , m_state(state)
    , m_theme(theme)
    , m_content(content)
    , m_divider(new WorkspacePanelDivider(side, state, this))
    , m_reveal(new QToolButton(this))
    , m_fade(new QGraphicsOpacityEffect(this))
    , m_animation(new QVariantAnimation(this))
{
    setObjectName(side == WorkspacePanelSide::Left ? QStringLiteral("leftPanel") : QStringLiteral("rightPanel"));
    content->setParent(this);
    m_fade->setOpacity(1.0);
    content->setGraphicsEffect(m_fade);

    m_reveal->setObjectName(side == WorkspacePanelSide::Left ? QStringLiteral("leftPanelReveal")
                                                               : QStringLiteral("rightPanelReveal"));
    m_reveal->setAutoRaise(true);
    m_reveal->setIcon(symbolIcon(side == WorkspacePanelSide::Left ? u"sidebar.left" : u"sidebar.right"));
    m_reveal->setIconSize(QSize(18, 18));
    connect(m_reveal, &QToolButton::clicked, this, [this] {
        if (isSqueezedOut())
            emit roomRequested();
        else
            m_state.setPanelExpanded(m_side, true);
    });

    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { setFraction(value.toDouble()); });
    connect(&m_state, &WorkspacePanelState::panelChanged, this, [this](WorkspacePanelSide changed) {
        if (changed == m_side)
            follow(true);
    });

    m_shape = targetShape();
    m_fraction = m_shape == Shape::Expanded ? 1.0 : 0.0;
    follow(false);
}

WorkspacePanelRegion::Shape WorkspacePanelRegion::targetShape() const
{
    if (!m_state.isEnabled(m_side))
        return Shape::Hidden;
    return m_state.isExpanded(m_side) && !m_fit.isSqueezedOut ? Shape::Expanded : Shape::Collapsed;
}

void WorkspacePanelRegion::fitTo(const workspaceRow::PanelFit& fit)
{
    if (fit == m_fit)
        return;
    const bool squeezeChanged = fit.isSqueezedOut != m_fit.isSqueezedOut;
    m_fit = fit;
    if (squeezeChanged)
        follow(false);
    else
        placeChildren();
}

bool WorkspacePanelRegion::isAnimating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

int WorkspacePanelRegion::panelWidth() const
{
    const int chosen = int(std::lround(m_state.width(m_side)));
    // Before the window has measured the row, the chosen width stands.
    return m_fit.width > 0 ? std::min(chosen, m_fit.width) : chosen;
}

int WorkspacePanelRegion::targetWidth() const
{
    switch (m_shape) {
    case Shape::Hidden:
        return 0;
    case Shape::Collapsed:
        return kRevealWidth;
    case Shape::Expanded:
        break;
    }
    return int(std::lround(m_fraction * (panelWidth() + WorkspacePanelDivider::kWidth)));
}

void WorkspacePanelRegion::describeReveal()
{
    if (isSqueezedOut()) {
        const QString name = WorkspacePanelState::panelName(m_side);
        m_reveal->setAccessibleName(tr("%1 hidden for lack of room").arg(name));
        m_reveal->setToolTip(tr("%1 hidden for lack of room\nWiden the window or close the queue to show it").arg(name));
        return;
    }
    const WorkspacePanelState::ControlTexts texts = m_state.controlTexts(m_side);
    m_reveal->setToolTip(texts.revealHelp.isEmpty() ? texts.revealTitle : texts.revealTitle + QLatin1Char('\n') + texts.revealHelp);
    m_reveal->setAccessibleName(texts.revealTitle);
}

void WorkspacePanelRegion::follow(bool animate)
{
    describeReveal();
    m_divider->refresh();

    const Shape shape = targetShape();
    const bool wasShown = m_shape == Shape::Expanded;
    const bool willShow = shape == Shape::Expanded;
    const bool enabling = (m_shape == Shape::Hidden) != (shape == Shape::Hidden);
    m_shape = shape == Shape::Expanded || !wasShown ? shape : Shape::Expanded;

    const double speed = m_theme.currentConfiguration().animationSpeedMultiplier;
    if (wasShown == willShow || !animate || speed <= 0) {
        m_animation->stop();
        m_shape = shape;
        setFraction(willShow ? 1.0 : 0.0);
        placeChildren();
        return;
    }
    // Collapsing keeps the expanded shape until the motion ends, so the
    // panel slides out before the reveal button takes its place.
    const int duration = ThemeApplier::animationDuration(m_theme.currentConfiguration(),
                                                         enabling ? kEnableMilliseconds : kExpandMilliseconds);
    m_animation->stop();
    m_animation->setDuration(std::max(1, duration));
    m_animation->setEasingCurve(enabling ? QEasingCurve::OutQuad : QEasingCurve::OutCubic);
    m_animation->setStartValue(m_fraction);
    m_animation->setEndValue(willShow ? 1.0 : 0.0);
    disconnect(m_animation, &QVariantAnimation::finished, this, nullptr);
    connect(m_animation, &QVariantAnimation::finished, this, [this, shape] {
        m_shape = shape;
        placeChildren();
    });
    m_animation->start();
}

void WorkspacePanelRegion::setFraction(double fraction)
{
    m_fraction = std::clamp(fraction, 0.0, 1.0);
    m_fade->setOpacity(m_fraction);
    m_fade->setEnabled(m_fraction < 1.0);
    placeChildren();
}

void WorkspacePanelRegion::placeChildren()
{
    const int width = targetWidth();
    setFixedWidth(width);
    const bool expanded = m_shape == Shape::Expanded;
    m_content->setVisible(expanded);
    m_divider->setVisible(expanded);
    m_reveal->setVisible(m_shape == Shape::Collapsed);
    const int panel = panelWidth();
    const int full = panel + WorkspacePanelDivider::kWidth;
    if (expanded) {
        if (m_side == WorkspacePanelSide::Left) {
            // Enters from the left window edge: its trailing part shows first.
            const int offset = width - full;
            m_content->setGeometry(offset, 0, panel, height());
            m_divider->setGeometry(offset + panel, 0, WorkspacePanelDivider::kWidth, height());
        } else {
            m_divider->setGeometry(0, 0, WorkspacePanelDivider::kWidth, height());
            m_content->setGeometry(WorkspacePanelDivider::kWidth, 0, panel, height());
        }
    }
    m_reveal->setGeometry(0, 0, kRevealWidth, std::min(height(), 40));
    updateGeometry();
}

QSize WorkspacePanelRegion::sizeHint() const
{
    return QSize(targetWidth(), m_content->sizeHint().height());
}

QSize WorkspacePanelRegion::minimumSizeHint() const
{
    return QSize(targetWidth(), 0);
}

void WorkspacePanelRegion::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeChildren();
}

} // namespace varno
