#include "CliRunner.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace varno;
using test::CliRun;

namespace {

class CliPlaylistTest : public test::DataFolderTest {
protected:
    CliRun run(const QStringList& arguments) { return test::runCliFast(arguments); }

    // The first column of each output line: the ids the command printed.
    QStringList ids(const CliRun& result)
    {
        QStringList found;
        for (const QString& line : result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            found << line.section(QLatin1Char('\t'), 0, 0).section(QLatin1Char(' '), -1);
        return found;
    }

    QString store() const { return appFile(QStringLiteral("playlist_records.json")); }

    // Every command that reads the playlists, and one that would change them,
    // refuses with one line naming the file and `reason`.
    void expectRefusedSaying(const QString& reason)
    {
        for (const QStringList& arguments : {QStringList {"playlists"}, QStringList {"playlists", "--json"}, QStringList {"playlist", "create", "Mix"},
                                             QStringList {"playlist", "folder", "Road"}}) {
            SCOPED_TRACE(arguments.join(' ').toStdString());
            const CliRun result = run(arguments);
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.out, QString());
            EXPECT_EQ(result.err, QStringLiteral("Failed to load playlists: The file \u201Cplaylist_records.json\u201D could not be read: %1 (%2)\n")
                                      .arg(reason, store()));
        }
    }
};

} // namespace

TEST_F(CliPlaylistTest, BuildsATreeChangesItAndPlaysAPlaylist)
{
    ASSERT_EQ(run({QStringLiteral("import"), test::fixturePath(QStringLiteral("tree"))}).exitCode, 0);
    const QStringList songs = ids(run({QStringLiteral("list")}));
    ASSERT_EQ(songs.size(), 4);

    const QString folder = ids(run({QStringLiteral("playlist"), QStringLiteral("folder"), QStringLiteral("Road"), QStringLiteral("Trips")})).value(0);
    const QString mix = ids(run({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("Mix")})).value(0);
    ASSERT_EQ(run({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("Inside"), QStringLiteral("--folder"), folder}).exitCode, 0);
    CliRun result = run({QStringLiteral("playlist"), QStringLiteral("smart"), QStringLiteral("Jazz"), QStringLiteral("--rule"), QStringLiteral("Genre contains Jazz"),
                         QStringLiteral("--rule"), QStringLiteral("Play Count > 10"), QStringLiteral("--any")});
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("\tJazz\tGenre contains Jazz OR Play Count > 10\n"))) << result.out.toStdString();

    result = run({QStringLiteral("playlist"), QStringLiteral("add"), mix, songs[2], songs[0], songs[2]});
    EXPECT_EQ(result.out, mix + QStringLiteral("\tMix (3 songs)\n"));
    result = run({QStringLiteral("playlist"), QStringLiteral("remove"), mix, QStringLiteral("3")});
    EXPECT_EQ(result.out, mix + QStringLiteral("\tMix (2 songs)\n"));

    result = run({QStringLiteral("playlists")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.section(QLatin1Char('\n'), 0, 3).split(QLatin1Char('\n')).replaceInStrings(QRegularExpression(QStringLiteral("^[^\t]*\t")), QString()),
              (QStringList {QStringLiteral("Jazz (smart: Genre contains Jazz OR Play Count > 10, 0 songs)"), QStringLiteral("Mix (2 songs)"),
                            QStringLiteral("Road Trips (folder, 1 playlist)"), QStringLiteral("  Inside (0 songs)")}));
    result = run({QStringLiteral("playlists"), QStringLiteral("--json")});
    EXPECT_TRUE(result.out.contains(QStringLiteral("\"name\":\"Road Trips\",\"type\":\"folder\",\"isFavorite\":false,\"children\":[{")))
        << result.out.toStdString();

    // Search looks through the playlists too, by section.
    result = run({QStringLiteral("search"), QStringLiteral("MIX")});
    EXPECT_EQ(result.out, QStringLiteral("PLAYLISTS\n  %1\tMix\n").arg(mix));
    result = run({QStringLiteral("search"), QStringLiteral("inside"), QStringLiteral("--json")});
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("\"playlists\":[{\"id\":\"%1\",\"name\":\"Inside\"}]}\n")
                                        .arg(ids(run({QStringLiteral("playlists")}))[3]))) << result.out.toStdString();

    result = run({QStringLiteral("playlist"), QStringLiteral("play"), mix});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.count(QStringLiteral("Playing: ")), 2);

    // Errors print the engine's text.
    result = run({QStringLiteral("playlist"), QStringLiteral("rename"), mix, QStringLiteral(" ")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, QStringLiteral("Playlist names cannot be empty.\n"));
    result = run({QStringLiteral("playlist"), QStringLiteral("play"), folder});
    EXPECT_EQ(result.err, QStringLiteral("Cannot play a folder\n"));
    EXPECT_EQ(run({QStringLiteral("playlist"), QStringLiteral("smart"), QStringLiteral("x"), QStringLiteral("--rule"), QStringLiteral("Mood is calm")}).exitCode, 1);

    EXPECT_EQ(run({QStringLiteral("playlist"), QStringLiteral("delete"), folder}).exitCode, 0);
    EXPECT_EQ(run({QStringLiteral("playlists")}).out.count(QLatin1Char('\n')), 2);
    EXPECT_EQ(run({QStringLiteral("list")}).out.count(QLatin1Char('\n')), 4);
}

TEST_F(CliPlaylistTest, ADamagedStoreIsReportedAndLeftAlone)
{
    const QByteArray damaged = "[{\"id\":\"not an id\"}]";
    QDir().mkpath(appFolder());
    test::writeFile(appFile(QStringLiteral("playlist_records.json")), damaged);
    CliRun result = run({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("Mix")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("Failed to load playlists: playlist_records.json: item 0: key \"id\""))) << result.err.toStdString();
    EXPECT_EQ(run({QStringLiteral("playlists")}).exitCode, 1);
    EXPECT_EQ(test::readFile(appFile(QStringLiteral("playlist_records.json"))), damaged);
}

// What is at the store's place but cannot be read is not an empty store:
// every command says why and exits 1, and the thing is left as it was.
TEST_F(CliPlaylistTest, AStoreThatCannotBeReadIsReportedNotShownAsEmpty)
{
    const struct {
        const char* name;
        std::function<void(const QString&)> make;
        QString reason;
        std::function<bool(const QFileInfo&)> untouched;
    } cases[] = {
        {"a named pipe", [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
         QStringLiteral("it is a named pipe, not a regular file"),
         [](const QFileInfo& info) { return !info.isSymLink() && !info.isFile() && !info.isDir() && info.exists(); }},
        {"a folder", [](const QString& path) { QDir().mkpath(path + QStringLiteral("/inside")); }, QStringLiteral("it is a folder, not a file"),
         [](const QFileInfo& info) { return info.isDir() && QFileInfo::exists(info.filePath() + QStringLiteral("/inside")); }},
        {"a link to /dev/zero", [](const QString& path) { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path)); },
         QStringLiteral("it is a character device, not a regular file"),
         [](const QFileInfo& info) { return info.isSymLink() && info.symLinkTarget() == QStringLiteral("/dev/zero"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(appFolder()).removeRecursively();
        QDir().mkpath(appFolder());
        c.make(store());
        expectRefusedSaying(c.reason);
        EXPECT_TRUE(c.untouched(QFileInfo(store())));
    }
}

TEST_F(CliPlaylistTest, AStoreWithoutReadPermissionIsReportedAndLeftAlone)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads a file whatever its mode";
    const QByteArray content = "[]";
    QDir().mkpath(appFolder());
    test::writeFile(store(), content);
    ASSERT_EQ(::chmod(QFile::encodeName(store()).constData(), 0), 0);
    expectRefusedSaying(QStringLiteral("Permission denied"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(store()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0u);
    ::chmod(QFile::encodeName(store()).constData(), 0600);
    EXPECT_EQ(test::readFile(store()), content);
}

TEST_F(CliPlaylistTest, ASmartPlaylistShowsTheSongsItsRulesMatchAndRefusesAValueThatDoesNotFit)
{
    ASSERT_EQ(run({QStringLiteral("import"), test::fixturePath(QStringLiteral("formats"))}).exitCode, 0);
    const CliRun made = run({QStringLiteral("playlist"), QStringLiteral("smart"), QStringLiteral("Tagged"), QStringLiteral("--rule"),
                             QStringLiteral("Artist is TAGGED ARTIST"), QStringLiteral("--rule"), QStringLiteral("Album starts with tagged al")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const CliRun shown = run({QStringLiteral("playlist"), QStringLiteral("show"), ids(made).value(0)});
    const QStringList lines = shown.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_GE(lines.size(), 4);
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("%1. ").arg(i + 1)) && lines[i].contains(QStringLiteral("\tTagged Title \u2014 Tagged Artist")))
            << lines[i].toStdString();
    // The songs it lists are counted in the tree too.
    EXPECT_TRUE(run({QStringLiteral("playlists")}).out.contains(QStringLiteral("Tagged (smart: Artist is TAGGED ARTIST AND Album starts with tagged al, %1 songs)").arg(lines.size())));

    const CliRun refused = run({QStringLiteral("playlist"), QStringLiteral("smart"), QStringLiteral("Bad"), QStringLiteral("--rule"), QStringLiteral("Rating > abc")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, QStringLiteral("Rating needs a whole number, not \u201Cabc\u201D.\n"));
}
