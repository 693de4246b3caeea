#include "ArtworkTile.h"

#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace varno {

namespace {

constexpr double kCornerShare = 0.16;

} // namespace

ArtworkTile::ArtworkTile(int side, QString fallbackSymbol, QWidget* parent)
    : QWidget(parent)
    , m_side(side)
    , m_symbol(std::move(fallbackSymbol))
{
    setFixedSize(side, side);
}

void ArtworkTile::setImage(const QImage& image)
{
    if (image.isNull()) {
        m_picture = {};
    } else {
        // Scaled once here rather than at every paint.
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = QSize(m_side, m_side) * ratio;
        m_picture = QPixmap::fromImage(image.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
        m_picture.setDevicePixelRatio(ratio);
    }
    update();
}

void ArtworkTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    const double radius = m_side * kCornerShare;
    QPainterPath clip;
    clip.addRoundedRect(bounds, radius, radius);
    if (!m_picture.isNull()) {
        painter.setClipPath(clip);
        const QSizeF shown = m_picture.deviceIndependentSize();
        const QPointF corner((bounds.width() - shown.width()) / 2, (bounds.height() - shown.height()) / 2);
        painter.drawPixmap(corner, m_picture);
        return;
    }
    QColor tile = palette().color(QPalette::WindowText);
    tile.setAlphaF(0.07f);
    painter.fillPath(clip, tile);
    const int glyph = qRound(m_side * 0.46);
    const QRect glyphRect((m_side - glyph) / 2, (m_side - glyph) / 2, glyph, glyph);
    symbolIcon(m_symbol, palette().color(QPalette::PlaceholderText)).paint(&painter, glyphRect);
}

} // namespace varno
