#include "TrackTableView.h"

#include "ui/songs/SongDragData.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackTableDelegate.h"
#include "ui/songs/TrackTableHeaderView.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackThumbnailCache.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace varno {

TrackTableView::TrackTableView(TrackTableModel& model, TrackTableLayoutState& layout, QUndoStack* undoStack, QWidget* parent)
    : QTableView(parent)
    , m_model(model)
    , m_header(new TrackTableHeaderView(layout, undoStack, this))
{
    setObjectName(QStringLiteral("songTable"));
    // Every row is as tall as the others, so nothing is measured per row:
    // a list of 100,000 songs costs no more to lay out than one of ten. Set
    // before the model comes, while there are no sections to go through.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(trackRowLayout::kRowHeight);
    rows->setDefaultSectionSize(trackRowLayout::kRowHeight);
    setHorizontalHeader(m_header);
    setModel(&m_model);
    setItemDelegate(new TrackTableDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // Tab leaves the table for the next part of the window; walking its
    // cells one by one would trap a keyboard user in twelve columns.
    setTabKeyNavigation(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(trackRowLayout::kRowHeight / 2);

    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { setHover({}); });
}

void TrackTableView::setRowMetrics(int rowHeight, qreal coverRadius)
{
    if (rowHeight == m_rowHeight && coverRadius == m_coverRadius)
        return;
    m_coverRadius = coverRadius;
    if (rowHeight != m_rowHeight) {
        m_rowHeight = rowHeight;
        // The header walks its sections once: about 10 ms over a hundred
        // thousand rows, paid when the user changes the theme, never per
        // song.
        QHeaderView* rows = verticalHeader();
        rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), rowHeight));
        rows->setDefaultSectionSize(rowHeight);
        rows->setMinimumSectionSize(rowHeight);
        verticalScrollBar()->setSingleStep(rowHeight / 2);
    }
    viewport()->update();
}

std::pair<int, int> TrackTableView::shownRows() const
{
    const int count = m_model.rowCount();
    if (count == 0)
        return {-1, -1};
    const int first = rowAt(0);
    if (first < 0)
        return {-1, -1};
    int last = rowAt(viewport()->height() - 1);
    if (last < 0)
        last = count - 1;
    return {first, last};
}

QRect TrackTableView::controlRect(int row, TrackRowControl control) const
{
    return trackRowLayout::controlRect(visualRect(m_model.index(row, TrackTableModel::kLeadingColumn)), control);
}

QString TrackTableView::controlLabel(int row, TrackRowControl control) const
{
    if (row < 0 || row >= m_model.rowCount())
        return {};
    const QString& title = m_model.trackAt(row).title;
    switch (control) {
    case TrackRowControl::Play:
        return m_model.isPlaying(row) ? songs::pauseButtonLabel(title) : songs::playButtonLabel(title);
    case TrackRowControl::Favorite:
        return m_model.isFavorite(row) ? songs::kRemoveFromFavorites : songs::kAddToFavorites;
    case TrackRowControl::Edit:
        return songs::editButtonLabel(title);
    case TrackRowControl::None:
        break;
    }
    return {};
}

TrackTableView::Hit TrackTableView::hitAt(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return {};
    Hit hit {index.row(), TrackRowControl::None};
    if (index.column() == TrackTableModel::kLeadingColumn)
        hit.control = trackRowLayout::controlAt(visualRect(index), position);
    return hit;
}

void TrackTableView::setHover(Hit hit)
{
    if (hit.row == m_hoveredRow && hit.control == m_hoveredControl)
        return;
    const int before = m_hoveredRow;
    m_hoveredRow = hit.row;
    m_hoveredControl = hit.control;
    // Only the rows whose look changed are drawn again.
    for (int row : {before, hit.row}) {
        if (row >= 0 && row < m_model.rowCount())
            viewport()->update(QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row)));
    }
}

void TrackTableView::paintEvent(QPaintEvent* event)
{
    const auto [first, last] = shownRows();
    if (first >= 0)
        paintRowBackgrounds(first, last);
    QTableView::paintEvent(event);
    paintDropLine();
    keepThumbnailRequestsForShownRows(first, last);
}

void TrackTableView::paintDropLine()
{
    if (m_dropRow < 0)
        return;
    const int count = m_model.rowCount();
    const int y = count == 0 ? 0 : m_dropRow < count ? rowViewportPosition(m_dropRow) : rowViewportPosition(count - 1) + rowHeight(count - 1);
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = palette().color(QPalette::Highlight);
    painter.fillRect(QRect(8, y - 1, viewport()->width() - 16, 2), accent);
    painter.setPen(QPen(accent, 2));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawEllipse(QPointF(8, y), 3.5, 3.5);
}

void TrackTableView::paintRowBackgrounds(int first, int last)
{
    QPainter painter(viewport());
    const QPalette& colors = palette();
    const QColor highlight = colors.color(QPalette::Highlight);
    QColor activeTint = highlight;
    activeTint.setAlphaF(0.16);
    const QColor hoverTint(255, 255, 255, 12);
    const int width = viewport()->width();
    for (int row = first; row <= last; ++row) {
        const QRect band(0, rowViewportPosition(row), width, rowHeight(row));
        if (m_model.isSelected(row)) {
            painter.fillRect(band, m_model.isActive(row) ? highlight.lighter(112) : highlight);
            continue;
        }
        if (m_model.isActive(row))
            painter.fillRect(band, activeTint);
        if (row == m_hoveredRow)
            painter.fillRect(band, hoverTint);
    }
}

void TrackTableView::keepThumbnailRequestsForShownRows(int first, int last)
{
    QSet<QUuid> shown;
    if (first >= 0) {
        shown.reserve(last - first + 1);
        for (int row = first; row <= last; ++row)
            shown.insert(m_model.shownTracks().ids[static_cast<std::size_t>(row)]);
    }
    m_model.thumbnails().keepRequestsFor(shown);
}

void TrackTableView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const Hit hit = hitAt(event->position().toPoint());
    m_pressedControl = {};
    if (hit.row < 0)
        return;
    if (hit.control != TrackRowControl::None) {
        m_pressedControl = hit;
        return;
    }
    m_keyboardRow = m_model.index(hit.row, 0);
    m_pressedRow = hit.row;
    m_pressPosition = event->position().toPoint();
    m_clickOnRelease = event->modifiers() == Qt::NoModifier && m_model.isSelected(hit.row) && m_model.selectionCount() > 1;
    if (!m_clickOnRelease)
        emit rowClicked(hit.row, event->modifiers());
}

void TrackTableView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_clickOnRelease && event->button() == Qt::LeftButton && m_pressedRow >= 0 && m_pressedRow < m_model.rowCount())
        emit rowClicked(m_pressedRow, Qt::NoModifier);
    m_clickOnRelease = false;
    m_pressedRow = -1;
    const Hit pressed = m_pressedControl;
    m_pressedControl = {};
    if (event->button() != Qt::LeftButton || pressed.row < 0)
        return;
    const Hit hit = hitAt(event->position().toPoint());
    if (hit.row == pressed.row && hit.control == pressed.control)
        emit controlClicked(hit.row, hit.control);
}

void TrackTableView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Hit hit = hitAt(event->position().toPoint());
    if (hit.row < 0)
        return;
    // A quick second click on a control is a second click, not a double one.
    if (hit.control != TrackRowControl::None) {
        m_pressedControl = hit;
        return;
    }
    m_keyboardRow = m_model.index(hit.row, 0);
    emit rowDoubleClicked(hit.row);
}

void TrackTableView::mouseMoveEvent(QMouseEvent* event)
{
    setHover(hitAt(event->position().toPoint()));
    if ((event->buttons() & Qt::LeftButton) && m_pressedRow >= 0
        && (event->position().toPoint() - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        const int row = m_pressedRow;
        m_pressedRow = -1;
        m_clickOnRelease = false;
        startDrag(row);
    }
}

QMimeData* TrackTableView::dragDataFor(int row) const
{
    std::vector<QUuid> ids;
    if (row >= 0 && row < m_model.rowCount() && !m_model.isSelected(row)) {
        ids.push_back(m_model.trackAt(row).id);
    } else {
        for (const Track& track : m_model.selectedTracks())
            ids.push_back(track.id);
    }
    return songDragData(ids);
}

void TrackTableView::startDrag(int row)
{
    if (row < 0 || row >= m_model.rowCount())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(dragDataFor(row));
    const QString title = m_model.trackAt(row).title;
    const qsizetype count = m_model.isSelected(row) ? m_model.selectionCount() : 1;
    // A small label under the pointer says what is being dragged.
    const QString label = count == 1 ? title : songs::songCountText(count);
    const QFontMetrics metrics(font());
    QPixmap picture(QSize(std::min(metrics.horizontalAdvance(label) + 20, 320), metrics.height() + 10) * devicePixelRatioF());
    picture.setDevicePixelRatio(devicePixelRatioF());
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box(QPointF(0, 0), picture.deviceIndependentSize());
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(box, 6, 6);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(box.adjusted(10, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft, metrics.elidedText(label, Qt::ElideRight, 300));
    }
    drag->setPixmap(picture);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void TrackTableView::setAcceptsRowDrops(bool accepts)
{
    m_acceptsRowDrops = accepts;
    setAcceptDrops(accepts);
    viewport()->setAcceptDrops(accepts);
    if (!accepts)
        setDropRow(-1);
}

void TrackTableView::setDropRow(int row)
{
    if (row == m_dropRow)
        return;
    m_dropRow = row;
    viewport()->update();
}

int TrackTableView::dropRowAt(const QPoint& position) const
{
    const int row = rowAt(position.y());
    if (row < 0)
        return m_model.rowCount();
    // The upper half of a row drops before it, the lower half after it.
    return position.y() < rowViewportPosition(row) + rowHeight(row) / 2 ? row : row + 1;
}

void TrackTableView::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void TrackTableView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!m_acceptsRowDrops || !event->mimeData()->hasFormat(kSongDragMimeType)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    setDropRow(dropRowAt(event->position().toPoint()));
}

void TrackTableView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropRow(-1);
    event->accept();
}

void TrackTableView::dropEvent(QDropEvent* event)
{
    setDropRow(-1);
    if (!m_acceptsRowDrops || !event->mimeData()->hasFormat(kSongDragMimeType)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    const std::vector<QUuid> ids = draggedSongIds(event->mimeData());
    if (!ids.empty())
        emit rowsDropped(ids, dropRowAt(event->position().toPoint()));
}

void TrackTableView::leaveEvent(QEvent* event)
{
    setHover({});
    QTableView::leaveEvent(event);
}

void TrackTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = rowAt(event->pos().y());
    if (row >= 0)
        emit rowContextMenuRequested(row, event->globalPos());
    event->accept();
}

void TrackTableView::keyPressEvent(QKeyEvent* event)
{
    const int count = m_model.rowCount();
    const bool up = event->key() == Qt::Key_Up;
    if ((up || event->key() == Qt::Key_Down) && count > 0 && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        int from = m_keyboardRow.isValid() ? m_keyboardRow.row() : -1;
        if (from < 0 && m_model.selection().anchorID)
            from = m_model.rowOfID(*m_model.selection().anchorID);
        const int to = from < 0 ? (up ? count - 1 : 0) : std::clamp(from + (up ? -1 : 1), 0, count - 1);
        m_keyboardRow = m_model.index(to, 0);
        emit rowClicked(to, event->modifiers() & Qt::ShiftModifier);
        scrollTo(m_model.index(to, 0));
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && !(event->modifiers() & ~Qt::KeypadModifier)) {
        emit deleteRequested();
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_keyboardRow.isValid()) {
        emit rowDoubleClicked(m_keyboardRow.row());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool TrackTableView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const Hit hit = hitAt(help->pos());
        QString text;
        if (hit.control != TrackRowControl::None)
            text = controlLabel(hit.row, hit.control);
        else if (hit.row >= 0)
            text = m_model.data(indexAt(help->pos()), Qt::ToolTipRole).toString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QTableView::viewportEvent(event);
}

} // namespace varno
