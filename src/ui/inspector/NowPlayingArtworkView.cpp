#include "NowPlayingArtworkView.h"

#include "media/ThemeEngine.h"
#include "ui/Icons.h"
#include "ui/ThemeApplier.h"

#include <QPainter>
#include <QPainterPath>

namespace varno {

NowPlayingArtworkView::NowPlayingArtworkView(ThemeEngine& theme, QWidget* parent)
    : QWidget(parent)
    , m_theme(theme)
{
    setObjectName(QStringLiteral("nowPlayingArtwork"));
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMinimumSize(80, 80);
    connect(&m_theme, &ThemeEngine::configurationChanged, this, qOverload<>(&QWidget::update));
}

void NowPlayingArtworkView::setImage(QImage image)
{
    m_image = std::move(image);
    m_scaled = {};
    update();
}

void NowPlayingArtworkView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_scaled = {};
}

void NowPlayingArtworkView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int side = std::min(width(), height());
    const QRectF square((width() - side) / 2.0, 0, side, side);
    const qreal radius = ThemeApplier::cornerRadius(m_theme.currentConfiguration(), 12);
    QPainterPath clip;
    clip.addRoundedRect(square, radius, radius);
    painter.setClipPath(clip);
    if (m_image.isNull()) {
        painter.fillRect(square, palette().color(QPalette::AlternateBase));
        const int glyph = side / 3;
        symbolIcon(u"music.note", palette().color(QPalette::PlaceholderText))
            .paint(&painter, QRect(int(square.left()) + (side - glyph) / 2, (side - glyph) / 2, glyph, glyph));
        return;
    }
    const qreal ratio = devicePixelRatioF();
    if (m_scaled.isNull() || m_scaled.width() != int(side * ratio)) {
        const QImage filled = m_image.scaled(QSize(side, side) * ratio, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QImage cut = filled.copy((filled.width() - int(side * ratio)) / 2, (filled.height() - int(side * ratio)) / 2,
                                       int(side * ratio), int(side * ratio));
        m_scaled = QPixmap::fromImage(cut);
        m_scaled.setDevicePixelRatio(ratio);
    }
    painter.drawPixmap(square.topLeft(), m_scaled);
}

} // namespace varno
