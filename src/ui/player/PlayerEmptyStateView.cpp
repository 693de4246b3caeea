#include "PlayerEmptyStateView.h"

#include "ui/player/ArtworkTile.h"
#include "ui/player/PlayerBarRules.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace varno {

PlayerEmptyStateView::PlayerEmptyStateView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("player.emptyState"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    // The same footprint as the artwork it stands in for.
    auto* icon = new ArtworkTile(48, QStringLiteral("music.note"), this);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = new QLabel(player::kEmptyTitle, this);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(12);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_subtitle = new QLabel(player::kEmptySubtitle, this);
    QFont subtitleFont = m_subtitle->font();
    subtitleFont.setPointSizeF(10.5);
    m_subtitle->setFont(subtitleFont);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    texts->addStretch(1);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    texts->addStretch(1);

    layout->addWidget(icon);
    layout->addLayout(texts, 1);
}

QString PlayerEmptyStateView::title() const
{
    return m_title->text();
}

QString PlayerEmptyStateView::subtitle() const
{
    return m_subtitle->text();
}

} // namespace varno
