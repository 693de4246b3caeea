#include "DemoLibrary.h"

#include "app/DIContainer.h"
#include "fixtures/FixtureGenerator.h"
#include "storage/SmartRule.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <array>

namespace varno::screenshots {

namespace {

constexpr std::array kArtists {"Marla Kvist", "The Low Orbit", "Ondine Ferreira", "Kasimir & the Tides", "Halvard",
                               "Nora Beaumont", "Static Gardens", "Juniper Vale"};
constexpr std::array kAlbums {"Northern Lights", "Concrete Bloom", "Slow Machines", "Paper Harbour", "After Hours",
                              "Glass Cathedral", "Small Hours", "Blue Meridian", "Night Ferry", "Dust & Neon",
                              "Orchard", "Weather Systems"};
constexpr std::array kTitles {"Afterglow", "Signal Fire", "Pale Blue", "Undertow", "Quiet Engines", "Lanterns",
                              "Halcyon", "Satellite Hearts", "Low Tide", "Glasshouse", "Monochrome", "Paper Planes",
                              "Driftwood", "Static", "Nightswim", "Copper Sky", "Open Roads", "Kites", "Vapour",
                              "Harbour Lights", "Slow Burn", "Meridian", "Echo Park", "First Light"};
constexpr std::array kGenres {"Indie", "Electronic", "Jazz", "Ambient", "Rock", "Soul"};

// A cover in the album's colours: a diagonal gradient with a soft circle, so
// thumbnails are told apart at a glance.
QByteArray coverFor(int album)
{
    QImage image(600, 600, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor first = QColor::fromHsv((album * 47) % 360, 170, 200);
    const QColor second = QColor::fromHsv((album * 47 + 70) % 360, 200, 90);
    QLinearGradient gradient(0, 0, 600, 600);
    gradient.setColorAt(0, first);
    gradient.setColorAt(1, second);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 60));
    painter.drawEllipse(QPointF(180 + album * 23 % 240, 220 + album * 37 % 200), 150, 150);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

} // namespace

void writeDemoMusic(const QString& folder, int songs, double recordingSeconds)
{
    QTemporaryDir sources;
    const int albums = int(kAlbums.size());
    QStringList recordings;
    // One recording an album: its cover is embedded once and kept by every
    // tagged copy. Low-rate mono keeps a few hundred files small.
    for (int album = 0; album < albums; ++album) {
        fixtures::Signal signal;
        signal.waveform = fixtures::Waveform::Song;
        signal.seconds = recordingSeconds > 0 ? recordingSeconds : 130 + (album * 29) % 200;
        signal.sampleRate = 22050;
        signal.channels = 1;
        signal.levels = {0.8};
        signal.frequency = 220.0 + album * 20;
        signal.seed = std::uint32_t(album + 3);
        const fixtures::Format format = album % 3 == 0 ? fixtures::Format::Flac : fixtures::Format::Mp3;
        const QString path = sources.filePath(QStringLiteral("album%1.%2").arg(album).arg(fixtures::extension(format)));
        fixtures::writeAudioFile(path, format, signal, {}, {{coverFor(album), QStringLiteral("image/jpeg")}},
                                 format == fixtures::Format::Mp3 ? 32 : 0);
        recordings << path;
    }
    for (int i = 0; i < songs; ++i) {
        const int album = i % albums;
        const int artist = album % int(kArtists.size());
        const int number = i / albums + 1;
        fixtures::Tags tags;
        tags.title = QString::fromUtf8(kTitles[std::size_t((i * 7 + album) % int(kTitles.size()))]);
        if (i >= int(kTitles.size()))
            *tags.title += QStringLiteral(" (Part %1)").arg(i / int(kTitles.size()) + 1);
        tags.artist = QString::fromUtf8(kArtists[std::size_t(artist)]);
        tags.album = QString::fromUtf8(kAlbums[std::size_t(album)]);
        tags.genre = QString::fromUtf8(kGenres[std::size_t(album % int(kGenres.size()))]);
        tags.year = QString::number(1994 + (album * 3) % 30);
        tags.track = QString::number(number);
        const QString albumFolder = folder + QLatin1Char('/') + *tags.artist + QLatin1Char('/') + *tags.album;
        QDir().mkpath(albumFolder);
        const QString suffix = QFileInfo(recordings[album]).suffix();
        fixtures::copyWithTags(recordings[album], albumFolder + QStringLiteral("/%1 %2.%3").arg(number, 2, 10, QLatin1Char('0')).arg(*tags.title, suffix),
                               tags);
    }
}

QCoro::Task<> fillDemoLibrary(DIContainer& container, QString folder)
{
    LibraryEngine& library = container.libraryEngine();
    auto adding = library.addFolders({FileURL::fromLocalFile(folder)});
    co_await adding;

    const TrackList& all = library.allTracks();
    std::vector<Track> rated;
    for (std::size_t i = 0; i < all.size(); ++i) {
        Track track = all[i];
        if (i % 9 == 0)
            track.rating = 5;
        else if (i % 5 == 0)
            track.rating = int(i % 3) + 1;
        else
            continue;
        rated.push_back(std::move(track));
    }
    auto rating = library.updateTracks(std::move(rated));
    co_await rating;

    PlaylistEngine& playlists = container.playlistEngine();
    const TrackList songs = library.allTracks();
    auto makeDrive = playlists.createPlaylist(kShowcasePlaylist);
    const Playlist drive = co_await makeDrive;
    TrackList driveSongs;
    for (std::size_t i = 3; i < songs.size() && driveSongs.size() < 18; i += 7)
        driveSongs.append(songs.shared(i));
    auto fillDrive = playlists.addTracks(driveSongs, drive.id);
    co_await fillDrive;
    auto makeFocus = playlists.createPlaylist(QStringLiteral("Focus"));
    const Playlist focus = co_await makeFocus;
    TrackList focusSongs;
    for (std::size_t i = 1; i < songs.size() && focusSongs.size() < 12; i += 11)
        focusSongs.append(songs.shared(i));
    auto fillFocus = playlists.addTracks(focusSongs, focus.id);
    co_await fillFocus;
    auto makeSunday = playlists.createPlaylist(QStringLiteral("Sunday Morning"));
    co_await makeSunday;

    SmartRule rule;
    rule.property = SmartRuleProperty::Genre;
    rule.condition = SmartRuleCondition::Contains;
    rule.value = QStringLiteral("Jazz");
    auto makeSmart = playlists.createSmartPlaylist(QStringLiteral("All the Jazz"), smartCriteriaText({rule}, true));
    co_await makeSmart;
    auto makeFolder = playlists.createFolder(kShowcaseFolder);
    const Playlist archive = co_await makeFolder;
    // Filled at the top level, then moved into the folder, as a user drags
    // a playlist there.
    const QStringList innerNames {kFolderedPlaylist, QStringLiteral("Winter 2018")};
    for (qsizetype n = 0; n < innerNames.size(); ++n) {
        const std::size_t from = 2 + 3 * std::size_t(n);
        auto makeInner = playlists.createPlaylist(innerNames[n]);
        const Playlist inner = co_await makeInner;
        TrackList innerSongs;
        for (std::size_t i = from; i < songs.size() && innerSongs.size() < 14; i += 5)
            innerSongs.append(songs.shared(i));
        auto fillInner = playlists.addTracks(innerSongs, inner.id);
        co_await fillInner;
        auto moving = playlists.move(inner.id, archive.id, 99);
        co_await moving;
    }
}

} // namespace varno::screenshots
