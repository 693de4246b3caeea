#include "NowPlayingMetadataDetailsView.h"

#include <QGridLayout>
#include <QLabel>

namespace varno {

NowPlayingMetadataDetailsView::NowPlayingMetadataDetailsView(QWidget* parent)
    : QWidget(parent)
    , m_grid(new QGridLayout(this))
{
    setObjectName(QStringLiteral("nowPlayingDetails"));
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setVerticalSpacing(5);
    m_grid->setColumnStretch(1, 1);
}

void NowPlayingMetadataDetailsView::setTrack(const Track& track)
{
    QList<inspector::DetailRow> rows = inspector::detailRows(track);
    if (rows == m_rows)
        return;
    m_rows = std::move(rows);
    while (QLayoutItem* item = m_grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    int row = 0;
    for (const inspector::DetailRow& detail : std::as_const(m_rows)) {
        auto* label = new QLabel(detail.label, this);
        label->setForegroundRole(QPalette::PlaceholderText);
        auto* value = new QLabel(detail.value, this);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setWordWrap(true);
        m_grid->addWidget(label, row, 0, Qt::AlignTop);
        m_grid->addWidget(value, row, 1);
        ++row;
    }
}

} // namespace varno
