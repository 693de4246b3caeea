#include "ImportProgressStrip.h"

#include "library/LibraryEngine.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

namespace varno {

ImportProgressStrip::ImportProgressStrip(LibraryEngine& library, QWidget* parent)
    : QWidget(parent)
    , m_library(library)
    , m_status(new QLabel(this))
    , m_file(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_cancel(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("importProgress"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 6, 14, 6);
    row->setSpacing(10);
    m_file->setForegroundRole(QPalette::PlaceholderText);
    m_file->setMinimumWidth(40);
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(6);
    m_bar->setMaximumWidth(260);
    m_cancel->setObjectName(QStringLiteral("cancelImport"));
    row->addWidget(m_status);
    row->addWidget(m_file, 1);
    row->addWidget(m_bar, 1);
    row->addWidget(m_cancel);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_library.cancelImport(); });
    connect(&m_library, &LibraryEngine::importProgressChanged, this, &ImportProgressStrip::follow);
    follow();
}

QString ImportProgressStrip::statusText() const
{
    return m_status->text();
}

void ImportProgressStrip::follow()
{
    const ImportProgress progress = m_library.importProgress();
    setVisible(progress.active);
    if (!progress.active)
        return;
    const QLocale locale;
    // A rescan's tag fill reads songs already in the library: nothing is
    // being imported.
    const QString status = progress.readingTagsOnly ? tr("Reading tags %1 of %2") : tr("Importing %1 of %2");
    m_status->setText(status.arg(locale.toString(progress.done), locale.toString(progress.total)));
    const QString name = QFileInfo(progress.currentFile).fileName();
    m_file->setText(m_file->fontMetrics().elidedText(name, Qt::ElideMiddle, std::max(40, m_file->width())));
    m_file->setToolTip(progress.currentFile);
    m_bar->setRange(0, std::max(1, progress.total));
    m_bar->setValue(std::min(progress.done, std::max(1, progress.total)));
}

} // namespace varno
