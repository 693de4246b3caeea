// `varno-cli import` run many times at once, and what it says about links
// and folders it cannot follow.

#include "CliRunner.h"
#include "LibraryHarness.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace varno;
using test::CliRun;

namespace {

class CliImportTest : public test::DataFolderTest {
protected:
    // A folder holding one small audio file.
    QString musicFolder(const QString& name)
    {
        const QString folder = scratch(name);
        QDir().mkpath(folder);
        EXPECT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.wav")), folder + QStringLiteral("/song.wav")));
        return folder;
    }

    // One `varno-cli import` per folder, all started before any is waited for.
    std::vector<CliRun> importAtOnce(const QStringList& folders)
    {
        std::vector<QStringList> commands;
        for (const QString& folder : folders)
            commands.push_back({QStringLiteral("import"), folder});
        return test::runCliAtOnce(commands);
    }
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

// Each process adds its folder to the list as it is on disk at that moment,
// not to the copy it read when it started.
TEST_F(CliImportTest, ImportsRunningAtOnceKeepEveryWatchedFolder)
{
    constexpr int kProcesses = 6;
    QStringList folders;
    for (int p = 0; p < kProcesses; ++p)
        folders << musicFolder(QStringLiteral("music%1").arg(p));

    for (int round = 0; round < 3; ++round) {
        QDir(appFolder()).removeRecursively();
        for (const CliRun& run : importAtOnce(folders)) {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            // A race with another writer is normal and says nothing.
            EXPECT_EQ(run.err, QString());
        }

        // The app's library, started afterwards, watches all of them.
        test::LibraryHarness app;
        app.start();
        EXPECT_EQ(sorted(app.engine->watchedFolders()), folders) << "round " << round;
        const auto watched = [&] {
            QStringList paths;
            for (const FileURL& folder : app.watcher.folders)
                paths << folder.toLocalFile();
            return sorted(paths);
        };
        EXPECT_TRUE(test::waitUntil([&] { return watched() == folders; })) << watched().join(' ').toStdString();
        EXPECT_EQ(app.engine->allTracks().size(), std::size_t(kProcesses));
    }
}

TEST_F(CliImportTest, ALinkNamedOnTheCommandLineThatLoopsSaysSo)
{
    const QString loop = scratch(QStringLiteral("loop.mp3"));
    ASSERT_EQ(::symlink("loop.mp3", QFile::encodeName(loop).constData()), 0);
    const CliRun run = test::runCli({QStringLiteral("import"), loop});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("Some files could not be imported:\nloop.mp3: the link leads to itself or to a loop\n"));
    EXPECT_EQ(run.out, QStringLiteral("Imported 0 songs; the library holds 0.\n"));
}

TEST_F(CliImportTest, ALoopInsideAnAddedFolderIsNamed)
{
    const QString folder = musicFolder(QStringLiteral("music"));
    ASSERT_EQ(::symlink("loop.flac", QFile::encodeName(folder + QStringLiteral("/loop.flac")).constData()), 0);
    const CliRun run = test::runCli({QStringLiteral("import"), folder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("Some files could not be imported:\nloop.flac: the link leads to itself or to a loop\n"));
    EXPECT_EQ(run.out, QStringLiteral("Imported 1 songs; the library holds 1.\n"));
}

TEST_F(CliImportTest, AFolderThatCannotBeOpenedInsideAnAddedFolderIsNamed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens every folder whatever its permissions, so a refused one cannot be made";
    const QString folder = musicFolder(QStringLiteral("music"));
    const QByteArray closed = QFile::encodeName(folder + QStringLiteral("/closed"));
    ASSERT_EQ(::mkdir(closed.constData(), 0), 0);
    const CliRun run = test::runCli({QStringLiteral("import"), folder});
    ::chmod(closed.constData(), 0700);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("Some files could not be imported:\n"
                                      "closed: the folder cannot be opened, so its files cannot be added: Permission denied\n"));
    EXPECT_EQ(run.out, QStringLiteral("Imported 1 songs; the library holds 1.\n"));
}
