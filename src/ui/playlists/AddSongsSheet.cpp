#include "AddSongsSheet.h"

#include "ui/playlists/AddSongsModel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace varno {

const QString AddSongsSheet::kTitle = QStringLiteral("Add Songs");
const QString AddSongsSheet::kSelectedSuffix = QStringLiteral(" selected");
const QString AddSongsSheet::kCancel = QStringLiteral("Cancel");
const QString AddSongsSheet::kAdd = QStringLiteral("Add");

namespace {

// Tick, title, and the artist beneath it, dimmed.
class SongRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kRowHeight = 42;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        const QRect rect = option.rect;
        if (option.state & QStyle::State_MouseOver) {
            QColor hover = option.palette.color(QPalette::WindowText);
            hover.setAlphaF(0.06);
            painter->fillRect(rect, hover);
        }
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        icon.paint(painter, QRect(rect.left() + 12, rect.center().y() - 9, 18, 18));

        const int textLeft = rect.left() + 42;
        const int textWidth = rect.right() - 12 - textLeft;
        QFont titleFont = option.font;
        painter->setFont(titleFont);
        painter->setPen(option.palette.color(QPalette::Text));
        const QString title = QFontMetrics(titleFont).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth);
        painter->drawText(QRect(textLeft, rect.top() + 4, textWidth, rect.height() / 2 - 2), Qt::AlignLeft | Qt::AlignBottom, title);

        QFont artistFont = option.font;
        artistFont.setPointSizeF(artistFont.pointSizeF() * 0.88);
        painter->setFont(artistFont);
        painter->setPen(option.palette.color(QPalette::PlaceholderText));
        const QString artist = QFontMetrics(artistFont).elidedText(index.data(AddSongsModel::ArtistRole).toString(), Qt::ElideRight, textWidth);
        painter->drawText(QRect(textLeft, rect.center().y() + 2, textWidth, rect.height() / 2 - 4), Qt::AlignLeft | Qt::AlignTop, artist);

        QColor separator = option.palette.color(QPalette::WindowText);
        separator.setAlphaF(0.06);
        painter->setPen(separator);
        painter->drawLine(textLeft, rect.bottom(), rect.right(), rect.bottom());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {200, kRowHeight}; }
};

} // namespace

AddSongsSheet::AddSongsSheet(QWidget* parent)
    : QDialog(parent)
    , m_model(new AddSongsModel(this))
{
    setObjectName(QStringLiteral("addSongsSheet"));
    setWindowTitle(kTitle);
    setWindowModality(Qt::WindowModal);
    resize(480, 560);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* heading = new QLabel(kTitle, this);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    heading->setContentsMargins(16, 14, 16, 10);
    layout->addWidget(heading);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("addSongsList"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new SongRowDelegate(m_list));
    // Every row has the same height, so the view never asks 100,000 rows for
    // their size.
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->installEventFilter(this);
    layout->addWidget(m_list, 1);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) { m_model->toggle(index.row()); });

    auto* footer = new QWidget(this);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(16, 10, 16, 12);
    m_countLabel = new QLabel(footer);
    m_countLabel->setObjectName(QStringLiteral("addSongsCount"));
    m_countLabel->setForegroundRole(QPalette::PlaceholderText);
    m_failureLabel = new QLabel(footer);
    m_failureLabel->setObjectName(QStringLiteral("addSongsFailure"));
    m_failureLabel->setWordWrap(true);
    QPalette failurePalette = m_failureLabel->palette();
    failurePalette.setColor(QPalette::WindowText, QColor(0xff, 0x5f, 0x57));
    m_failureLabel->setPalette(failurePalette);
    m_failureLabel->hide();
    auto* cancelButton = new QPushButton(kCancel, footer);
    cancelButton->setObjectName(QStringLiteral("addSongsCancel"));
    cancelButton->setAutoDefault(false);
    m_addButton = new QPushButton(kAdd, footer);
    m_addButton->setObjectName(QStringLiteral("addSongsAdd"));
    m_addButton->setAutoDefault(false);
    m_addButton->setToolTip(QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText));
    footerLayout->addWidget(m_countLabel);
    footerLayout->addWidget(m_failureLabel, 1);
    footerLayout->addStretch(0);
    footerLayout->addWidget(cancelButton);
    footerLayout->addWidget(m_addButton);
    layout->addWidget(footer);

    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_addButton, &QPushButton::clicked, this, &AddSongsSheet::add);
    connect(m_model, &AddSongsModel::tickedCountChanged, this, &AddSongsSheet::updateFooter);
    updateFooter();
}

QString AddSongsSheet::countText() const
{
    return QString::number(m_model->tickedCount()) + kSelectedSuffix;
}

void AddSongsSheet::updateFooter()
{
    m_countLabel->setText(countText());
    m_addButton->setEnabled(!m_adding && m_model->tickedCount() > 0);
}

void AddSongsSheet::add()
{
    if (m_adding || m_model->tickedCount() == 0)
        return;
    m_adding = true;
    updateFooter();
    emit addRequested(m_model->tickedTracks());
}

void AddSongsSheet::finishAdding()
{
    m_adding = false;
    m_failure.reset();
    m_failureLabel->hide();
    m_model->clearTicks();
    updateFooter();
    accept();
}

void AddSongsSheet::showFailure(const QString& description)
{
    m_adding = false;
    m_failure = description;
    m_failureLabel->setText(description);
    m_failureLabel->show();
    updateFooter();
}

void AddSongsSheet::keyPressEvent(QKeyEvent* event)
{
    const bool confirm = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
                         && (event->modifiers() & Qt::ControlModifier);
    if (confirm) {
        add();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool AddSongsSheet::eventFilter(QObject* watched, QEvent* event)
{
    // Space ticks the current row, as a click does.
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && m_list->currentIndex().isValid()) {
            m_model->toggle(m_list->currentIndex().row());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace varno
