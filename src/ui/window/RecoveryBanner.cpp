#include "RecoveryBanner.h"

#include "workspace/RecoveryMessage.h"
#include "media/ThemeEngine.h"
#include "ui/ThemeApplier.h"
#include "ui/Icons.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVariantAnimation>

namespace varno {

RecoveryBanner::RecoveryBanner(RecoveryMessage& message, ThemeEngine& theme, QWidget* parent)
    : QWidget(parent)
    , m_message(message)
    , m_theme(theme)
    , m_box(new QWidget(this))
    , m_text(new QLabel(m_box))
    , m_close(new QToolButton(m_box))
    , m_fade(new QGraphicsOpacityEffect(this))
    , m_animation(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("recoveryBanner"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(12, 8, 12, 4);
    outer->addStretch(1);
    outer->addWidget(m_box, 100);
    outer->addStretch(1);
    m_box->setMaximumWidth(kMaximumWidth);

    auto* row = new QHBoxLayout(m_box);
    row->setContentsMargins(12, 8, 6, 8);
    row->setSpacing(10);
    auto* icon = new QLabel(m_box);
    icon->setPixmap(symbolIcon(u"arrow.clockwise.circle.fill", QColor(0xf2, 0xb1, 0x4a)).pixmap(18, 18));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_close->setObjectName(QStringLiteral("recoveryBannerClose"));
    m_close->setIcon(symbolIcon(u"xmark"));
    m_close->setIconSize(QSize(12, 12));
    m_close->setAutoRaise(true);
    m_close->setToolTip(tr("Dismiss"));
    m_close->setAccessibleName(tr("Dismiss"));
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
    row->addWidget(m_close, 0, Qt::AlignTop);

    m_box->setGraphicsEffect(m_fade);
    connect(m_close, &QToolButton::clicked, &m_message, &RecoveryMessage::dismiss);
    connect(&m_message, &RecoveryMessage::changed, this, [this] { follow(true); });
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double fraction = value.toDouble();
        m_fade->setOpacity(fraction);
        setMaximumHeight(int(fraction * sizeHint().height()));
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        setVisible(m_showing);
        setMaximumHeight(QWIDGETSIZE_MAX);
    });
    follow(false);
}

QString RecoveryBanner::message() const
{
    return m_text->text();
}

void RecoveryBanner::follow(bool animate)
{
    const std::optional<QString>& message = m_message.message();
    if (message)
        m_text->setText(*message);
    const bool show = message.has_value();
    if (show == m_showing && (show || isHidden()))
        return;
    m_showing = show;
    const double speed = m_theme.currentConfiguration().animationSpeedMultiplier;
    if (!animate || speed <= 0) {
        m_animation->stop();
        m_fade->setOpacity(1.0);
        setMaximumHeight(QWIDGETSIZE_MAX);
        setVisible(show);
        return;
    }
    setVisible(true);
    m_animation->stop();
    m_animation->setDuration(ThemeApplier::animationDuration(m_theme.currentConfiguration(), 250));
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    m_animation->setStartValue(show ? 0.0 : 1.0);
    m_animation->setEndValue(show ? 1.0 : 0.0);
    m_animation->start();
}

void RecoveryBanner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(m_box->geometry()).adjusted(0.5, 0.5, -0.5, -0.5), ThemeApplier::shownCornerRadius(10),
                         ThemeApplier::shownCornerRadius(10));
    painter.fillPath(path, QColor(0x3a, 0x2e, 0x1c));
    painter.setPen(QColor(0x6b, 0x52, 0x2c));
    painter.drawPath(path);
}

} // namespace varno
