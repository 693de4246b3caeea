// Writes N small tagged audio files under FOLDER, laid out like a music
// collection (FOLDER/Artist a/Album b/NN Title.ext, four formats), so a real
// import of a large library can be timed: the files a user would import.
//
//   make_music /tmp/music 100000

#include "fixtures/FixtureGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

using namespace varno;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_music FOLDER FILES\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const int count = std::stoi(argv[2]);
    QTemporaryDir sources;
    const fixtures::Signal signal {fixtures::Waveform::Sine, 0.5, 44100, 2, {0.5, 0.5}, 440.0, 1};
    const fixtures::Format formats[] = {fixtures::Format::Mp3, fixtures::Format::Flac, fixtures::Format::M4a, fixtures::Format::Ogg};
    QStringList sourceFiles;
    for (const fixtures::Format format : formats) {
        const QString source = sources.filePath(QStringLiteral("source.") + fixtures::extension(format));
        fixtures::writeAudioFile(source, format, signal, {});
        sourceFiles << source;
    }
    // About ten songs an album and eight albums an artist, in album order.
    for (int i = 0; i < count; ++i) {
        const int album = i / 10;
        const int artist = album / 8;
        const int format = album % 4;
        const QString folder = root + QStringLiteral("/Artist %1/Album %2").arg(artist).arg(album);
        if (i % 10 == 0)
            QDir().mkpath(folder);
        fixtures::Tags tags;
        tags.title = QStringLiteral("Song %1").arg(i);
        tags.artist = QStringLiteral("Artist %1").arg(artist);
        tags.album = QStringLiteral("Album %1").arg(album);
        tags.genre = QStringLiteral("Genre %1").arg(artist % 12);
        tags.year = QString::number(1960 + artist % 60);
        tags.track = QString::number(i % 10 + 1);
        const QString path = folder + QStringLiteral("/%1 Song %2.%3").arg(i % 10 + 1, 2, 10, QLatin1Char('0')).arg(i).arg(fixtures::extension(formats[format]));
        fixtures::copyWithTags(sourceFiles[format], path, tags);
    }
    return 0;
}
