#include "PlayerIssueBanner.h"

#include "playback/QueueEngine.h"
#include "ui/Icons.h"
#include "ui/player/PlayerBarRules.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace varno {

namespace {

const QColor kWarningTint(0xf5, 0xb0, 0x41);

} // namespace

PlayerIssueBanner::PlayerIssueBanner(QueueEngine& queueEngine, QWidget* parent)
    : QWidget(parent)
    , m_queueEngine(queueEngine)
{
    setObjectName(QStringLiteral("player.issueBanner"));
    setAutoFillBackground(true);
    QPalette tinted = palette();
    tinted.setColor(QPalette::Window, QColor(0x4a, 0x33, 0x14));
    setPalette(tinted);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 6, 6);
    layout->setSpacing(8);
    m_icon = new QLabel(this);
    m_icon->setPixmap(symbolIcon(u"exclamationmark.triangle.fill", kWarningTint).pixmap(16, 16));
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("player.issueMessage"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_dismiss = new QToolButton(this);
    m_dismiss->setObjectName(QStringLiteral("player.issueDismiss"));
    m_dismiss->setIcon(symbolIcon(u"xmark"));
    m_dismiss->setIconSize(QSize(12, 12));
    m_dismiss->setAutoRaise(true);
    m_dismiss->setToolTip(tr("Dismiss"));
    m_dismiss->setAccessibleName(tr("Dismiss"));
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addWidget(m_message, 1);
    layout->addWidget(m_dismiss, 0, Qt::AlignTop);

    connect(m_dismiss, &QToolButton::clicked, this, [this] { m_queueEngine.clearReportedErrors(); });
    connect(&m_queueEngine, &QueueEngine::lastPlaybackErrorChanged, this, &PlayerIssueBanner::refresh);
    connect(&m_queueEngine, &QueueEngine::lastPersistenceErrorChanged, this, &PlayerIssueBanner::refresh);
    refresh();
}

QString PlayerIssueBanner::message() const
{
    return m_message->text();
}

void PlayerIssueBanner::refresh()
{
    const std::optional<QString> message = player::issueMessage(m_queueEngine.lastPlaybackError(), m_queueEngine.lastPersistenceError());
    m_message->setText(message.value_or(QString()));
    setVisible(message.has_value());
}

} // namespace varno
