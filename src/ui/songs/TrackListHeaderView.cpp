#include "TrackListHeaderView.h"

#include "ui/Icons.h"
#include "ui/songs/TrackListTexts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

TrackListHeaderView::TrackListHeaderView(const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_count(new QLabel(this))
    , m_selection(new QLabel(this))
    , m_actions(new QHBoxLayout)
    , m_editAction(new QAction(symbolIcon(u"pencil"), songs::kEditSelectionAction, this))
{
    setObjectName(QStringLiteral("songListHeader"));
    m_title->setObjectName(QStringLiteral("songListTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.7);
    titleFont.setWeight(QFont::Bold);
    m_title->setFont(titleFont);
    m_title->setVisible(!title.isEmpty());
    m_count->setObjectName(QStringLiteral("songListCount"));
    m_count->setForegroundRole(QPalette::PlaceholderText);
    m_selection->setObjectName(QStringLiteral("songListSelection"));
    QPalette accent = m_selection->palette();
    accent.setColor(QPalette::WindowText, palette().color(QPalette::Highlight).lighter(130));
    m_selection->setPalette(accent);

    auto* counts = new QHBoxLayout;
    counts->setSpacing(12);
    counts->addWidget(m_count);
    counts->addWidget(m_selection);
    counts->addStretch(1);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_title);
    texts->addLayout(counts);

    m_actions->setSpacing(6);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(20, 16, 16, 12);
    row->addLayout(texts, 1);
    row->addLayout(m_actions);
    addHeaderAction(m_editAction);
    m_editAction->setEnabled(false);
    setCounts(0, 0);
}

void TrackListHeaderView::setTitle(const QString& title)
{
    m_title->setText(title);
    // A list inside a screen that carries its own title (a playlist's) shows
    // only its counts.
    m_title->setVisible(!title.isEmpty());
}

QString TrackListHeaderView::title() const
{
    return m_title->text();
}

void TrackListHeaderView::setCounts(qsizetype trackCount, qsizetype selectionCount)
{
    m_count->setText(songs::songCountText(trackCount));
    m_selection->setText(selectionCount > 0 ? songs::selectedCountText(selectionCount) : QString());
    m_selection->setVisible(selectionCount > 0);
    m_editAction->setEnabled(selectionCount > 0);
    const QString help = selectionCount == 0   ? songs::kEditSelectionHelpNone
                         : selectionCount == 1 ? songs::kEditSelectionHelpOne
                                               : songs::editSharedMetadataItem(selectionCount);
    m_editAction->setToolTip(help);
}

QString TrackListHeaderView::countText() const
{
    return m_count->text();
}

QString TrackListHeaderView::selectionText() const
{
    return m_selection->text();
}

QWidget* TrackListHeaderView::lastActionButton() const
{
    return m_actions->count() > 0 ? m_actions->itemAt(m_actions->count() - 1)->widget() : nullptr;
}

QToolButton* TrackListHeaderView::addHeaderAction(QAction* action)
{
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setIconSize(QSize(16, 16));
    // Owners' actions go before the edit button, which stays last.
    const int at = m_actions->count() > 0 && action != m_editAction ? m_actions->count() - 1 : m_actions->count();
    m_actions->insertWidget(at, button);
    // Tab reaches the buttons in the order they are drawn.
    for (int i = 1; i < m_actions->count(); ++i)
        QWidget::setTabOrder(m_actions->itemAt(i - 1)->widget(), m_actions->itemAt(i)->widget());
    return button;
}

} // namespace varno
