// Several varno-cli processes changing one library at once, and the library
// commands on data folders and libraries they cannot use.

#include "CliRunner.h"
#include "TestSupport.h"

#include "platform/FileIO.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace varno;
using test::CliRun;

namespace {

class CliConcurrencyTest : public test::DataFolderTest {
protected:
    // A folder of `count` small audio files, each a different path.
    QString musicFolder(const QString& name, int count)
    {
        const QString folder = scratch(name);
        QDir().mkpath(folder);
        const QString source = test::fixturePath(QStringLiteral("formats/untagged.wav"));
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(QFile::link(source, folder + QStringLiteral("/%1.wav").arg(i)) || QFile::copy(source, folder + QStringLiteral("/%1.wav").arg(i)));
        return folder;
    }

    // Runs one `varno-cli import` per folder, all at once.
    std::vector<CliRun> importAtOnce(const QStringList& folders)
    {
        std::vector<QStringList> commands;
        for (const QString& folder : folders)
            commands.push_back({QStringLiteral("import"), folder});
        return test::runCliAtOnce(commands);
    }

    std::vector<Track> library() { return json::decodeTracks(fileio::readWholeFile(appFile(QStringLiteral("tracks.json"))).value(), "tracks.json"); }
};

struct Counts {
    int imported = -1;
    int held = -1;
};

Counts countsOf(const CliRun& run)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^Imported (\\d+) songs; the library holds (\\d+)\\.\\n$")).match(run.out);
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toInt(), match.captured(2).toInt()};
}

} // namespace

TEST_F(CliConcurrencyTest, ImportsRunningAtOnceLoseNothingAndCountRight)
{
    constexpr int kProcesses = 4;
    constexpr int kFiles = 12;
    QStringList folders;
    for (int p = 0; p < kProcesses; ++p)
        folders << musicFolder(QStringLiteral("music%1").arg(p), kFiles);

    for (int round = 0; round < 4; ++round) {
        QDir(appFolder()).removeRecursively();
        const std::vector<CliRun> runs = importAtOnce(folders);
        QSet<int> holds;
        for (const CliRun& run : runs) {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            const Counts counts = countsOf(run);
            EXPECT_EQ(counts.imported, kFiles) << run.out.toStdString();
            // Each count was taken inside its own write, so no two agree.
            holds.insert(counts.held);
        }
        EXPECT_EQ(holds.size(), kProcesses) << "round " << round;
        EXPECT_EQ(*std::max_element(holds.begin(), holds.end()), kProcesses * kFiles);

        QSet<QString> files;
        for (const Track& track : library())
            files.insert(track.fileURL.toLocalFile());
        ASSERT_EQ(files.size(), kProcesses * kFiles) << "round " << round;
        EXPECT_EQ(library().size(), std::size_t(kProcesses * kFiles));
    }
}

TEST_F(CliConcurrencyTest, TwoImportsOfOneFolderAddEachFileOnce)
{
    const QString folder = musicFolder(QStringLiteral("shared"), 10);
    const std::vector<CliRun> runs = importAtOnce({folder, folder});
    EXPECT_EQ(countsOf(runs[0]).imported + countsOf(runs[1]).imported, 10) << runs[0].out.toStdString() << runs[1].out.toStdString();
    EXPECT_EQ(library().size(), 10u);
}

TEST_F(CliConcurrencyTest, EveryCommandEndsWithAMessageWhenTheDataFolderCannotBeMade)
{
    test::writeFile(scratch(QStringLiteral("a-file")), "x");
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch(QStringLiteral("a-file")));
    const QString folder = musicFolder(QStringLiteral("music"), 1);
    for (const QStringList& arguments : {QStringList {"list"}, QStringList {"import", folder}, QStringList {"search", "x"}, QStringList {"rescan"},
                                         QStringList {"remove", QUuid::createUuid().toString()}}) {
        const CliRun run = test::runCli(arguments, environment);
        EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("varno-cli: the library folder cannot be used: The file \u201COstrelMediaStudio\u201D could not be created: Not a directory")))
            << run.err.toStdString();
    }
}

TEST_F(CliConcurrencyTest, ALibraryThatCannotBeLoadedStopsEveryCommandWithOneMessage)
{
    const QString folder = musicFolder(QStringLiteral("music"), 1);
    ASSERT_EQ(test::runCli({QStringLiteral("import"), folder}).exitCode, 0);
    const QString tracks = appFile(QStringLiteral("tracks.json"));

    // Damaged, and then a folder in the file's place.
    for (const auto& spoil : {std::function<void()>([&] { test::writeFile(tracks, "[{\"id\":"); }), std::function<void()>([&] {
             QFile::remove(tracks);
             QDir().mkpath(tracks);
         })}) {
        spoil();
        for (const QStringList& arguments : {QStringList {"list"}, QStringList {"import", folder}, QStringList {"search", "x"}, QStringList {"rescan"}}) {
            const CliRun run = test::runCli(arguments);
            EXPECT_EQ(run.exitCode, 1) << arguments.join(' ').toStdString();
            EXPECT_EQ(run.out, QString()) << arguments.join(' ').toStdString();
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("LibraryEngine failed to load tracks: "))) << run.err.toStdString();
            EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
        }
    }
}

TEST_F(CliConcurrencyTest, FilesOfOtherTypesAreNamedWithTheReason)
{
    const QString folder = musicFolder(QStringLiteral("music"), 1);
    for (const char* name : {"/a.opus", "/b.opus", "/c.ape", "/cover.jpg"})
        test::writeFile(folder + QLatin1String(name), "x");
    CliRun run = test::runCli({QStringLiteral("import"), folder});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("Imported 1 songs; the library holds 1.\n"));
    EXPECT_EQ(run.err, QStringLiteral("Left out 3 audio files of types the library does not take (.ape, .opus \u00D72): "
                                      "the library takes only mp3, m4a, wav, flac, aac, ogg, wma and aiff files.\n"));

    run = test::runCli({QStringLiteral("import"), folder + QStringLiteral("/a.opus")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("Some files could not be imported:\na.opus: the library takes only mp3, m4a, wav, flac, aac, ogg, wma and aiff files\n"));
    EXPECT_EQ(run.out, QStringLiteral("Imported 0 songs; the library holds 1.\n"));
}

TEST_F(CliConcurrencyTest, FolderItemsThatCannotBeReadAreNamedNotHungOn)
{
    const QString folder = musicFolder(QStringLiteral("music"), 1);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe.mp3")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), folder + QStringLiteral("/zero.mp3")));
    // Bytes that are not UTF-8 in a name.
    const QByteArray raw = QFile::encodeName(folder) + "/bad-\xff-name.mp3";
    FILE* f = std::fopen(raw.constData(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);

    const CliRun run = test::runCli({QStringLiteral("import"), folder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QStringLiteral("Imported 1 songs; the library holds 1.\n"));
    EXPECT_TRUE(run.err.contains(QStringLiteral("pipe.mp3: it is a named pipe, not a regular file"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("zero.mp3: it is a character device, not a regular file"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("name.mp3: the name is not valid UTF-8, so the library cannot keep this file"))) << run.err.toStdString();
}
