#include "CliRunner.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace varno;
using test::CliRun;

namespace {

class CliPlaylistFileTest : public test::DataFolderTest {
protected:
    CliRun run(const QStringList& arguments) { return test::runCliFast(arguments); }

    // A folder of music beside the playlist file: "disc/tagged.flac" and
    // "untagged.wav", to be named by relative paths.
    QString makeMusicFolder()
    {
        const QString folder = scratch(QStringLiteral("music"));
        QDir().mkpath(folder + QStringLiteral("/disc"));
        QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.flac")), folder + QStringLiteral("/disc/tagged.flac"));
        QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.wav")), folder + QStringLiteral("/untagged.wav"));
        return folder;
    }

    // The songs `playlist show` lists, without their ids.
    QStringList shown(const QString& playlist)
    {
        QStringList songs;
        for (const QString& line : run({QStringLiteral("playlist"), QStringLiteral("show"), playlist}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            songs << line.section(QLatin1Char('\t'), 1);
        return songs;
    }

    qsizetype librarySize() { return run({QStringLiteral("list")}).out.count(QLatin1Char('\n')); }
};

} // namespace

TEST_F(CliPlaylistFileTest, AnM3u8ImportsInOrderNamingWhatItSkippedAndExportsForAReimportThatAddsNoSong)
{
    const QString folder = makeMusicFolder();
    const QString absolute = test::fixturePath(QStringLiteral("formats/tagged.mp3"));
    const QString playlistFile = folder + QStringLiteral("/Road Trip.m3u8");
    test::writeFile(playlistFile, QStringLiteral("#EXTM3U\r\n"
                                                 "#EXTINF:2,Ignored - For A Tagged Song\r\n"
                                                 "disc/tagged.flac\r\n"
                                                 "#EXTINF:1,Somebody - Named By The Playlist\r\n"
                                                 "untagged.wav\r\n"
                                                 "%1\r\n"
                                                 "#EXTINF:3,Nobody - Gone\r\n"
                                                 "gone/missing.mp3\r\n"
                                                 "#EXTINF:-1,Radio\r\n"
                                                 "http://radio.example/live\r\n")
                                      .arg(absolute)
                                      .toUtf8());

    const CliRun imported = run({QStringLiteral("playlist"), QStringLiteral("import"), playlistFile});
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_EQ(imported.err, QStringLiteral("varno-cli: skipped gone/missing.mp3 (no such file)\n"
                                           "varno-cli: skipped http://radio.example/live (a stream, not a file)\n"));
    ASSERT_TRUE(imported.out.endsWith(QStringLiteral("\tRoad Trip (3 songs)\n"))) << imported.out.toStdString();
    const QString playlist = imported.out.section(QLatin1Char('\t'), 0, 0);
    EXPECT_EQ(shown(playlist), (QStringList {QStringLiteral("Tagged Title \u2014 Tagged Artist \u2014 Tagged Album (0:02)"),
                                             QStringLiteral("Named By The Playlist \u2014 Somebody (0:01)"),
                                             QStringLiteral("Tagged Title \u2014 Tagged Artist \u2014 Tagged Album (0:02)")}));
    EXPECT_EQ(librarySize(), 3);

    const QString exported = scratch(QStringLiteral("out/Road Trip.m3u8"));
    QDir().mkpath(QFileInfo(exported).path());
    const CliRun written = run({QStringLiteral("playlist"), QStringLiteral("export"), playlist, exported});
    EXPECT_EQ(written.exitCode, 0) << written.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(test::readFile(exported)),
              QStringLiteral("#EXTM3U\n"
                             "#EXTINF:2,Tagged Artist - Tagged Title\n%1\n"
                             "#EXTINF:1,Somebody - Named By The Playlist\n%2\n"
                             "#EXTINF:2,Tagged Artist - Tagged Title\n%3\n")
                  .arg(folder + QStringLiteral("/disc/tagged.flac"), folder + QStringLiteral("/untagged.wav"), absolute));

    // Every song of the exported file is in the library already.
    const CliRun again = run({QStringLiteral("playlist"), QStringLiteral("import"), exported, QStringLiteral("--name"), QStringLiteral("Again")});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.err, QString());
    EXPECT_EQ(librarySize(), 3);
    EXPECT_EQ(shown(again.out.section(QLatin1Char('\t'), 0, 0)), shown(playlist));
}

TEST_F(CliPlaylistFileTest, APlsGoesIntoAFolderByItsNumbersAndAFileOfNothingUsableMakesNoPlaylist)
{
    const QString folder = makeMusicFolder();
    const QString inside = run({QStringLiteral("playlist"), QStringLiteral("folder"), QStringLiteral("Imports")}).out.section(QLatin1Char('\t'), 0, 0);
    test::writeFile(folder + QStringLiteral("/list.pls"), "[playlist]\nFile2=disc/tagged.flac\nFile1=untagged.wav\nTitle1=Second Name\nNumberOfEntries=2\n");
    const CliRun imported = run({QStringLiteral("playlist"), QStringLiteral("import"), folder + QStringLiteral("/list.pls"), QStringLiteral("--folder"), inside});
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_TRUE(run({QStringLiteral("playlists")}).out.contains(QStringLiteral("Imports (folder, 1 playlist)\n")));
    EXPECT_EQ(shown(imported.out.section(QLatin1Char('\t'), 0, 0)),
              (QStringList {QStringLiteral("Second Name (0:01)"), QStringLiteral("Tagged Title \u2014 Tagged Artist \u2014 Tagged Album (0:02)")}));

    test::writeFile(folder + QStringLiteral("/streams.m3u"), "http://radio.example/a\nhttps://radio.example/b\n");
    const CliRun nothing = run({QStringLiteral("playlist"), QStringLiteral("import"), folder + QStringLiteral("/streams.m3u")});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_TRUE(nothing.err.endsWith(QStringLiteral("no playlist was made\n"))) << nothing.err.toStdString();
    EXPECT_EQ(run({QStringLiteral("playlist"), QStringLiteral("import"), folder + QStringLiteral("/untagged.wav")}).err,
              QStringLiteral("varno-cli: \u201Cuntagged.wav\u201D is not a playlist file: M3U (.m3u, .m3u8) or PLS (.pls).\n"));
}

TEST_F(CliPlaylistFileTest, ASmartPlaylistExportsTheSongsItsRulesMatchNow)
{
    ASSERT_EQ(run({QStringLiteral("import"), test::fixturePath(QStringLiteral("formats"))}).exitCode, 0);
    const CliRun made = run({QStringLiteral("playlist"), QStringLiteral("smart"), QStringLiteral("Tagged"), QStringLiteral("--rule"),
                             QStringLiteral("Artist is TAGGED ARTIST")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString smart = made.out.section(QLatin1Char('\t'), 0, 0);
    const qsizetype songs = shown(smart).size();
    EXPECT_GE(songs, 4);

    const QString exported = scratch(QStringLiteral("tagged.m3u8"));
    ASSERT_EQ(run({QStringLiteral("playlist"), QStringLiteral("export"), smart, exported}).exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(test::readFile(exported)).count(QStringLiteral(",Tagged Artist - Tagged Title\n")), songs);
}
