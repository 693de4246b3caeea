#include "TrackTableDelegate.h"

#include "ui/Icons.h"
#include "ui/songs/TrackRowLayout.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace varno {

namespace {

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(alpha);
    return color;
}

} // namespace

TrackTableDelegate::TrackTableDelegate(TrackTableView* view)
    : QStyledItemDelegate(view)
    , m_view(view)
{
}

QColor TrackTableDelegate::favoriteColor()
{
    return QColor(0xff, 0x4d, 0x6d);
}

QSize TrackTableDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(80, trackRowLayout::kRowHeight);
}

void TrackTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.column() == TrackTableModel::kLeadingColumn)
        paintLeading(painter, option, index);
    else
        paintText(painter, option, index);
}

void TrackTableDelegate::paintLeading(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = static_cast<const TrackTableModel*>(index.model());
    const int row = index.row();
    const QPalette& palette = option.palette;
    const bool selected = model->isSelected(row);
    const bool active = model->isActive(row);
    const bool playing = model->isPlaying(row);
    const bool favorite = model->isFavorite(row);
    const bool unavailable = model->isUnavailable(row);
    const bool hovered = m_view->hoveredRow() == row;
    const QRect cell = option.rect;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    // The cover, or a note on a plain square while there is none.
    const QRect thumb = trackRowLayout::thumbnailRect(cell);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(thumb), m_view->coverRadius(), m_view->coverRadius());
    const QPixmap cover = index.data(TrackTableModel::ThumbnailRole).value<QPixmap>();
    if (unavailable)
        painter->setOpacity(0.4);
    if (!cover.isNull()) {
        painter->save();
        painter->setClipPath(rounded);
        painter->drawPixmap(thumb, cover);
        painter->restore();
    } else {
        painter->fillPath(rounded, palette.color(QPalette::AlternateBase).lighter(125));
        const int size = 16;
        const QPixmap note = glyph(QStringLiteral("music.note"), palette.color(QPalette::PlaceholderText), size);
        painter->drawPixmap(QRect(thumb.center().x() - size / 2 + 1, thumb.center().y() - size / 2 + 1, size, size), note);
    }
    painter->setOpacity(1.0);

    const QColor accent = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Highlight);
    const QColor plain = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
    const QColor dim = selected ? withAlpha(palette.color(QPalette::HighlightedText), 0.7) : palette.color(QPalette::PlaceholderText);

    // Play/pause: a speaker on the song that plays, the play symbol on the
    // current song while paused and on the row under the pointer.
    if (playing)
        paintControl(painter, cell, row, int(TrackRowControl::Play), QStringLiteral("speaker.wave.2.fill"), accent);
    else if (active)
        paintControl(painter, cell, row, int(TrackRowControl::Play), QStringLiteral("play.fill"), accent);
    else if (hovered)
        paintControl(painter, cell, row, int(TrackRowControl::Play), QStringLiteral("play.fill"), plain);

    if (favorite)
        paintControl(painter, cell, row, int(TrackRowControl::Favorite), QStringLiteral("heart.fill"), selected ? plain : favoriteColor());
    else if (hovered)
        paintControl(painter, cell, row, int(TrackRowControl::Favorite), QStringLiteral("heart"), dim);

    if (hovered)
        paintControl(painter, cell, row, int(TrackRowControl::Edit), QStringLiteral("pencil"), dim);
    painter->restore();
}

void TrackTableDelegate::paintControl(QPainter* painter, const QRect& cell, int row, int control, const QString& symbol, const QColor& color) const
{
    const QRect area = trackRowLayout::controlRect(cell, TrackRowControl(control));
    QColor drawn = color;
    if (m_view->hoveredRow() == row && int(m_view->hoveredControl()) == control) {
        // The control under the pointer stands out on a soft disc.
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 28));
        painter->drawEllipse(area);
        drawn.setAlphaF(1.0);
    }
    const int size = trackRowLayout::kGlyphSize;
    const QRect glyphArea(area.center().x() - size / 2 + 1, area.center().y() - size / 2 + 1, size, size);
    painter->drawPixmap(glyphArea, glyph(symbol, drawn, size));
}

void TrackTableDelegate::paintText(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = static_cast<const TrackTableModel*>(index.model());
    const int row = index.row();
    const std::optional<TrackTableColumnID> column = model->columnID(index.column());
    if (!column)
        return;
    const QPalette& palette = option.palette;
    const bool selected = model->isSelected(row);
    const bool unavailable = model->isUnavailable(row);
    const bool isTitle = *column == TrackTableColumnID::Title;

    QColor color;
    if (selected)
        color = isTitle ? palette.color(QPalette::HighlightedText) : withAlpha(palette.color(QPalette::HighlightedText), 0.82);
    else if (unavailable)
        color = palette.color(QPalette::Disabled, QPalette::Text).darker(130);
    else if (model->isActive(row))
        color = palette.color(QPalette::Highlight).lighter(isTitle ? 135 : 120);
    else
        color = isTitle ? palette.color(QPalette::Text) : withAlpha(palette.color(QPalette::Text), 0.68);

    const QString text = index.data(Qt::DisplayRole).toString();
    const auto alignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
    const QRect area = option.rect.adjusted(trackRowLayout::kCellPadding, 0, -trackRowLayout::kCellPadding, 0);
    QFont font = option.font;
    if (isTitle && model->isActive(row))
        font.setWeight(QFont::DemiBold);
    if (unavailable)
        font.setItalic(true);
    const QFontMetrics metrics(font);
    painter->save();
    painter->setFont(font);
    painter->setPen(color);
    painter->drawText(area, int(alignment), metrics.elidedText(text, Qt::ElideRight, area.width()));
    painter->restore();
}

QPixmap TrackTableDelegate::glyph(const QString& symbol, const QColor& color, int size) const
{
    const qreal scale = qApp->devicePixelRatio();
    const QString key = symbol + QLatin1Char('|') + QString::number(color.rgba(), 16) + QLatin1Char('|') + QString::number(size);
    const auto found = m_glyphs.constFind(key);
    if (found != m_glyphs.cend())
        return *found;
    QPixmap pixmap = symbolIcon(symbol, color).pixmap(QSize(size, size), scale);
    m_glyphs.insert(key, pixmap);
    return pixmap;
}

} // namespace varno
