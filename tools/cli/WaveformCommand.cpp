#include "CliCommand.h"
#include "CliLibrary.h"

#include "media/OstrelWaveformGenerator.h"
#include "platform/Error.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace varno::cli {

namespace {

// What the player bar asks for.
constexpr int kDefaultPoints = 360;

// Lowest to highest; a silent point still shows as a thin line, so the
// drawing keeps the song's whole length.
constexpr char16_t kBars[] = u"\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588";

struct WaveformRequest {
    QString target;
    int points = kDefaultPoints;
    bool ascii = false;
};

std::optional<WaveformRequest> parseRequest(const QStringList& arguments, Console console)
{
    WaveformRequest request;
    bool haveTarget = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--ascii")) {
            request.ascii = true;
        } else if (argument == QLatin1String("--points")) {
            bool whole = false;
            request.points = i + 1 < arguments.size() ? arguments[++i].toInt(&whole) : 0;
            if (!whole) {
                console.errorLine(QStringLiteral("varno-cli: --points takes a whole number, such as 360"));
                return std::nullopt;
            }
        } else if (!haveTarget) {
            request.target = argument;
            haveTarget = true;
        } else {
            console.errorLine(QStringLiteral("varno-cli: waveform takes one file or song id, not also %1").arg(argument));
            return std::nullopt;
        }
    }
    if (!haveTarget) {
        console.errorLine(QStringLiteral("varno-cli: waveform needs a file or a song id"));
        return std::nullopt;
    }
    return request;
}

QString peaksLine(const std::vector<float>& peaks)
{
    QStringList values;
    values.reserve(static_cast<qsizetype>(peaks.size()));
    for (const float peak : peaks)
        values << QString::number(peak, 'f', 3);
    return values.join(QLatin1Char(' '));
}

QString barsLine(const std::vector<float>& peaks)
{
    QString line;
    line.reserve(static_cast<qsizetype>(peaks.size()));
    for (const float peak : peaks)
        line += QChar(kBars[std::clamp(static_cast<int>(std::lround(peak * 7.0f)), 0, 7)]);
    return line;
}

} // namespace

QCoro::Task<int> drawWaveform(QStringList arguments, Console console)
{
    const std::optional<WaveformRequest> request = parseRequest(arguments, console);
    if (!request)
        co_return 2;
    const std::unique_ptr<Library> library = co_await openLibrary(console);
    if (!library)
        co_return 1;

    const TrackList& songs = library->engine.allTracks();
    std::optional<Track> song;
    const QUuid id = QUuid::fromString(request->target);
    if (!id.isNull()) {
        const auto found = std::find_if(songs.begin(), songs.end(), [&](const Track& t) { return t.id == id; });
        if (found == songs.end()) {
            console.errorLine(QStringLiteral("varno-cli: no song with the id %1 in the library").arg(request->target));
            co_return 1;
        }
        song = *found;
    } else {
        const QFileInfo info(request->target);
        if (!info.exists()) {
            console.errorLine(QStringLiteral("varno-cli: %1: No such file or song").arg(request->target));
            co_return 1;
        }
        const FileURL url = FileURL::fromLocalFile(info.absoluteFilePath());
        const auto found = std::find_if(songs.begin(), songs.end(), [&](const Track& t) { return t.fileURL == url; });
        if (found != songs.end())
            song = *found;
    }

    // A file the library does not hold is analysed as a song of its own,
    // made up here and never imported. Its cache goes to a folder of its
    // own that is removed on exit: in the app's cache it would sit under an
    // id nothing knows, and nothing would ever remove it.
    std::optional<QTemporaryDir> privateCache;
    if (!song) {
        const QFileInfo info(request->target);
        song = Track(QUuid::createUuid(), FileURL::fromLocalFile(info.absoluteFilePath()), info.fileName(), info.completeBaseName(), 0,
                     Timestamp::now(), std::nullopt);
        privateCache.emplace();
    }

    try {
        OstrelWaveformGenerator generator(privateCache ? std::optional<QString>(privateCache->path()) : std::nullopt);
        auto generating = generator.generateWaveform(*song, request->points);
        const Waveform waveform = co_await generating;
        console.line(peaksLine(waveform.peaks));
        if (request->ascii)
            console.line(barsLine(waveform.peaks));
    } catch (const std::exception& error) {
        console.errorLine(describe(error));
        co_return 1;
    }
    co_return 0;
}

} // namespace varno::cli
