#include "BenchSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>

#include <simdjson.h>

#include <fstream>
#include <random>
#include <string>

namespace varno::bench {

std::vector<Track> syntheticLibrary(std::size_t count)
{
    std::mt19937_64 random(42);
    static const char* const genres[] = {"Rock", "Jazz", "Electronic", "Classical", "Hip-Hop", "Folk", "Ambient", "Soul"};
    std::vector<Track> tracks;
    tracks.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int artist = static_cast<int>(random() % 4000);
        const int album = static_cast<int>(random() % 9000);
        const QString filename = QStringLiteral("%1 - Song Title Number %2.flac").arg(i % 20 + 1, 2, 10, QLatin1Char('0')).arg(i);
        const QString path = QStringLiteral("/home/listener/Music/Artist %1/Album %2 (Deluxe Edition)/").arg(artist).arg(album) + filename;
        // A Linux bookmark: version, device, inode and the path, about 180 bytes.
        QByteArray bookmark = QByteArray("VBMK\x01", 5) + QByteArray(16, char(random() & 0xFF)) + path.toUtf8();
        Track t(QUuid::createUuid(), FileURL::fromLocalFile(path), filename, QStringLiteral("Song Title Number %1").arg(i),
                120.0 + static_cast<double>(random() % 300000) / 1000.0,
                Timestamp::fromSecondsSinceReferenceDate(700000000.0 + static_cast<double>(random() % 100000000) / 7.0), bookmark);
        t.artist = QStringLiteral("Artist %1").arg(artist);
        t.album = QStringLiteral("Album %1 (Deluxe Edition)").arg(album);
        t.genre = QString::fromLatin1(genres[random() % 8]);
        if (i % 3 == 0)
            t.composer = QStringLiteral("Composer %1").arg(random() % 500);
        if (i % 2 == 0)
            t.albumArtist = *t.artist;
        if (i % 10 == 0)
            t.comments = QStringLiteral("Recorded live; remastered in 2019 from the original tapes.");
        t.rating = static_cast<std::int64_t>(random() % 6);
        t.bitrate = 900 + static_cast<std::int64_t>(random() % 200);
        t.sampleRate = 44100;
        tracks.push_back(std::move(t));
    }
    return tracks;
}

std::vector<PlainTrack> bareParse(const QString& path)
{
    simdjson::padded_string text = simdjson::padded_string::load(QFile::encodeName(path).toStdString()).value();
    thread_local simdjson::ondemand::parser parser;
    simdjson::ondemand::document document = parser.iterate(text).value();
    std::vector<PlainTrack> tracks;
    for (auto element : document.get_array()) {
        PlainTrack t;
        for (auto field : element.get_object()) {
            const std::string_view key = field.unescaped_key().value();
            auto value = field.value();
            auto str = [&](std::string& out) { out = std::string(value.get_string().value()); };
            if (key == "id") str(t.id);
            else if (key == "fileURL") str(t.fileURL);
            else if (key == "filename") str(t.filename);
            else if (key == "title") str(t.title);
            else if (key == "duration") t.duration = value.get_double().value();
            else if (key == "securityScopedBookmark") str(t.bookmark);
            else if (key == "artist") str(t.artist);
            else if (key == "album") str(t.album);
            else if (key == "genre") str(t.genre);
            else if (key == "composer") str(t.composer);
            else if (key == "albumArtist") str(t.albumArtist);
            else if (key == "comments") str(t.comments);
            else if (key == "lyrics") str(t.lyrics);
            else if (key == "rating") t.rating = value.get_int64().value();
            else if (key == "bitrate") t.bitrate = value.get_int64().value();
            else if (key == "sampleRate") t.sampleRate = value.get_int64().value();
            else if (key == "year") t.year = value.get_int64().value();
            else if (key == "trackNumber") t.trackNumber = value.get_int64().value();
            else if (key == "discNumber") t.discNumber = value.get_int64().value();
            else if (key == "bpm") t.bpm = value.get_int64().value();
            else if (key == "dateAdded") t.dateAdded = value.get_double().value();
        }
        tracks.push_back(std::move(t));
    }
    return tracks;
}


namespace {

std::size_t statusField(const char* name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(name) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::stoull(line.substr(prefix.size())) * 1024;
    }
    return 0;
}

} // namespace

std::size_t peakResidentBytes()
{
    return statusField("VmHWM");
}

std::size_t residentBytes()
{
    return statusField("VmRSS");
}

void resetPeakResident()
{
    // Writing 5 resets the peak resident size to the current one.
    std::ofstream("/proc/self/clear_refs") << "5";
}

double threadCpuMilliseconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int runBenchmarks(int argc, char** argv, bool isolatePreferences)
{
    QTemporaryDir configHome;
    if (isolatePreferences)
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace varno::bench
