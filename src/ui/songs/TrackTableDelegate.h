#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace varno {

class TrackTableView;

// Draws the cells of a song table: the leading area with the cover, the
// play/pause button (a speaker while the row's song plays), the heart and
// the edit button, and the text cells, greyed out when the song's file is
// missing. Row backgrounds (selection, the current song, hover) are drawn by
// the view across the whole width before the cells.
class TrackTableDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit TrackTableDelegate(TrackTableView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QColor favoriteColor();

private:
    void paintLeading(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintText(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintControl(QPainter* painter, const QRect& cell, int row, int control, const QString& symbol, const QColor& color) const;
    // Glyphs are drawn from pixmaps kept per symbol, colour and size: a
    // window of rows draws a few hundred of them per frame.
    QPixmap glyph(const QString& symbol, const QColor& color, int size) const;

    TrackTableView* m_view;
    mutable QHash<QString, QPixmap> m_glyphs;
};

} // namespace varno
