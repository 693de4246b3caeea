#include "QueueView.h"

#include "playback/QueueEngine.h"
#include "ui/EmptyStateView.h"
#include "ui/Icons.h"
#include "ui/ThemeApplier.h"
#include "ui/ViewEnvironment.h"
#include "ui/queue/QueueListModel.h"

#include <QApplication>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace varno {

const QString QueueView::kTitle = QStringLiteral("Queue");
const QString QueueView::kClearTitle = QStringLiteral("Clear");
const QString QueueView::kEmptyTitle = QStringLiteral("Queue is empty");
const QString QueueView::kEmptySubtitle = QStringLiteral("Play a song to start building your queue");
const QString QueueView::kPlay = QStringLiteral("Play");
const QString QueueView::kPlayNext = QStringLiteral("Play Next");
const QString QueueView::kRemove = QStringLiteral("Remove from Queue");

namespace {

constexpr int kRowHeight = 44;
constexpr int kThumbnailSide = 32;
constexpr int kSidePadding = 12;

// Every row is one height, captions included, so the list lays out a
// queue of any length without measuring its rows.
class QueueRowDelegate final : public QStyledItemDelegate {
public:
    explicit QueueRowDelegate(QObject* parent)
        : QStyledItemDelegate(parent)
    {
        m_captionFont = QApplication::font();
        m_captionFont.setPointSizeF(9.5);
        m_captionFont.setWeight(QFont::DemiBold);
        m_captionFont.setLetterSpacing(QFont::PercentageSpacing, 108);
        m_titleFont = QApplication::font();
        m_titleFont.setWeight(QFont::Medium);
        m_artistFont = QApplication::font();
        m_artistFont.setPointSizeF(std::max(8.0, m_artistFont.pointSizeF() - 1.5));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width() > 0 ? option.rect.width() : 200, kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const auto kind = QueueListModel::RowKind(index.data(QueueListModel::KindRole).toInt());
        if (kind == QueueListModel::RowKind::Header)
            paintCaption(painter, option, index);
        else
            paintSong(painter, option, index, kind);
        painter->restore();
    }

private:
    void paintCaption(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        painter->setFont(m_captionFont);
        painter->setPen(option.palette.color(QPalette::PlaceholderText));
        const QRect text = option.rect.adjusted(kSidePadding, 0, -kSidePadding, -7);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignBottom, index.data(Qt::DisplayRole).toString());
    }

    void paintSong(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index, QueueListModel::RowKind kind) const
    {
        const QColor accent = option.palette.color(QPalette::Highlight);
        const QColor text = option.palette.color(QPalette::Text);
        const QRectF card = QRectF(option.rect).adjusted(4, 1, -4, -1);
        QColor wash;
        if (option.state & QStyle::State_Selected) {
            wash = accent;
            wash.setAlphaF(0.32f);
        } else if (kind == QueueListModel::RowKind::Current) {
            wash = accent;
            wash.setAlphaF(0.12f);
        } else if (option.state & QStyle::State_MouseOver) {
            wash = text;
            wash.setAlphaF(0.05f);
        }
        if (wash.isValid()) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(wash);
            painter->drawRoundedRect(card, ThemeApplier::shownCornerRadius(6), ThemeApplier::shownCornerRadius(6));
        }

        const QRect picture(option.rect.left() + kSidePadding, option.rect.top() + (kRowHeight - kThumbnailSide) / 2, kThumbnailSide,
                            kThumbnailSide);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(picture), ThemeApplier::shownCornerRadius(5), ThemeApplier::shownCornerRadius(5));
        const QImage thumbnail = index.data(Qt::DecorationRole).value<QImage>();
        if (!thumbnail.isNull()) {
            painter->save();
            painter->setClipPath(rounded);
            painter->drawImage(QRectF(picture), thumbnail);
            painter->restore();
        } else {
            QColor tile = text;
            tile.setAlphaF(0.07f);
            painter->fillPath(rounded, tile);
            symbolIcon(u"music.note", option.palette.color(QPalette::PlaceholderText))
                .paint(painter, picture.adjusted(8, 8, -8, -8));
        }

        const bool playing = index.data(QueueListModel::IsPlayingRole).toBool();
        const int right = option.rect.right() - kSidePadding - (playing ? 22 : 0);
        const int left = picture.right() + 11;
        const QRect titleRect(left, option.rect.top() + 5, right - left, kRowHeight / 2 - 4);
        const QRect artistRect(left, option.rect.top() + kRowHeight / 2 + 1, right - left, kRowHeight / 2 - 6);

        painter->setFont(m_titleFont);
        painter->setPen(text);
        const QString title = QFontMetrics(m_titleFont).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, titleRect.width());
        painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignBottom, title);
        painter->setFont(m_artistFont);
        painter->setPen(option.palette.color(QPalette::PlaceholderText).lighter(120));
        const QString artist =
            QFontMetrics(m_artistFont).elidedText(index.data(QueueListModel::ArtistRole).toString(), Qt::ElideRight, artistRect.width());
        painter->drawText(artistRect, Qt::AlignLeft | Qt::AlignTop, artist);

        if (playing) {
            const QRect mark(option.rect.right() - kSidePadding - 16, option.rect.top() + (kRowHeight - 16) / 2, 16, 16);
            symbolIcon(u"waveform", accent.lighter(125)).paint(painter, mark);
        }
    }

    QFont m_captionFont;
    QFont m_titleFont;
    QFont m_artistFont;
};

} // namespace

// --- the list ------------------------------------------------------------

QueueListView::QueueListView(QWidget* parent)
    : QListView(parent)
{
    setObjectName(QStringLiteral("queue.list"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    viewport()->setAttribute(Qt::WA_Hover);
}

void QueueListView::keyPressEvent(QKeyEvent* event)
{
    if ((event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) && selectionModel()->hasSelection()) {
        emit deleteRequested();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void QueueListView::startDrag(Qt::DropActions supportedActions)
{
    // One upcoming song travels: the first of the selection (the model
    // leaves the current song and the history out of the payload).
    QListView::startDrag(supportedActions & Qt::MoveAction);
}

void QueueListView::dropEvent(QDropEvent* event)
{
    // The list's own handling of an internal move would move rows in the
    // model itself; here a drop asks the queue engine (through the model's
    // dropMimeData) and the rows follow when the queue publishes.
    QAbstractItemView::dropEvent(event);
}

// --- the view ------------------------------------------------------------

QueueView::QueueView(const ViewEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_queueEngine(environment.queueEngine)
{
    setObjectName(QStringLiteral("queue.view"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(16, 12, 10, 8);
    m_title = new QLabel(kTitle, header);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::Bold);
    m_title->setFont(titleFont);
    m_clear = new QPushButton(kClearTitle, header);
    m_clear->setObjectName(QStringLiteral("queue.clear"));
    m_clear->setFlat(true);
    m_clear->setCursor(Qt::PointingHandCursor);
    QPalette clearPalette = m_clear->palette();
    clearPalette.setColor(QPalette::ButtonText, palette().color(QPalette::Highlight).lighter(130));
    m_clear->setPalette(clearPalette);
    headerLayout->addWidget(m_title, 1);
    headerLayout->addWidget(m_clear);

    m_model = new QueueListModel(m_queueEngine, environment.thumbnailGenerator, this);
    m_list = new QueueListView(this);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new QueueRowDelegate(m_list));

    m_emptyState = new EmptyStateView(QStringLiteral("music.note.list"), kEmptyTitle, kEmptySubtitle, this);
    m_content = new QStackedWidget(this);
    m_content->addWidget(m_list);
    m_content->addWidget(m_emptyState);

    layout->addWidget(header);
    layout->addWidget(m_content, 1);

    connect(m_clear, &QPushButton::clicked, this, [this] { m_queueEngine.clearUpcoming(); });
    connect(&m_queueEngine, &QueueEngine::upcomingChanged, this, &QueueView::showQueueState);
    connect(m_model, &QueueListModel::refreshed, this, &QueueView::showQueueState);
    connect(m_model, &QueueListModel::refreshed, this, &QueueView::reportVisibleRows);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &QueueView::reportVisibleRows);
    connect(m_list, &QueueListView::deleteRequested, this, &QueueView::deleteSelectedUpcoming);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &QueueView::showRowMenu);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        // Ctrl and Shift make a selection (for deleting), not a choice.
        if (QApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier))
            return;
        activateRow(index.row());
    });
    showQueueState();
}

bool QueueView::isShowingEmptyState() const
{
    return m_content->currentWidget() == m_emptyState;
}

void QueueView::showQueueState()
{
    m_clear->setVisible(!m_queueEngine.upcoming().empty());
    m_content->setCurrentWidget(m_model->isEmpty() ? static_cast<QWidget*>(m_emptyState) : m_list);
}

void QueueView::reportVisibleRows()
{
    const QRect area = m_list->viewport()->rect();
    const QModelIndex top = m_list->indexAt(area.topLeft());
    const QModelIndex bottom = m_list->indexAt(QPoint(area.left(), area.bottom()));
    const int first = top.isValid() ? top.row() : 0;
    const int last = bottom.isValid() ? bottom.row() : m_model->rowCount() - 1;
    m_model->setVisibleRows(first, last);
}

std::optional<std::size_t> QueueView::upcomingPosition(const QueueListModel::Row& row, const SharedTrack& song) const
{
    const TrackList& upcoming = m_queueEngine.upcoming();
    // The row's own place when the queue still holds the song there, so a
    // song queued twice is taken from the copy clicked; otherwise its first.
    if (row.kind == QueueListModel::RowKind::Upcoming && row.index < upcoming.size() && upcoming[row.index].id == song->id)
        return row.index;
    const qsizetype at = upcoming.indexOf(song->id);
    return at >= 0 ? std::optional<std::size_t>(std::size_t(at)) : std::nullopt;
}

void QueueView::activateRow(int modelRow)
{
    const QList<SongRow> rows = songRows({modelRow});
    if (!rows.isEmpty())
        play(rows.first());
}

void QueueView::play(const SongRow& row)
{
    if (row.row.kind == QueueListModel::RowKind::Upcoming) {
        if (const std::optional<std::size_t> at = upcomingPosition(row.row, row.song)) {
            m_queueEngine.skipTo(int(*at));
            return;
        }
    }
    TrackList alone;
    alone.append(row.song);
    m_queueEngine.playNow(alone, 0);
}

void QueueView::deleteSelectedUpcoming()
{
    removeUpcoming(selectedSongRows());
}

QList<QueueView::SongRow> QueueView::selectedSongRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return songRows(rows);
}

QList<QueueView::SongRow> QueueView::songRows(const QList<int>& modelRows) const
{
    QList<SongRow> rows;
    for (const int modelRow : modelRows) {
        const QueueListModel::Row row = m_model->row(modelRow);
        const SharedTrack song = m_model->song(modelRow);
        if (song && (row.kind == QueueListModel::RowKind::Upcoming || row.kind == QueueListModel::RowKind::History))
            rows.append({row, song});
    }
    return rows;
}

QMenu* QueueView::showRowMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    if (!index.isValid())
        return nullptr;
    const int modelRow = index.row();
    const QList<SongRow> clicked = songRows({modelRow});
    if (clicked.isEmpty())
        return nullptr;
    QList<SongRow> rows;
    if (m_list->selectionModel()->isRowSelected(modelRow))
        rows = selectedSongRows();
    if (rows.isEmpty())
        rows = clicked;
    const bool anyUpcoming =
        std::any_of(rows.begin(), rows.end(), [](const SongRow& row) { return row.row.kind == QueueListModel::RowKind::Upcoming; });

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("queueRowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The items find their songs in the queue when chosen (the queue may
    // have moved on while the menu was open), by the place they had and
    // their ids.
    const SongRow played = clicked.first();
    connect(menu->addAction(symbolIcon(u"play.fill"), kPlay), &QAction::triggered, this, [this, played] { play(played); });
    connect(menu->addAction(symbolIcon(u"list.bullet"), kPlayNext), &QAction::triggered, this, [this, rows] { playNext(rows); });
    QAction* remove = menu->addAction(symbolIcon(u"xmark"), kRemove);
    // Only songs still to come can leave the queue; the history is what was
    // played.
    remove->setEnabled(anyUpcoming);
    connect(remove, &QAction::triggered, this, [this, rows] { removeUpcoming(rows); });
    menu->popup(m_list->viewport()->mapToGlobal(position));
    return menu;
}

void QueueView::playNext(const QList<SongRow>& rows)
{
    // Upcoming songs move to the front, keeping their order among
    // themselves; songs from the history are queued again before them.
    std::vector<std::size_t> upcoming;
    TrackList again;
    for (const SongRow& row : rows) {
        if (row.row.kind == QueueListModel::RowKind::History) {
            again.append(row.song);
        } else if (const std::optional<std::size_t> at = upcomingPosition(row.row, row.song)) {
            upcoming.push_back(*at);
        }
    }
    std::sort(upcoming.begin(), upcoming.end());
    upcoming.erase(std::unique(upcoming.begin(), upcoming.end()), upcoming.end());
    // Each song taken from further back lands behind the ones moved before
    // it; the songs behind it keep their positions.
    for (std::size_t i = 0; i < upcoming.size(); ++i)
        m_queueEngine.move(int(upcoming[i]), int(i));
    if (!again.empty())
        m_queueEngine.playNext(again);
}

void QueueView::removeUpcoming(const QList<SongRow>& rows)
{
    std::vector<std::size_t> positions;
    for (const SongRow& row : rows) {
        if (row.row.kind != QueueListModel::RowKind::Upcoming)
            continue;
        if (const std::optional<std::size_t> at = upcomingPosition(row.row, row.song))
            positions.push_back(*at);
    }
    // From the back, so each removal leaves the positions before it alone.
    std::sort(positions.begin(), positions.end(), std::greater<>());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (const std::size_t position : positions)
        m_queueEngine.remove(int(position));
}

} // namespace varno
