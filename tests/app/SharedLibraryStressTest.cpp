// The app and several varno-cli processes change one library at the same
// time: imports, playlist additions, removals and hearts. Afterwards the
// files on disk are counted: nothing anyone was told succeeded may be
// missing, and nothing removed may be back. VARNO_STRESS_ROUNDS repeats it
// (once by default, to keep the suite quick).

#include "BootSupport.h"
#include "TestSupport.h"

#include "app/DIContainer.h"
#include "edits/TrackEditor.h"
#include "library/LibraryEngine.h"
#include "platform/FileIO.h"
#include "playlists/PlaylistEngine.h"
#include "storage/PlaylistCodec.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QProcess>
#include <QSet>

#include <iostream>
#include <memory>

using namespace varno;

namespace {

// A process that already ended (its end seen while the app's event loop
// ran) makes waitForFinished say false.
bool finished(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(120000);
}

constexpr int kBaseSongs = 12;
constexpr int kImportingProcesses = 4;
constexpr int kSongsPerFolder = 3;
// Base songs 0..3 are added to the playlist by processes, 4..8 by the app;
// the app hearts 4..11 while processes remove 9..11.
constexpr int kFirstAppSong = 4;
constexpr int kFirstRemoved = 9;

struct Tally {
    int songsExpected = 0;
    int songsLost = 0;
    int resurrected = 0;
    int entriesExpected = 0;
    int entriesLost = 0;
    int foldersExpected = 0;
    int foldersLost = 0;
    int heartsExpected = 0;
    int heartsLost = 0;

    Tally& operator+=(const Tally& other)
    {
        songsExpected += other.songsExpected;
        songsLost += other.songsLost;
        resurrected += other.resurrected;
        entriesExpected += other.entriesExpected;
        entriesLost += other.entriesLost;
        foldersExpected += other.foldersExpected;
        foldersLost += other.foldersLost;
        heartsExpected += other.heartsExpected;
        heartsLost += other.heartsLost;
        return *this;
    }
    QString text() const
    {
        return QStringLiteral("songs %1 lost of %2, %3 resurrected; playlist entries %4 lost of %5; watched folders %6 lost of %7; hearts %8 lost of %9")
            .arg(songsLost)
            .arg(songsExpected)
            .arg(resurrected)
            .arg(entriesLost)
            .arg(entriesExpected)
            .arg(foldersLost)
            .arg(foldersExpected)
            .arg(heartsLost)
            .arg(heartsExpected);
    }
};

class SharedLibraryStressTest : public test::DataFolderTest {
protected:
    QString musicFolder(const QString& name, int songs)
    {
        const QString folder = scratch(name);
        QDir().mkpath(folder);
        for (int i = 0; i < songs; ++i)
            EXPECT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.wav")), folder + QStringLiteral("/song-%1.wav").arg(i)));
        return folder;
    }

    void start(const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(VARNO_CLI_BINARY), arguments);
        process->closeWriteChannel();
        m_running.push_back({arguments.join(QLatin1Char(' ')), std::move(process)});
    }

    // Every process to its end; the failures, one line each.
    QStringList finishProcesses()
    {
        QStringList failures;
        for (auto& [command, process] : m_running) {
            if (!finished(*process) || process->exitCode() != 0)
                failures << command + QStringLiteral(": ") + QString::fromUtf8(process->readAllStandardError()).trimmed();
        }
        m_running.clear();
        return failures;
    }

    static QString cli(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(VARNO_CLI_BINARY), arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    std::vector<Track> tracksOnDisk() const
    {
        const auto bytes = fileio::readWholeFile(m_library + QStringLiteral("/tracks.json"));
        return bytes ? json::decodeTracks(*bytes, "tracks.json") : std::vector<Track>();
    }

    std::vector<PlaylistRecord> playlistsOnDisk() const
    {
        const auto bytes = fileio::readWholeFile(m_library + QStringLiteral("/playlist_records.json"));
        return bytes ? json::decodePlaylistRecords(*bytes, "playlist_records.json") : std::vector<PlaylistRecord>();
    }

    Tally runRound(int round);

private:
    std::vector<std::pair<QString, std::unique_ptr<QProcess>>> m_running;
    // The application folder of the round being run.
    QString m_library;
};

Tally SharedLibraryStressTest::runRound(int round)
{
    // Each round has a library of its own; the processes started below
    // inherit the folder through the environment.
    const QString home = scratch(QStringLiteral("round-%1").arg(round));
    QDir().mkpath(home);
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    m_library = home + QStringLiteral("/OstrelMediaStudio");

    const QString base = musicFolder(QStringLiteral("round-%1/base").arg(round), kBaseSongs);
    cli({QStringLiteral("import"), base});
    std::vector<Track> baseSongs = tracksOnDisk();
    if (int(baseSongs.size()) != kBaseSongs) {
        ADD_FAILURE() << "the first import kept " << baseSongs.size() << " songs";
        return {};
    }
    std::sort(baseSongs.begin(), baseSongs.end(), [](const Track& a, const Track& b) { return a.filename < b.filename; });
    const QString createdLine = cli({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("Shared")});
    const QString playlistText = createdLine.section(QLatin1Char('\t'), 0, 0).trimmed();
    const QUuid playlistID(playlistText);
    EXPECT_FALSE(playlistID.isNull()) << createdLine.toStdString();
    const auto id = [&](int song) { return baseSongs[std::size_t(song)].id.toString(QUuid::WithoutBraces).toUpper(); };

    auto app = test::bootContainer();
    EXPECT_EQ(app->libraryEngine().allTracks().size(), std::size_t(kBaseSongs));

    QStringList folders;
    for (int k = 0; k < kImportingProcesses; ++k) {
        folders << musicFolder(QStringLiteral("round-%1/import-%2").arg(round).arg(k), kSongsPerFolder);
        start({QStringLiteral("import"), folders.last()});
    }
    for (int song = 0; song < kFirstAppSong; ++song)
        start({QStringLiteral("playlist"), QStringLiteral("add"), playlistText, id(song)});
    std::vector<std::unique_ptr<QProcess>> removals;
    for (int song = kFirstRemoved; song < kBaseSongs; ++song) {
        removals.push_back(std::make_unique<QProcess>());
        removals.back()->start(QStringLiteral(VARNO_CLI_BINARY), {QStringLiteral("remove"), id(song)});
        removals.back()->closeWriteChannel();
    }

    // The app works through its own changes while the processes run, each
    // against the library as it has it at that moment.
    for (int song = kFirstAppSong; song < kFirstRemoved; ++song) {
        test::await(app->trackEditor().setFavorite(baseSongs[std::size_t(song)].id, true));
        const SharedTrack current = app->libraryEngine().allTracks().find(baseSongs[std::size_t(song)].id);
        EXPECT_TRUE(current);
        if (current)
            test::await(app->playlistEngine().addTracks(TrackList {*current}, playlistID));
    }
    // A heart on a removed song the moment its removal is on disk, before
    // the app has taken the change in: the window in which an edit of a
    // stale copy would bring the song back.
    for (std::size_t i = 0; i < removals.size(); ++i) {
        EXPECT_TRUE(finished(*removals[i]));
        EXPECT_EQ(removals[i]->exitCode(), 0) << removals[i]->readAllStandardError().toStdString();
        try {
            test::await(app->trackEditor().setFavorite(baseSongs[std::size_t(kFirstRemoved) + i].id, true));
        } catch (const std::exception&) {
            // Refused, as it must be once the song is gone.
        }
    }
    const QStringList failures = finishProcesses();
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
    test::await(app->playlistEngine().waitForPendingOperations());

    // The app takes in what the others wrote, and agrees with the disk.
    const std::size_t expectedSongs = std::size_t(kFirstRemoved + kImportingProcesses * kSongsPerFolder);
    EXPECT_TRUE(test::waitUntil([&] { return app->libraryEngine().allTracks().size() == expectedSongs; }))
        << app->libraryEngine().allTracks().size();
    app->finishBackgroundWork();
    app.reset();

    Tally tally;
    const std::vector<Track> kept = tracksOnDisk();
    QSet<QUuid> keptIDs;
    QSet<QString> keptFiles;
    for (const Track& track : kept) {
        keptIDs.insert(track.id);
        keptFiles.insert(track.fileURL.toLocalFile());
    }
    tally.songsExpected = int(expectedSongs);
    for (int song = 0; song < kFirstRemoved; ++song)
        tally.songsLost += keptIDs.contains(baseSongs[std::size_t(song)].id) ? 0 : 1;
    for (const QString& folder : folders)
        for (int i = 0; i < kSongsPerFolder; ++i)
            tally.songsLost += keptFiles.contains(folder + QStringLiteral("/song-%1.wav").arg(i)) ? 0 : 1;
    for (int song = kFirstRemoved; song < kBaseSongs; ++song)
        tally.resurrected += keptIDs.contains(baseSongs[std::size_t(song)].id) ? 1 : 0;

    tally.heartsExpected = kFirstRemoved - kFirstAppSong;
    for (const Track& track : kept) {
        for (int song = kFirstAppSong; song < kFirstRemoved; ++song)
            if (track.id == baseSongs[std::size_t(song)].id && !isFavorite(track.rating))
                ++tally.heartsLost;
    }

    tally.entriesExpected = kFirstRemoved;
    QSet<QUuid> entries;
    for (const PlaylistRecord& record : playlistsOnDisk())
        if (record.id == playlistID)
            for (const QUuid& entry : record.trackIDs)
                entries.insert(entry);
    for (int song = 0; song < kFirstRemoved; ++song)
        tally.entriesLost += entries.contains(baseSongs[std::size_t(song)].id) ? 0 : 1;

    tally.foldersExpected = kImportingProcesses + 1;
    const QByteArray watched = test::readFile(m_library + QStringLiteral("/watched_folders.json"));
    for (const QString& folder : folders + QStringList {base})
        tally.foldersLost += watched.contains(QUrl::fromLocalFile(folder).toEncoded()) || watched.contains(folder.toUtf8()) ? 0 : 1;
    return tally;
}

} // namespace

TEST_F(SharedLibraryStressTest, TheAppAndManyProcessesLoseNothingAndBringNothingBack)
{
    const int rounds = std::max(1, qEnvironmentVariableIntValue("VARNO_STRESS_ROUNDS"));
    Tally total;
    for (int round = 0; round < rounds; ++round) {
        const Tally tally = runRound(round);
        std::cout << "[ stress   ] round " << round + 1 << ": " << tally.text().toStdString() << std::endl;
        total += tally;
    }
    if (rounds > 1)
        std::cout << "[ stress   ] all " << rounds << " rounds: " << total.text().toStdString() << std::endl;
    EXPECT_EQ(total.songsLost, 0);
    EXPECT_EQ(total.resurrected, 0);
    EXPECT_EQ(total.entriesLost, 0);
    EXPECT_EQ(total.foldersLost, 0);
    EXPECT_EQ(total.heartsLost, 0);
}
