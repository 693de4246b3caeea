// `varno-cli import` run many times at once.

#include "CliRunner.h"
#include "LibraryHarness.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>

#include <memory>

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
        std::vector<std::unique_ptr<QProcess>> processes;
        for (const QString& folder : folders) {
            auto process = std::make_unique<QProcess>();
            process->start(QStringLiteral(VARNO_CLI_BINARY), {QStringLiteral("import"), folder});
            process->closeWriteChannel();
            processes.push_back(std::move(process));
        }
        std::vector<CliRun> runs;
        for (const auto& process : processes) {
            EXPECT_TRUE(process->waitForFinished(120000));
            runs.push_back({process->exitCode(), QString::fromUtf8(process->readAllStandardOutput()), QString::fromUtf8(process->readAllStandardError())});
        }
        return runs;
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
