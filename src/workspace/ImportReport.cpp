#include "ImportReport.h"

#include <QFileInfo>
#include <QStringList>

namespace varno {

namespace {

QString songs(int count)
{
    return count == 1 ? QStringLiteral("1 song") : QStringLiteral("%1 songs").arg(count);
}

QString files(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 file was") : QStringLiteral("%1 files were").arg(count);
}

} // namespace

ImportReport reportImport(const ImportSummary& summary, const QString& failureMessage)
{
    QStringList skipped = summary.failures;
    for (const QString& path : summary.unsupported)
        skipped.append(QFileInfo(path).fileName() + QStringLiteral(": not a kind of audio file the library plays"));

    ImportReport report;
    if (skipped.isEmpty()) {
        if (summary.added > 0)
            return report;
        report.kind = ImportReport::Kind::Notice;
        report.message = QStringLiteral("No new songs were added");
        report.details = QStringLiteral("Every audio file found is in the library already, or none was found.");
        return report;
    }

    QStringList lines {files(skipped.size()) + QStringLiteral(" skipped:")};
    lines += skipped.mid(0, ImportReport::kListedFiles);
    if (skipped.size() > ImportReport::kListedFiles)
        lines.append(QStringLiteral("…and %1 more.").arg(skipped.size() - ImportReport::kListedFiles));
    report.details = lines.join(QLatin1Char('\n'));
    if (summary.added > 0) {
        report.kind = ImportReport::Kind::Notice;
        report.message = QStringLiteral("Added ") + songs(summary.added);
    } else {
        report.kind = ImportReport::Kind::Failure;
        report.message = failureMessage;
    }
    return report;
}

} // namespace varno
