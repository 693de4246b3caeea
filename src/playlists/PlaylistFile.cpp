#include "PlaylistFile.h"

#include <QDir>
#include <algorithm>
#include <utility>
#include <QFileInfo>
#include <QMap>
#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

#include <cmath>

namespace varno {

namespace {

QString decodeText(const QByteArray& bytes)
{
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(text);
    if (!utf8.hasError())
        return decoded;
    return QString::fromLatin1(text.data(), text.size());
}

QStringList linesOf(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

// "#EXTINF:123 tvg-id="a,b",Artist - Title": the title follows the first
// comma outside quotes, which attributes some writers add may hold.
std::optional<QString> extinfTitle(QStringView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (line[i] == QLatin1Char(',') && !quoted) {
            const QString title = line.sliced(i + 1).trimmed().toString();
            return title.isEmpty() ? std::nullopt : std::optional(title);
        }
    }
    return std::nullopt;
}

std::vector<PlaylistFileEntry> parseM3u(const QString& text)
{
    std::vector<PlaylistFileEntry> entries;
    std::optional<QString> pendingTitle;
    for (const QString& raw : linesOf(text)) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('#'))) {
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive))
                pendingTitle = extinfTitle(QStringView(line).sliced(8));
            continue;
        }
        entries.push_back({line, std::exchange(pendingTitle, std::nullopt)});
    }
    return entries;
}

std::vector<PlaylistFileEntry> parsePls(const QString& text)
{
    // Numbered as the file numbers them, which need not be its order.
    QMap<int, PlaylistFileEntry> byNumber;
    for (const QString& raw : linesOf(text)) {
        const QString line = raw.trimmed();
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('[')))
            continue;
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        const auto numbered = [&](QLatin1String prefix) -> std::optional<int> {
            if (!key.startsWith(prefix))
                return std::nullopt;
            bool ok = false;
            const int number = key.mid(prefix.size()).toInt(&ok);
            return ok ? std::optional(number) : std::nullopt;
        };
        if (const std::optional<int> file = numbered(QLatin1String("file")))
            byNumber[*file].location = value;
        else if (const std::optional<int> title = numbered(QLatin1String("title")); title && !value.isEmpty())
            byNumber[*title].title = value;
    }
    std::vector<PlaylistFileEntry> entries;
    for (const PlaylistFileEntry& entry : byNumber) {
        if (!entry.location.isEmpty())
            entries.push_back(entry);
    }
    return entries;
}

// Names of songs may hold anything; a line break would end the line early.
QString onOneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

std::optional<PlaylistFileFormat> playlistFileFormat(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8"))
        return PlaylistFileFormat::M3U;
    if (suffix == QLatin1String("pls"))
        return PlaylistFileFormat::PLS;
    return std::nullopt;
}

std::vector<PlaylistFileEntry> parsePlaylistFile(const QByteArray& bytes, PlaylistFileFormat format)
{
    const QString text = decodeText(bytes);
    return format == PlaylistFileFormat::PLS ? parsePls(text) : parseM3u(text);
}

std::optional<QString> localPathOf(const QString& location, const QString& folder)
{
    // A scheme of two letters or more: "C:" is a drive a file written on
    // another system names, not a URL.
    const qsizetype colon = location.indexOf(QLatin1Char(':'));
    if (colon > 1) {
        const QString scheme = location.left(colon);
        const bool isScheme = std::all_of(scheme.cbegin(), scheme.cend(), [](QChar c) {
            return c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
        });
        if (isScheme) {
            if (scheme.compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
                return std::nullopt;
            return QDir::cleanPath(QUrl(location).toLocalFile());
        }
    }
    QString path = location;
    // Written on a system whose folders are separated by backslashes.
    if (!path.contains(QLatin1Char('/')) && path.contains(QLatin1Char('\\')))
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

ArtistAndTitle splitArtistAndTitle(const QString& text)
{
    const qsizetype dash = text.indexOf(QLatin1String(" - "));
    if (dash <= 0)
        return {std::nullopt, text};
    const QString title = text.mid(dash + 3).trimmed();
    if (title.isEmpty())
        return {std::nullopt, text};
    return {text.left(dash).trimmed(), title};
}

std::string m3u8Text(const TrackList& songs)
{
    QString text = QStringLiteral("#EXTM3U\n");
    for (const Track& song : songs) {
        const long long seconds = song.duration > 0 ? std::llround(song.duration) : -1;
        const QString name = song.artist && !song.artist->isEmpty() ? *song.artist + QStringLiteral(" - ") + song.title : song.title;
        text += QStringLiteral("#EXTINF:%1,%2\n").arg(seconds).arg(onOneLine(name));
        text += onOneLine(song.fileURL.toLocalFile()) + QLatin1Char('\n');
    }
    return text.toStdString();
}

} // namespace varno
