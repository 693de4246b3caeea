#include "EmptyStateView.h"

#include "ui/Icons.h"

#include <QLabel>
#include <QVBoxLayout>

namespace varno {

EmptyStateView::EmptyStateView(const QString& symbol, const QString& title, const QString& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    m_icon = new QLabel(this);
    m_icon->setAlignment(Qt::AlignCenter);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("emptyStateTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_subtitle = new QLabel(this);
    m_subtitle->setObjectName(QStringLiteral("emptyStateSubtitle"));
    m_subtitle->setAlignment(Qt::AlignCenter);
    m_subtitle->setWordWrap(true);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_icon);
    layout->addSpacing(6);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addStretch(1);
    setContent(symbol, title, subtitle);
}

void EmptyStateView::setContent(const QString& symbol, const QString& title, const QString& subtitle)
{
    const QColor dimmed = palette().color(QPalette::PlaceholderText);
    m_icon->setPixmap(symbolIcon(symbol, dimmed).pixmap(44, 44));
    m_title->setText(title);
    m_subtitle->setText(subtitle);
    m_subtitle->setVisible(!subtitle.isEmpty());
}

QString EmptyStateView::title() const
{
    return m_title->text();
}

QString EmptyStateView::subtitle() const
{
    return m_subtitle->text();
}

} // namespace varno
