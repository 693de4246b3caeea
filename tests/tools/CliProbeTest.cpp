#include "CliRunner.h"
#include "TestSupport.h"

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

} // namespace

TEST(CliProbe, PrintsOneJsonObjectPerFileAndFailsWhenAnyFileFails)
{
    const ProbeRun run = runCli({QStringLiteral("probe"), QStringLiteral("formats/tagged.flac"), QStringLiteral("names/what?.mp3"),
                               QStringLiteral("bad/empty.mp3")});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.lines.size(), 3);
    EXPECT_TRUE(run.lines[0].startsWith(QStringLiteral(
        R"({"file":"formats/tagged.flac","duration":2,"title":"Tagged Title","artist":"Tagged Artist","album":"Tagged Album",)"
        R"("genre":"Tagged Genre","composer":"Tagged Composer","albumArtist":"Tagged Album Artist","bitrate":)")))
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
