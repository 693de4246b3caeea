#include "CliCommand.h"

#include "library/OstrelMetadataEngine.h"
#include "platform/Error.h"
#include "platform/ImageProbe.h"
#include "storage/Json.h"

#include <QFileInfo>

namespace varno::cli {

void Console::line(const QString& text) const
{
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), out);
    std::fflush(out);
}

void Console::errorLine(const QString& text) const
{
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), err);
    std::fflush(err);
}

namespace {

void optionalString(json::Writer& w, std::string_view key, const std::optional<QString>& value)
{
    if (value)
        w.key(key).string(QStringView(*value));
}

void optionalInteger(json::Writer& w, std::string_view key, const std::optional<std::int64_t>& value)
{
    if (value)
        w.key(key).integer(*value);
}

} // namespace

QCoro::Task<int> probe(QStringList files, Console console)
{
    OstrelMetadataEngine engine;
    int status = 0;
    for (const QString& file : files) {
        const FileURL url = FileURL::fromLocalFile(QFileInfo(file).absoluteFilePath());
        std::string out;
        json::Writer w(out);
        w.beginObject();
        w.key("file").string(QStringView(file));
        try {
            auto reading = engine.readMetadata(url);
            const ExtractedMetadata metadata = co_await reading;
            auto extracting = engine.extractArtwork(url);
            const std::optional<QByteArray> artwork = co_await extracting;
            w.key("duration").number(metadata.duration);
            optionalString(w, "title", metadata.title);
            optionalString(w, "artist", metadata.artist);
            optionalString(w, "album", metadata.album);
            optionalString(w, "genre", metadata.genre);
            optionalInteger(w, "year", metadata.year);
            optionalInteger(w, "trackNumber", metadata.trackNumber);
            optionalInteger(w, "discNumber", metadata.discNumber);
            optionalString(w, "composer", metadata.composer);
            optionalString(w, "albumArtist", metadata.albumArtist);
            optionalString(w, "comments", metadata.comments);
            optionalInteger(w, "bpm", metadata.bpm);
            optionalInteger(w, "bitrate", metadata.bitrate);
            optionalInteger(w, "sampleRate", metadata.sampleRate);
            w.key("artworkBytes").integer(artwork ? artwork->size() : 0);
            if (artwork)
                w.key("artworkType").string(QStringView(imageTypeOf(*artwork)));
        } catch (const std::exception& error) {
            out.clear();
            json::Writer failed(out);
            failed.beginObject();
            failed.key("file").string(QStringView(file));
            failed.key("error").string(QStringView(describe(error)));
            status = 1;
        }
        out += '}';
        console.line(QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size())));
    }
    co_return status;
}

} // namespace varno::cli
