#include "MainWindow.h"

#include "app/DIContainer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace varno {

MainWindow::MainWindow(DIContainer& container, QWidget* parent)
    : QMainWindow(parent)
    , m_container(container)
{
    setWindowTitle(QStringLiteral("VARNO MUSIC"));
    setMinimumSize(900, 650);
    resize(1320, 820);

    auto* centre = new QWidget(this);
    auto* layout = new QVBoxLayout(centre);
    layout->setContentsMargins(0, 0, 0, 0);

    m_banner = new QWidget(centre);
    m_banner->setObjectName(QStringLiteral("recoveryBanner"));
    m_banner->setAutoFillBackground(true);
    QPalette bannerPalette = m_banner->palette();
    bannerPalette.setColor(QPalette::Window, QColor(0x5a, 0x3a, 0x12));
    m_banner->setPalette(bannerPalette);
    auto* bannerLayout = new QHBoxLayout(m_banner);
    m_bannerText = new QLabel(m_banner);
    m_bannerText->setWordWrap(true);
    auto* dismiss = new QPushButton(tr("Dismiss"), m_banner);
    bannerLayout->addWidget(m_bannerText, 1);
    bannerLayout->addWidget(dismiss);
    connect(dismiss, &QPushButton::clicked, &m_container, &DIContainer::dismissRecoveryMessage);

    auto* placeholder = new QLabel(tr("Your library will appear here."), centre);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setForegroundRole(QPalette::PlaceholderText);

    layout->addWidget(m_banner);
    layout->addWidget(placeholder, 1);
    setCentralWidget(centre);

    connect(&m_container, &DIContainer::recoveryMessageChanged, this, &MainWindow::updateRecoveryBanner);
    updateRecoveryBanner();
}

void MainWindow::updateRecoveryBanner()
{
    const std::optional<QString>& message = m_container.recoveryMessage();
    m_banner->setVisible(message.has_value());
    m_bannerText->setText(message.value_or(QString()));
}

} // namespace varno
