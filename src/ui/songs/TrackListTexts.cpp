#include "TrackListTexts.h"

#include <QLocale>

namespace varno::songs {

QString songCountText(qsizetype count)
{
    const QString number = QLocale().toString(static_cast<qlonglong>(count));
    return count == 1 ? number + QStringLiteral(" song") : number + QStringLiteral(" songs");
}

QString selectedCountText(qsizetype count)
{
    return QLocale().toString(static_cast<qlonglong>(count)) + QStringLiteral(" selected");
}

QString sortDescription(const QString& title, bool isSortColumn, bool ascending)
{
    const QString state = !isSortColumn ? QStringLiteral("Not selected") : ascending ? QStringLiteral("Ascending") : QStringLiteral("Descending");
    return QStringLiteral("Sort by ") + title + QStringLiteral(", ") + state;
}

QString moveColumnAnnouncement(const QString& title)
{
    return QStringLiteral("Move ") + title + QStringLiteral(" column");
}

QString resizeColumnAnnouncement(const QString& title)
{
    return QStringLiteral("Resize ") + title + QStringLiteral(" column");
}

QString playButtonLabel(const QString& title)
{
    return QStringLiteral("Play ") + title;
}

QString pauseButtonLabel(const QString& title)
{
    return QStringLiteral("Pause ") + title;
}

QString editButtonLabel(const QString& title)
{
    return QStringLiteral("Edit ") + title;
}

QString editSharedMetadataItem(qsizetype count)
{
    return QStringLiteral("Edit Shared Metadata for %1 Songs…").arg(count);
}

QString deleteConfirmationMessage(const QString& title)
{
    return QStringLiteral("“") + title
           + QStringLiteral("” will be removed from VARNO MUSIC and its original file will be deleted from disk. This cannot be undone.");
}

} // namespace varno::songs
