#include "CliCommand.h"
#include "CliLibrary.h"

#include "media/OstrelArtworkCache.h"
#include "media/OstrelThemeEngine.h"
#include "platform/Error.h"
#include "platform/FileIO.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

#include <cmath>

namespace varno::cli {

namespace {

// The song and its cover through the app's artwork cache, so a cover the app
// already extracted is not read from the file again.
struct Cover {
    SharedTrack song;
    std::optional<QByteArray> bytes;
};

// Absent, after a line on standard error saying why, when there is no such
// song or the library or the cache cannot be used.
QCoro::Task<std::optional<Cover>> openCover(QString id, Console console)
{
    const std::optional<QUuid> songID = parseID(id, QStringLiteral("song"), console);
    if (!songID)
        co_return std::nullopt;
    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library)
        co_return std::nullopt;
    SharedTrack song = library->engine.allTracks().find(*songID);
    if (!song) {
        console.errorLine(QStringLiteral("varno-cli: no song has the id %1").arg(songID->toString(QUuid::WithoutBraces).toUpper()));
        co_return std::nullopt;
    }
    std::unique_ptr<OstrelArtworkCache> cache;
    try {
        cache = std::make_unique<OstrelArtworkCache>(CacheMetrics {}, std::nullopt, &library->metadataEngine);
    } catch (const std::exception& error) {
        console.errorLine(QStringLiteral("varno-cli: the artwork cache cannot be used: ") + describe(error));
        co_return std::nullopt;
    }
    auto retrieving = cache->retrieveArtwork(*song);
    std::optional<QByteArray> bytes = co_await retrieving;
    co_return Cover {std::move(song), std::move(bytes)};
}

QString describeImage(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    const QString format = QString::fromLatin1(reader.format()).toUpper();
    if (!size.isValid())
        return QStringLiteral("%1 bytes").arg(bytes.size());
    return QStringLiteral("%1 bytes, %2 %3\u00D7%4").arg(bytes.size()).arg(format).arg(size.width()).arg(size.height());
}

int component(double value)
{
    return int(std::lround(value * 255));
}

} // namespace

QCoro::Task<int> exportArtwork(QString id, QString outPath, Console console)
{
    const std::optional<Cover> cover = co_await openCover(id, console);
    if (!cover)
        co_return 1;
    if (!cover->bytes) {
        console.errorLine(QStringLiteral("varno-cli: \u201C%1\u201D has no artwork").arg(cover->song->title));
        co_return 1;
    }
    try {
        fileio::writeFileAtomically(QFileInfo(outPath).absoluteFilePath(), std::string_view(cover->bytes->constData(), size_t(cover->bytes->size())));
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    console.line(QStringLiteral("Wrote the artwork of \u201C%1\u201D to %2 (%3).").arg(cover->song->title, outPath, describeImage(*cover->bytes)));
    co_return 0;
}

QCoro::Task<int> printAccent(QString id, Console console)
{
    const std::optional<Cover> cover = co_await openCover(id, console);
    if (!cover)
        co_return 1;
    if (!cover->bytes)
        console.errorLine(QStringLiteral("\u201C%1\u201D has no artwork; this is the accent without one.").arg(cover->song->title));
    OstrelThemeEngine theme;
    auto extracting = theme.extractAccentColor(cover->bytes.value_or(QByteArray()));
    const StudioColor accent = co_await extracting;
    console.line(QStringLiteral("#%1%2%3 %4 %5 %6")
                     .arg(component(accent.r), 2, 16, QLatin1Char('0'))
                     .arg(component(accent.g), 2, 16, QLatin1Char('0'))
                     .arg(component(accent.b), 2, 16, QLatin1Char('0'))
                     .arg(accent.r, 0, 'f', 3)
                     .arg(accent.g, 0, 'f', 3)
                     .arg(accent.b, 0, 'f', 3)
                     .toUpper());
    co_return 0;
}

} // namespace varno::cli
