#include "CliRunner.h"
#include "HostileFiles.h"
#include "TestSupport.h"

#include <QTemporaryFile>

#include <chrono>
#include <thread>

#include <csignal>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

using namespace varno;

namespace {

struct ProbeRun {
    int exitCode = -1;
    QStringList lines;
};

// Runs in the fixture folder, so the files are named as the fixture list names them.
ProbeRun runCli(const QStringList& arguments)
{
    const test::CliRun run = test::runCli(arguments, {}, test::fixturePath(QString()));
    return {run.exitCode, run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
}

// One run of varno-cli with the peak memory the kernel counted for it.
struct MeasuredRun {
    bool finished = false;
    int exitCode = -1;
    std::int64_t peakBytes = 0;
    QString out;
};

// Runs varno-cli with standard output to a file until it ends or `deadline`
// passes, when it is killed. The process is waited for with wait4, which
// hands back its resource usage, peak resident memory included. The address
// sanitizer is told to keep no freed memory aside, so the peak is what the
// program held, not every buffer it outgrew.
MeasuredRun runMeasured(const QStringList& arguments, std::chrono::seconds deadline)
{
    std::vector<QByteArray> environment {"ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS") + ":quarantine_size_mb=0"};
    for (char** variable = environ; *variable; ++variable) {
        if (!QByteArray(*variable).startsWith("ASAN_OPTIONS="))
            environment.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (QByteArray& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    QTemporaryFile out;
    EXPECT_TRUE(out.open());
    std::vector<QByteArray> storage {QByteArrayLiteral(VARNO_CLI_BINARY)};
    for (const QString& argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.handle(), 1);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    if (spawned != 0)
        return {};

    MeasuredRun run;
    int status = 0;
    rusage usage {};
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.finished = WIFEXITED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakBytes = std::int64_t(usage.ru_maxrss) * 1024;
    run.out = QString::fromUtf8(test::readFile(out.fileName()));
    return run;
}

class CliHostileFileTest : public test::DataFolderTest {};

} // namespace

TEST(CliProbe, PrintsOneJsonObjectPerFileAndFailsWhenAnyFileFails)
{
    const ProbeRun run = runCli({QStringLiteral("probe"), QStringLiteral("formats/tagged.flac"), QStringLiteral("names/what?.mp3"),
                               QStringLiteral("bad/empty.mp3")});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.lines.size(), 3);
    EXPECT_TRUE(run.lines[0].startsWith(QStringLiteral(
        R"({"file":"formats/tagged.flac","duration":2,"title":"Tagged Title","artist":"Tagged Artist","album":"Tagged Album",)"
        R"("genre":"Tagged Genre","year":1999,"trackNumber":3,"discNumber":1,"composer":"Tagged Composer",)"
        R"("albumArtist":"Tagged Album Artist","comments":"Tagged comment","bpm":120,"bitrate":)")))
        << run.lines[0].toStdString();
    EXPECT_TRUE(run.lines[0].endsWith(QStringLiteral(R"("sampleRate":44100,"artworkBytes":)")
                                      + QString::number(test::readFile(test::fixturePath(QStringLiteral("covers/cover.jpg"))).size())
                                      + QStringLiteral(R"(,"artworkType":"jpeg"})")))
        << run.lines[0].toStdString();
    EXPECT_TRUE(run.lines[1].contains(QStringLiteral(R"("title":"what?")")));
    EXPECT_TRUE(run.lines[1].contains(QStringLiteral(R"("artworkBytes":0})")));
    EXPECT_EQ(run.lines[2], QStringLiteral(R"({"file":"bad/empty.mp3","error":"The file “empty.mp3” could not be read as audio: the file is empty"})"));
}

TEST(CliProbe, ReadableFilesExitWithZeroAndUsageErrorsWithTwo)
{
    EXPECT_EQ(runCli({QStringLiteral("probe"), QStringLiteral("formats/untagged.aac")}).exitCode, 0);
    EXPECT_EQ(runCli({QStringLiteral("probe")}).exitCode, 2);
    EXPECT_EQ(runCli({QStringLiteral("frobnicate")}).exitCode, 2);
}

// A sparse 2 GB file of zeros kept the probe and the player searching for
// minutes with gigabytes of memory, and a megabyte of random bytes (seed 47)
// imported as an 8:44 song. Each is refused within seconds, costing little
// more memory than probing a real song, and the library stays empty.
TEST_F(CliHostileFileTest, FilesThatAreAudioOnlyByNameAreRefusedQuicklyAndCheaply)
{
    const QString zeros = scratch(QStringLiteral("zeros.mp3"));
    const QString random = scratch(QStringLiteral("random.mp3"));
    test::writeSparseFile(zeros, std::int64_t(2) << 30);
    test::writeRandomFile(random, 1 << 20, 47);

    const MeasuredRun reference = runMeasured({QStringLiteral("probe"), test::fixturePath(QStringLiteral("formats/tagged.mp3"))}, std::chrono::seconds(60));
    ASSERT_EQ(reference.exitCode, 0) << reference.out.toStdString();
    for (const QString& file : {zeros, random}) {
        SCOPED_TRACE(file.toStdString());
        const MeasuredRun run = runMeasured({QStringLiteral("probe"), file}, std::chrono::seconds(20));
        ASSERT_TRUE(run.finished) << "still probing after 20 s";
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.contains(QStringLiteral("could not be read as audio: its format is not recognised"))) << run.out.toStdString();
        EXPECT_LT(run.peakBytes, reference.peakBytes + (64 << 20));
    }

    const MeasuredRun played = runMeasured({QStringLiteral("play"), zeros}, std::chrono::seconds(20));
    ASSERT_TRUE(played.finished) << "still opening after 20 s";
    EXPECT_EQ(played.exitCode, 1);
    EXPECT_LT(played.peakBytes, reference.peakBytes + (64 << 20));

    const MeasuredRun imported = runMeasured({QStringLiteral("import"), zeros, random}, std::chrono::seconds(30));
    ASSERT_TRUE(imported.finished) << "still importing after 30 s";
    EXPECT_EQ(imported.exitCode, 1);
    EXPECT_EQ(test::runCli({QStringLiteral("list")}).out, QString());
}
