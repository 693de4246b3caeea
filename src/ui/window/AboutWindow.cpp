#include "AboutWindow.h"

#include "ui/Icons.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace varno {

const QString AboutWindow::kTitle = QStringLiteral("About VARNO MUSIC");
const QString AboutWindow::kIdentifier = QStringLiteral("about");

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(kIdentifier);
    setWindowTitle(kTitle);
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 28, 36, 24);
    layout->setSpacing(8);
    auto* icon = new QLabel(this);
    icon->setPixmap(symbolIcon(u"waveform", palette().color(QPalette::Highlight)).pixmap(56, 56));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("VARNO MUSIC"), this);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    nameFont.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    name->setFont(nameFont);
    name->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(tr("Version %1").arg(QApplication::applicationVersion()), this);
    version->setAlignment(Qt::AlignCenter);
    version->setForegroundRole(QPalette::PlaceholderText);
    auto* blurb = new QLabel(tr("Your music library on your own machine: every song, playlist and edit kept "
                                "safely in the app, never written back into your files."),
                             this);
    blurb->setWordWrap(true);
    blurb->setAlignment(Qt::AlignCenter);
    blurb->setFixedWidth(300);
    auto* close = new QPushButton(tr("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(6);
    layout->addWidget(blurb);
    layout->addSpacing(10);
    layout->addWidget(close, 0, Qt::AlignCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void AboutWindow::present()
{
    if (!m_placed) {
        adjustSize();
        if (const QScreen* screen = QApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

} // namespace varno
