// Several varno-cli processes changing one playlist at once: each change is
// made to the playlists as they are on disk when its turn comes, so none is
// lost to another process's write.

#include "CliRunner.h"
#include "TestSupport.h"

#include "platform/FileIO.h"
#include "storage/PlaylistCodec.h"

#include <QDir>
#include <QSet>

#include <memory>

using namespace varno;
using test::CliRun;

namespace {

class CliPlaylistConcurrencyTest : public test::DataFolderTest {
protected:
    // Imports `count` songs, each its own file, and returns their ids.
    QStringList importSongs(int count)
    {
        const QString folder = scratch(QStringLiteral("music"));
        QDir().mkpath(folder);
        const QString source = test::fixturePath(QStringLiteral("formats/untagged.wav"));
        for (int i = 0; i < count; ++i) {
            const QString path = folder + QStringLiteral("/%1.wav").arg(i);
            EXPECT_TRUE(QFile::link(source, path) || QFile::copy(source, path));
        }
        EXPECT_EQ(test::runCli({QStringLiteral("import"), folder}).exitCode, 0);
        QStringList ids;
        for (const QString& line : test::runCli({QStringLiteral("list")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            ids << line.section(QLatin1Char('\t'), 0, 0);
        EXPECT_EQ(ids.size(), count);
        return ids;
    }

    QString createPlaylist(const QString& name)
    {
        const CliRun run = test::runCli({QStringLiteral("playlist"), QStringLiteral("create"), name});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out.section(QLatin1Char('\t'), 0, 0);
    }

    // Starts every command at once and waits for all of them.
    static std::vector<CliRun> runAtOnce(const std::vector<QStringList>& commands)
    {
        std::vector<std::unique_ptr<QProcess>> processes;
        for (const QStringList& arguments : commands) {
            auto process = std::make_unique<QProcess>();
            process->start(QStringLiteral(VARNO_CLI_BINARY), arguments);
            process->closeWriteChannel();
            processes.push_back(std::move(process));
        }
        std::vector<CliRun> runs;
        for (const auto& process : processes) {
            EXPECT_TRUE(process->waitForFinished(60000));
            runs.push_back({process->exitCode(), QString::fromUtf8(process->readAllStandardOutput()), QString::fromUtf8(process->readAllStandardError())});
        }
        return runs;
    }

    // The stored record of one playlist.
    PlaylistRecord stored(const QString& id)
    {
        const QString path = appFile(QStringLiteral("playlist_records.json"));
        for (const PlaylistRecord& record : json::decodePlaylistRecords(fileio::readWholeFile(path).value(), "playlist_records.json")) {
            if (record.id == QUuid::fromString(id))
                return record;
        }
        ADD_FAILURE() << "no playlist " << id.toStdString();
        return {};
    }

    static QSet<QString> idsOf(const PlaylistRecord& record)
    {
        QSet<QString> ids;
        for (const QUuid& id : record.trackIDs)
            ids.insert(id.toString(QUuid::WithoutBraces).toUpper());
        return ids;
    }
};

} // namespace

TEST_F(CliPlaylistConcurrencyTest, AddsRunningAtOnceKeepEverySong)
{
    constexpr int kProcesses = 8;
    const QStringList songs = importSongs(kProcesses);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QString playlist = createPlaylist(QStringLiteral("Round %1").arg(round));
        std::vector<QStringList> commands;
        for (const QString& song : songs)
            commands.push_back({QStringLiteral("playlist"), QStringLiteral("add"), playlist, song});
        for (const CliRun& run : runAtOnce(commands)) {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_TRUE(run.out.startsWith(playlist + QStringLiteral("\tRound "))) << run.out.toStdString();
        }
        EXPECT_EQ(idsOf(stored(playlist)), QSet<QString>(songs.begin(), songs.end()));
        EXPECT_EQ(stored(playlist).trackIDs.size(), kProcesses);
    }
}

// Two removals of the first and second song shown, two renames and four
// adds, all at once. Adds append, so whatever each removal loaded, the
// songs at its position are among the first three: two of those go, the
// fourth stays, and every added song is kept.
TEST_F(CliPlaylistConcurrencyTest, AddsRenamesAndRemovalsAtOnceKeepEveryAdd)
{
    const QStringList songs = importSongs(8);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const QString playlist = createPlaylist(QStringLiteral("Mix"));
        ASSERT_EQ(test::runCli({QStringLiteral("playlist"), QStringLiteral("add"), playlist, songs[0], songs[1], songs[2], songs[3]}).exitCode, 0);
        const std::vector<CliRun> runs = runAtOnce({
            {QStringLiteral("playlist"), QStringLiteral("add"), playlist, songs[4]},
            {QStringLiteral("playlist"), QStringLiteral("remove"), playlist, QStringLiteral("1")},
            {QStringLiteral("playlist"), QStringLiteral("rename"), playlist, QStringLiteral("Night")},
            {QStringLiteral("playlist"), QStringLiteral("add"), playlist, songs[5]},
            {QStringLiteral("playlist"), QStringLiteral("remove"), playlist, QStringLiteral("2")},
            {QStringLiteral("playlist"), QStringLiteral("add"), playlist, songs[6]},
            {QStringLiteral("playlist"), QStringLiteral("rename"), playlist, QStringLiteral("Day")},
            {QStringLiteral("playlist"), QStringLiteral("add"), playlist, songs[7]},
        });
        for (const CliRun& run : runs)
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

        const PlaylistRecord record = stored(playlist);
        const QSet<QString> kept = idsOf(record);
        for (const QString& added : songs.mid(4))
            EXPECT_TRUE(kept.contains(added)) << added.toStdString();
        EXPECT_FALSE(kept.contains(songs[0]));
        EXPECT_TRUE(kept.contains(songs[3]));
        EXPECT_EQ(record.trackIDs.size(), 6);
        EXPECT_TRUE(record.name == QStringLiteral("Night") || record.name == QStringLiteral("Day")) << record.name.toStdString();
    }
}
