#pragma once

#include <QStyledItemDelegate>

namespace varno {

// Draws an album tile: the cover (a placeholder while it loads or when the
// album has none), then title, artist and year, each on one elided line.
// All tiles are one size, so the grid lays out 8,000 of them without asking.
class AlbumTileDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kPadding = 10;
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace varno
