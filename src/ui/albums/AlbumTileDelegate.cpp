#include "AlbumTileDelegate.h"

#include "ui/Icons.h"
#include "ui/albums/AlbumGridModel.h"

#include <QPainter>
#include <QPainterPath>

namespace varno {

QSize AlbumTileDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int lines = 3 * option.fontMetrics.height();
    return {AlbumGridModel::kCoverEdge + 2 * kPadding, AlbumGridModel::kCoverEdge + lines + 3 * kPadding};
}

void AlbumTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = option.palette;
    const QRect tile = option.rect.adjusted(2, 2, -2, -2);
    if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver)) {
        QColor back = palette.color(QPalette::Highlight);
        back.setAlpha(option.state & QStyle::State_Selected ? 90 : 40);
        painter->setPen(Qt::NoPen);
        painter->setBrush(back);
        painter->drawRoundedRect(tile, 8, 8);
    }
    const QRect cover(tile.left() + kPadding - 2, tile.top() + kPadding - 2, AlbumGridModel::kCoverEdge, AlbumGridModel::kCoverEdge);
    QPainterPath rounded;
    rounded.addRoundedRect(cover, 6, 6);
    const QPixmap pixmap = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!pixmap.isNull()) {
        painter->setClipPath(rounded);
        painter->drawPixmap(cover, pixmap);
        painter->setClipping(false);
    } else {
        QColor placeholder = palette.color(QPalette::Text);
        placeholder.setAlpha(28);
        painter->fillPath(rounded, placeholder);
        const int glyph = cover.width() / 3;
        symbolIcon(QStringLiteral("square.stack"))
            .paint(painter, QRect(cover.center() - QPoint(glyph / 2, glyph / 2), QSize(glyph, glyph)), Qt::AlignCenter, QIcon::Disabled);
    }
    const QFontMetrics& metrics = option.fontMetrics;
    QRect line(cover.left(), cover.bottom() + kPadding, cover.width(), metrics.height());
    QFont bold = option.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(palette.color(QPalette::Text));
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(bold).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, line.width()));
    painter->setFont(option.font);
    painter->setPen(palette.color(QPalette::PlaceholderText));
    for (const int role : {int(AlbumGridModel::ArtistRole), int(AlbumGridModel::YearRole)}) {
        line.translate(0, metrics.height());
        painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(index.data(role).toString(), Qt::ElideRight, line.width()));
    }
    painter->restore();
}

} // namespace varno
