#include "TrackTableHeaderView.h"

#include "ui/Icons.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackRowLayout.h"
#include "ui/songs/TrackTableModel.h"
#include "workspace/TrackTableLayoutState.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace varno {

namespace {

// How far from a section's right edge a press still grabs the edge.
constexpr int kEdgeGrip = 4;
constexpr int kChevronSize = 10;

} // namespace

TrackTableHeaderView::TrackTableHeaderView(TrackTableLayoutState& layout, QUndoStack* undoStack, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
    , m_layout(layout)
    , m_undoStack(undoStack)
{
    setObjectName(QStringLiteral("songTableHeader"));
    setSectionsMovable(false);
    setSectionsClickable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setMinimumSectionSize(16);
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    connect(&m_layout, &TrackTableLayoutState::columnsChanged, this, &TrackTableHeaderView::applyWidths);
}

void TrackTableHeaderView::setModel(QAbstractItemModel* model)
{
    QHeaderView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::columnsInserted, this, &TrackTableHeaderView::applyWidths);
    connect(model, &QAbstractItemModel::columnsRemoved, this, &TrackTableHeaderView::applyWidths);
    connect(model, &QAbstractItemModel::modelReset, this, &TrackTableHeaderView::applyWidths);
    connect(model, &QAbstractItemModel::headerDataChanged, viewport(), qOverload<>(&QWidget::update));
    applyWidths();
}

QSize TrackTableHeaderView::sizeHint() const
{
    QSize hint = QHeaderView::sizeHint();
    hint.setHeight(trackRowLayout::kHeaderHeight);
    return hint;
}

TrackTableModel* TrackTableHeaderView::trackModel() const
{
    return qobject_cast<TrackTableModel*>(model());
}

std::optional<TrackTableColumnID> TrackTableHeaderView::columnAt(int section) const
{
    const TrackTableModel* tracks = trackModel();
    return tracks ? tracks->columnID(section) : std::nullopt;
}

void TrackTableHeaderView::applyWidths()
{
    if (!model() || count() == 0)
        return;
    resizeSection(TrackTableModel::kLeadingColumn, qRound(kTrackTableLeadingWidth));
    const TrackTableColumns& columns = m_layout.columns();
    for (qsizetype i = 0; i < columns.size() && i + 1 < count(); ++i)
        resizeSection(static_cast<int>(i) + 1, qRound(columns[i].width));
}

int TrackTableHeaderView::edgeSectionAt(int x) const
{
    // The grip reaches a little past the edge on both sides.
    for (int probe : {x - kEdgeGrip, x, x + kEdgeGrip}) {
        const int section = logicalIndexAt(probe);
        if (section <= TrackTableModel::kLeadingColumn)
            continue;
        const int right = sectionViewportPosition(section) + sectionSize(section);
        if (std::abs(right - x) <= kEdgeGrip)
            return section;
    }
    return -1;
}

void TrackTableHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    const QPalette& colors = palette();
    painter->fillRect(rect, colors.color(QPalette::Window));
    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), QColor(255, 255, 255, 22));

    const std::optional<TrackTableColumnID> column = columnAt(logicalIndex);
    const QColor dim = colors.color(QPalette::PlaceholderText);
    if (!column) {
        const QPixmap glyph = symbolIcon(u"slider.horizontal.3", dim).pixmap(QSize(14, 14), devicePixelRatioF());
        painter->drawPixmap(QRect(rect.left() + 19, rect.center().y() - 6, 14, 14), glyph);
        painter->restore();
        return;
    }
    painter->fillRect(QRect(rect.right(), rect.top() + rect.height() / 4, 1, rect.height() / 2), QColor(255, 255, 255, 26));

    const TrackTableModel* tracks = trackModel();
    const bool sorted = tracks && !tracks->sortOrder().asListed && sortFieldOf(*column) == tracks->sortOrder().field;
    const auto alignment = Qt::Alignment(model()->headerData(logicalIndex, Qt::Horizontal, Qt::TextAlignmentRole).toInt());
    const bool rightAligned = alignment.testFlag(Qt::AlignRight);
    QRect text = rect.adjusted(trackRowLayout::kCellPadding, 0, -trackRowLayout::kCellPadding, 0);
    if (sorted) {
        const QString symbol = tracks->sortOrder().ascending ? QStringLiteral("chevron.up") : QStringLiteral("chevron.down");
        const QPixmap chevron = symbolIcon(symbol, colors.color(QPalette::Text)).pixmap(QSize(kChevronSize, kChevronSize), devicePixelRatioF());
        const int x = rightAligned ? text.left() : text.right() - kChevronSize + 1;
        painter->drawPixmap(QRect(x, rect.center().y() - kChevronSize / 2 + 1, kChevronSize, kChevronSize), chevron);
        if (rightAligned)
            text.setLeft(text.left() + kChevronSize + 4);
        else
            text.setRight(text.right() - kChevronSize - 4);
    }
    QFont font = painter->font();
    font.setPointSizeF(font.pointSizeF() * 0.92);
    font.setWeight(QFont::DemiBold);
    painter->setFont(font);
    painter->setPen(sorted ? colors.color(QPalette::Text) : dim);
    const QString title = model()->headerData(logicalIndex, Qt::Horizontal, Qt::DisplayRole).toString();
    painter->drawText(text, int(alignment), QFontMetrics(font).elidedText(title, Qt::ElideRight, text.width()));

    // While a header is dragged: the dragged one dimmed, and a bar where it
    // would land.
    if (m_press.dragging && logicalIndex == m_press.section)
        painter->fillRect(rect, QColor(255, 255, 255, 18));
    if (m_press.dragging && logicalIndex == m_press.target && m_press.target != m_press.section) {
        const int x = m_press.target > m_press.section ? rect.right() - 1 : rect.left();
        painter->fillRect(QRect(x, rect.top(), 2, rect.height()), colors.color(QPalette::Highlight));
    }
    painter->restore();
}

void TrackTableHeaderView::mousePressEvent(QMouseEvent* event)
{
    const int x = event->position().toPoint().x();
    m_press = {};
    m_resize.reset();
    if (event->button() != Qt::LeftButton)
        return;
    if (const int edge = edgeSectionAt(x); edge > 0) {
        const TrackTableColumnID column = *columnAt(edge);
        const TrackTableColumns& columns = m_layout.columns();
        const auto found = std::find_if(columns.begin(), columns.end(), [&](const auto& c) { return c.id == column; });
        if (found == columns.end())
            return;
        m_resize = Resize {column, x, found->width, columns};
        announce(songs::resizeColumnAnnouncement(headerTitle(column)));
        return;
    }
    const int section = logicalIndexAt(x);
    if (section == TrackTableModel::kLeadingColumn) {
        QMenu* menu = makeCustomizeMenu(this);
        menu->popup(viewport()->mapToGlobal(QPoint(sectionViewportPosition(section), height())));
        return;
    }
    if (section > 0)
        m_press = Press {section, event->position().toPoint(), false, -1};
}

void TrackTableHeaderView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_resize) {
        m_layout.resizeColumn(m_resize->column, m_resize->startWidth + (position.x() - m_resize->startX));
        return;
    }
    if (m_press.section > 0 && (event->buttons() & Qt::LeftButton)) {
        if (!m_press.dragging && (position - m_press.position).manhattanLength() >= QApplication::startDragDistance()) {
            m_press.dragging = true;
            announce(songs::moveColumnAnnouncement(headerTitle(*columnAt(m_press.section))));
        }
        if (m_press.dragging) {
            const int target = logicalIndexAt(position.x());
            m_press.target = target > 0 ? target : -1;
            viewport()->update();
        }
        return;
    }
    viewport()->setCursor(edgeSectionAt(position.x()) > 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TrackTableHeaderView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_resize) {
        const Resize resize = *m_resize;
        m_resize.reset();
        m_layout.registerResizeUndo(resize.previous, TrackTableLayoutState::kResizeActionName, m_undoStack);
        announce({});
        return;
    }
    const Press press = m_press;
    m_press = {};
    if (press.section <= 0 || event->button() != Qt::LeftButton)
        return;
    const std::optional<TrackTableColumnID> column = columnAt(press.section);
    if (!column)
        return;
    if (press.dragging) {
        announce({});
        viewport()->update();
        if (const std::optional<TrackTableColumnID> target = columnAt(press.target); target && *target != *column)
            m_layout.moveColumn(*column, *target, m_undoStack);
        return;
    }
    if (logicalIndexAt(event->position().toPoint().x()) == press.section) {
        if (TrackTableModel* tracks = trackModel())
            tracks->sortByColumn(*column);
    }
}

void TrackTableHeaderView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (const int edge = edgeSectionAt(event->position().toPoint().x()); edge > 0) {
            m_resize.reset();
            m_layout.resetColumnWidth(*columnAt(edge), m_undoStack);
            return;
        }
    }
    // A quick second click on a header sorts again, like any second click.
    mousePressEvent(event);
}

void TrackTableHeaderView::contextMenuEvent(QContextMenuEvent* event)
{
    const int section = logicalIndexAt(event->pos().x());
    const std::optional<TrackTableColumnID> column = columnAt(section);
    QMenu* menu = column ? makeColumnMenu(*column, this) : makeCustomizeMenu(this);
    menu->popup(event->globalPos());
    event->accept();
}

void TrackTableHeaderView::leaveEvent(QEvent* event)
{
    viewport()->unsetCursor();
    QHeaderView::leaveEvent(event);
}

bool TrackTableHeaderView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int x = help->pos().x();
        const int section = logicalIndexAt(x);
        QString text;
        if (edgeSectionAt(x) > 0)
            text = songs::kColumnEdgeHelp;
        else if (section == TrackTableModel::kLeadingColumn)
            text = songs::kCustomizeColumnsHelp;
        else if (section > 0)
            text = songs::kColumnHeaderHelp;
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QHeaderView::viewportEvent(event);
}

QMenu* TrackTableHeaderView::makeCustomizeMenu(QWidget* parent)
{
    auto* menu = new QMenu(songs::kCustomizeColumns, parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setToolTipsVisible(true);
    menu->menuAction()->setToolTip(songs::kCustomizeColumnsHelp);
    for (TrackTableColumnID column : kAllTrackTableColumns) {
        QAction* toggle = menu->addAction(headerTitle(column));
        toggle->setCheckable(true);
        toggle->setChecked(m_layout.isColumnVisible(column));
        connect(toggle, &QAction::toggled, this, [this, column](bool shown) { m_layout.setColumnVisible(column, shown, m_undoStack); });
    }
    menu->addSeparator();
    QAction* restore = menu->addAction(songs::kRestoreDefaultColumns);
    restore->setEnabled(!m_layout.isDefaultLayout());
    connect(restore, &QAction::triggered, this, [this] { m_layout.restoreDefaultLayout(m_undoStack); });
    return menu;
}

QMenu* TrackTableHeaderView::makeColumnMenu(TrackTableColumnID column, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const TrackTableColumns& columns = m_layout.columns();
    const auto found = std::find_if(columns.begin(), columns.end(), [&](const auto& c) { return c.id == column; });
    const bool collapsed = found != columns.end() && found->isCollapsed;
    QAction* collapse = menu->addAction(collapsed ? songs::kExpandColumn : songs::kCollapseColumn);
    connect(collapse, &QAction::triggered, this, [this, column] { m_layout.toggleColumnCollapsed(column, m_undoStack); });
    QAction* reset = menu->addAction(songs::kResetWidth);
    connect(reset, &QAction::triggered, this, [this, column] { m_layout.resetColumnWidth(column, m_undoStack); });
    QAction* remove = menu->addAction(songs::kRemoveColumn);
    connect(remove, &QAction::triggered, this, [this, column] { m_layout.setColumnVisible(column, false, m_undoStack); });
    menu->addSeparator();
    QMenu* customize = makeCustomizeMenu(menu);
    customize->setAttribute(Qt::WA_DeleteOnClose, false);
    menu->addMenu(customize);
    return menu;
}

void TrackTableHeaderView::announce(const QString& text)
{
    setAccessibleDescription(text);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

} // namespace varno
