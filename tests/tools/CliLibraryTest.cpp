#include "CliRunner.h"
#include "TestSupport.h"

#include "platform/FileIO.h"
#include "storage/StateCodecs.h"
#include "storage/TrackSnapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace varno;
using test::CliRun;

namespace {

class CliLibraryTest : public test::DataFolderTest {
protected:
    CliRun run(const QStringList& arguments) { return test::runCli(arguments); }
};

} // namespace

TEST_F(CliLibraryTest, ImportListSearchAndRestoreShareTheAppsLibrary)
{
    CliRun result = run({QStringLiteral("import"), test::fixturePath(QStringLiteral("tree"))});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("Imported 4 songs; the library holds 4.\n"));

    result = run({QStringLiteral("import"), test::fixturePath(QStringLiteral("formats/tagged.ogg")), test::fixturePath(QStringLiteral("bad/random.mp3"))});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("Some files could not be imported:\nrandom.mp3: "))) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("Imported 1 songs; the library holds 5.\n"));

    // --json prints exactly what the tracks file holds.
    result = run({QStringLiteral("list"), QStringLiteral("--json")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.toUtf8(), test::readFile(appFile(QStringLiteral("tracks.json"))) + '\n');
    EXPECT_EQ(run({QStringLiteral("list")}).out.count(QLatin1Char('\n')), 5);

    result = run({QStringLiteral("search"), QStringLiteral("tagged")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains(QStringLiteral("\tTagged Title \u2014 Tagged Artist \u2014 Tagged Album (0:02)\n"))) << result.out.toStdString();
    EXPECT_EQ(run({QStringLiteral("search"), QStringLiteral("nothing like this")}).exitCode, 1);

    // The backup is the library before the last import.
    EXPECT_EQ(run({QStringLiteral("restore-backup")}).exitCode, 0);
    EXPECT_EQ(run({QStringLiteral("list")}).out.count(QLatin1Char('\n')), 4);
}

TEST_F(CliLibraryTest, SearchReadsAnIntactSnapshotOfTheLibraryOnDiskAndOtherwiseLoadsIt)
{
    ASSERT_EQ(run({QStringLiteral("import"), test::fixturePath(QStringLiteral("tree")), test::fixturePath(QStringLiteral("formats/tagged.ogg"))}).exitCode, 0);
    ASSERT_EQ(run({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("Tagged favourites")}).exitCode, 0);
    // The import's snapshot was written as the command ended.
    const QString snapshotPath = appFile(QStringLiteral("LibraryCache/tracks.snapshot"));
    ASSERT_TRUE(QFileInfo::exists(snapshotPath));

    const QStringList search {QStringLiteral("search"), QStringLiteral("tagged"), QStringLiteral("--json")};
    const CliRun fromSnapshot = run(search);
    EXPECT_EQ(fromSnapshot.exitCode, 0) << fromSnapshot.err.toStdString();
    EXPECT_TRUE(fromSnapshot.out.contains(QStringLiteral("\"name\":\"Tagged favourites\""))) << fromSnapshot.out.toStdString();
    QFile::remove(snapshotPath);
    const CliRun loaded = run(search);
    EXPECT_EQ(loaded.out, fromSnapshot.out);
    EXPECT_EQ(loaded.err, fromSnapshot.err);
    // The load wrote a snapshot for the next search.
    EXPECT_TRUE(QFileInfo::exists(snapshotPath));

    // A snapshot of the file on disk is what a search reads: one with a title
    // of its own shows it.
    const QString tracksPath = appFile(QStringLiteral("tracks.json"));
    std::vector<Track> songs = json::decodeTracks(*fileio::readWholeFile(tracksPath), "tracks.json");
    songs[0].title = QStringLiteral("Only In The Snapshot");
    ASSERT_TRUE(snapshot::write(snapshotPath, TrackList(songs), fileio::versionOf(tracksPath)));
    EXPECT_TRUE(run({QStringLiteral("search"), QStringLiteral("only in the")}).out.contains(QStringLiteral("Only In The Snapshot")));

    // Damaged, it is passed over for the file.
    QByteArray damaged = test::readFile(snapshotPath);
    damaged[damaged.size() - 9] = char(damaged[damaged.size() - 9] ^ 0x40);
    test::writeFile(snapshotPath, damaged);
    EXPECT_EQ(run(search).out, fromSnapshot.out);
    EXPECT_EQ(run({QStringLiteral("search"), QStringLiteral("only in the")}).exitCode, 1);
}

TEST_F(CliLibraryTest, RescanReportsWhatChangedInWatchedFolders)
{
    const QString folder = scratch(QStringLiteral("music"));
    QDir().mkpath(folder);
    QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), folder + QStringLiteral("/a.mp3"));
    ASSERT_EQ(run({QStringLiteral("import"), folder}).exitCode, 0);
    QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.flac")), folder + QStringLiteral("/b.flac"));
    QFile::remove(folder + QStringLiteral("/a.mp3"));
    const CliRun result = run({QStringLiteral("rescan")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QStringLiteral("Added 1 songs; 1 files missing.\n"));
}

TEST_F(CliLibraryTest, RescanFillsInWhatSongsImportedBeforeTheTagFieldsLack)
{
    ASSERT_EQ(run({QStringLiteral("import"), test::fixturePath(QStringLiteral("formats/tagged.flac"))}).exitCode, 0);
    // The library as a version that did not read the year, numbers,
    // comments and BPM wrote it.
    const QString tracksFile = appFile(QStringLiteral("tracks.json"));
    QByteArray library = test::readFile(tracksFile);
    for (const char* field : {R"("year":1999,)", R"("trackNumber":3,)", R"("discNumber":1,)", R"("comments":"Tagged comment",)", R"("bpm":120,)",
                              R"(,"tagFieldsRead":true)"}) {
        ASSERT_TRUE(library.contains(field)) << field;
        library.replace(field, "");
    }
    test::writeFile(tracksFile, library);

    CliRun result = run({QStringLiteral("rescan")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("Added 0 songs; 0 files missing; 1 songs filled in from their tags.\n"));
    const QString listed = run({QStringLiteral("list"), QStringLiteral("--json")}).out;
    EXPECT_TRUE(listed.contains(QStringLiteral(R"("genre":"Tagged Genre","year":1999,"trackNumber":3,"discNumber":1,)"))) << listed.toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral(R"(,"tagFieldsRead":true}])"))) << listed.toStdString();
    EXPECT_EQ(run({QStringLiteral("rescan")}).out, QStringLiteral("Added 0 songs; 0 files missing.\n"));
}

TEST_F(CliLibraryTest, RemoveKeepsOrDeletesTheFile)
{
    const QString folder = scratch(QStringLiteral("music"));
    QDir().mkpath(folder);
    for (const char* name : {"/a.mp3", "/b.mp3"})
        QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), folder + QLatin1String(name));
    ASSERT_EQ(run({QStringLiteral("import"), folder}).exitCode, 0);
    QStringList ids;
    for (const QString& line : run({QStringLiteral("list")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        ids << line.section(QLatin1Char('\t'), 0, 0);
    ASSERT_EQ(ids.size(), 2);

    CliRun result = run({QStringLiteral("remove"), ids[0]});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    result = run({QStringLiteral("remove"), ids[1], QStringLiteral("--delete-file")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(run({QStringLiteral("list")}).out, QString());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(run({QStringLiteral("remove"), ids[0]}).exitCode, 1);
}

// `list --sort` prints the order the song list shows for that column: an
// album by disc and track, whichever way the column sorts.
TEST_F(CliLibraryTest, ListSortsLikeTheSongList)
{
    const auto song = [](const char* title, const char* album, std::int64_t disc, std::int64_t track) {
        Track t = test::makeTrack(QString::fromUtf8(title));
        t.album = QString::fromUtf8(album);
        t.discNumber = disc;
        t.trackNumber = track;
        return t;
    };
    const TrackList library {song("Ten", "Glass Harbour", 1, 10), song("Coda", "Glass Harbour", 2, 1), song("Morning", "Acoustic", 1, 1),
                             song("Two", "Glass Harbour", 1, 2)};
    QDir().mkpath(appFolder());
    json::writeTracksFile(appFile(QStringLiteral("tracks.json")), library);
    const auto titles = [&](const QStringList& arguments) {
        const CliRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        QStringList found;
        for (const QString& line : result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            found << line.section(QLatin1Char('\t'), 1).section(QStringLiteral(" \u2014 "), 0, 0);
        return found;
    };
    EXPECT_EQ(titles({QStringLiteral("list"), QStringLiteral("--sort"), QStringLiteral("album")}),
              (QStringList {QStringLiteral("Morning"), QStringLiteral("Two"), QStringLiteral("Ten"), QStringLiteral("Coda")}));
    EXPECT_EQ(titles({QStringLiteral("list"), QStringLiteral("--sort"), QStringLiteral("album:desc")}),
              (QStringList {QStringLiteral("Two"), QStringLiteral("Ten"), QStringLiteral("Coda"), QStringLiteral("Morning")}));
    // Without --sort: library order.
    EXPECT_EQ(titles({QStringLiteral("list")}), test::titlesOf(library));

    const CliRun json = run({QStringLiteral("list"), QStringLiteral("--sort"), QStringLiteral("trackNumber"), QStringLiteral("--json")});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_LT(json.out.indexOf(QStringLiteral("\"Morning\"")), json.out.indexOf(QStringLiteral("\"Coda\"")));

    const CliRun wrong = run({QStringLiteral("list"), QStringLiteral("--sort"), QStringLiteral("rating")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.startsWith(QStringLiteral("varno-cli: cannot sort by 'rating': give a column (title, artist, album, "))) << wrong.err.toStdString();
    EXPECT_EQ(run({QStringLiteral("list"), QStringLiteral("--sort")}).exitCode, 2);
}
