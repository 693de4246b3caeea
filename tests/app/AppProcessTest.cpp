#include "TestSupport.h"

#include "platform/FileIO.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

using namespace varno;

namespace {

struct ProcessResult {
    int exitCode = -1;
    QString standardError;
};

class AppProcessTest : public test::DataFolderTest {
protected:
    ProcessResult run(const QProcessEnvironment& environment, int timeoutMs = 30000)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VARNO_APP_BINARY), {});
        EXPECT_TRUE(process.waitForFinished(timeoutMs));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
    }

    // Starts the app without a display, in this test's folders; returns
    // whether it started.
    static bool startOffscreen(QProcess& process)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VARNO_APP_BINARY), {});
        return process.waitForStarted();
    }
};

} // namespace

TEST_F(AppProcessTest, UnusableDataFolderIsACriticalBootFailure)
{
    test::writeFile(scratch(QStringLiteral("not-a-folder")), "x");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch(QStringLiteral("not-a-folder")));
    const ProcessResult result = run(environment);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardError.contains(QStringLiteral("CRITICAL BOOT FAILURE: Failed to initialize Studio graph: The file "
                                                             "\u201COstrelMediaStudio\u201D could not be created: Not a directory")))
        << result.standardError.toStdString();
}

TEST_F(AppProcessTest, NoDisplayGivesOneLineAndStatusOne)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const ProcessResult withoutDisplay = run(environment);
    EXPECT_EQ(withoutDisplay.exitCode, 1);
    EXPECT_EQ(withoutDisplay.standardError.count(QLatin1Char('\n')), 1) << withoutDisplay.standardError.toStdString();

    // A display that cannot be reached: Qt would abort; we exit cleanly.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    const ProcessResult unreachable = run(environment);
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_EQ(unreachable.standardError.count(QLatin1Char('\n')), 1) << unreachable.standardError.toStdString();
    EXPECT_TRUE(unreachable.standardError.startsWith(QStringLiteral("varno: cannot start: ")));
}

TEST_F(AppProcessTest, StartCreatesTheApplicationFolderWithEmptyStateFiles)
{
    QProcess process;
    ASSERT_TRUE(startOffscreen(process));
    // The playlist store is built after the persistence layer, so its file
    // comes last.
    EXPECT_TRUE(test::waitUntil([&] { return QFileInfo::exists(appFile(QStringLiteral("playlist_records.json"))); }, std::chrono::seconds(60)));
    EXPECT_EQ(process.state(), QProcess::Running);
    EXPECT_EQ(QDir(appFolder()).entryList(QDir::Files),
              (QStringList {"playback_history.json", "playback_state.json", "playlist_records.json", "playlists.json", "tracks.json"}));
    process.kill();
    process.waitForFinished();
}

TEST_F(AppProcessTest, ATerminationSignalWritesTheSessionBeforeExiting)
{
    const QString songPath = scratch(QStringLiteral("long.flac"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("signals/long-4min.flac")), songPath));
    Track song = test::makeTrack(QStringLiteral("Long"));
    song.fileURL = FileURL::fromLocalFile(songPath);
    PlaybackStateSnapshot session;
    session.currentTrackID = song.id;
    session.repeatMode = QStringLiteral("all");
    session.shuffleMode = QStringLiteral("off");
    session.currentTime = 30;
    session.savedAt = Timestamp::fromSecondsSinceReferenceDate(1);
    QDir().mkpath(appFolder());
    test::writeFile(appFile(QStringLiteral("tracks.json")), QByteArray::fromStdString(json::encodeTracks({song})));
    const QString sessionFile = appFile(QStringLiteral("playback_state.json"));
    test::writeFile(sessionFile, QByteArray::fromStdString(json::encodePlaybackStateSnapshot(session)));
    const auto saved = [&] { return json::decodePlaybackStateSnapshot(fileio::readWholeFile(sessionFile).value(), "playback_state.json"); };

    QProcess process;
    ASSERT_TRUE(startOffscreen(process));
    // The restore loads the song, which the queue saves once.
    ASSERT_TRUE(test::waitUntil([&] { return saved().savedAt->secondsSinceReferenceDate != 1; }, std::chrono::seconds(60)));

    const Timestamp signalled = Timestamp::now();
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().right(6000).toStdString();
    const PlaybackStateSnapshot written = saved();
    EXPECT_GE(written.savedAt->secondsSinceReferenceDate, signalled.secondsSinceReferenceDate);
    EXPECT_EQ(written.currentTrackID, song.id);
    EXPECT_EQ(written.currentTime, 30);
    EXPECT_EQ(written.repeatMode, "all");
    EXPECT_FALSE(written.isPlaying);
}

// The app and varno-cli on one library at once: the app's own later imports
// go through the same lock and keep the tool's songs, and a damaged session
// is kept aside rather than silently replaced when the app quits.
TEST_F(AppProcessTest, TheAppAndTheCommandLineToolShareTheLibraryAndLoseNothing)
{
    const QString source = test::fixturePath(QStringLiteral("formats/untagged.wav"));
    const QString watched = scratch(QStringLiteral("watched"));
    const QString other = scratch(QStringLiteral("other"));
    QDir().mkpath(watched);
    QDir().mkpath(other);
    ASSERT_TRUE(QFile::copy(source, watched + QStringLiteral("/w0.wav")));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(QFile::copy(source, other + QStringLiteral("/o%1.wav").arg(i)));
    QProcess tool;
    tool.start(QStringLiteral(VARNO_CLI_BINARY), {QStringLiteral("import"), watched});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0);
    test::writeFile(appFile(QStringLiteral("playback_state.json")), "{\"upcomingTrackIDs\":[");

    const auto storedFiles = [&] {
        QStringList names;
        for (const Track& track : json::decodeTracks(fileio::readWholeFile(appFile(QStringLiteral("tracks.json"))).value(), "tracks.json"))
            names << track.filename;
        names.sort();
        return names;
    };
    // New files in the watched folder are imported by the app; until its
    // watch is in place, another file is dropped every two seconds.
    int dropped = 0;
    const auto appImports = [&] {
        QDeadlineTimer deadline(120000);
        const qsizetype before = storedFiles().size();
        while (!deadline.hasExpired()) {
            ++dropped;
            EXPECT_TRUE(QFile::copy(source, watched + QStringLiteral("/w%1.wav").arg(dropped)));
            if (test::waitUntil([&] { return storedFiles().size() > before; }, std::chrono::seconds(2)))
                return true;
        }
        return false;
    };

    QProcess app;
    ASSERT_TRUE(startOffscreen(app));
    ASSERT_TRUE(appImports());
    tool.start(QStringLiteral(VARNO_CLI_BINARY), {QStringLiteral("import"), other});
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(tool.readAllStandardOutput()).startsWith(QStringLiteral("Imported 5 songs;")));
    ASSERT_TRUE(appImports());
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(60000));

    // A file dropped before the app's watch was in place is only found by a
    // rescan; the last one the app imported came after the tool's import.
    QStringList files = storedFiles();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(files.contains(QStringLiteral("o%1.wav").arg(i))) << files.join(',').toStdString();
    EXPECT_TRUE(files.contains(QStringLiteral("w0.wav")));
    EXPECT_TRUE(files.contains(QStringLiteral("w%1.wav").arg(dropped))) << files.join(',').toStdString();
    EXPECT_EQ(files.removeDuplicates(), 0);

    const QStringList kept = QDir(appFolder()).entryList({QStringLiteral("playback_state.json.damaged-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(test::readFile(appFile(kept.first())), QByteArray("{\"upcomingTrackIDs\":["));
    EXPECT_TRUE(QString::fromUtf8(app.readAllStandardOutput()).contains(QStringLiteral("playback_state.json could not be read and was kept as ")));
}
