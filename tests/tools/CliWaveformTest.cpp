#include "CliRunner.h"
#include "TestSupport.h"

#include <QDir>

using namespace varno;
using test::CliRun;

namespace {

class CliWaveformTest : public test::DataFolderTest {
protected:
    CliRun run(const QStringList& arguments) { return test::runCli(arguments); }

    QStringList cacheEntries() const { return QDir(appFile(QStringLiteral("WaveformCache"))).entryList(QDir::Files | QDir::Hidden); }
};

} // namespace

TEST_F(CliWaveformTest, FileOutsideTheLibraryIsDrawnWithoutImportingOrCachingIt)
{
    const CliRun result = run({QStringLiteral("waveform"), test::fixturePath(QStringLiteral("signals/short.wav")), QStringLiteral("--points"),
                               QStringLiteral("16"), QStringLiteral("--ascii")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("0.683 0.998 1.000 0.689 0.678 0.997 1.000 0.694 0.673 0.997 1.000 0.699 0.668 0.996 1.000 0.704\n"
                                         "\u2586\u2588\u2588\u2586\u2586\u2588\u2588\u2586\u2586\u2588\u2588\u2586\u2586\u2588\u2588\u2586\n"));
    EXPECT_EQ(result.err, QString());
    EXPECT_EQ(run({QStringLiteral("list")}).out, QString());
    EXPECT_TRUE(cacheEntries().isEmpty());
}

TEST_F(CliWaveformTest, LibrarySongByIdOrFileUsesTheAppsCache)
{
    const QString path = scratch(QStringLiteral("noise.flac"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("signals/noise.flac")), path));
    ASSERT_EQ(run({QStringLiteral("import"), path}).exitCode, 0);
    const QString id = run({QStringLiteral("list")}).out.section(QLatin1Char('\t'), 0, 0);

    const CliRun byId = run({QStringLiteral("waveform"), id});
    EXPECT_EQ(byId.exitCode, 0) << byId.err.toStdString();
    EXPECT_EQ(byId.out.trimmed().split(QLatin1Char(' ')).size(), 360);
    EXPECT_EQ(cacheEntries(), QStringList {QStringLiteral("waveform_%1_360.json").arg(id)});
    // Named by its file, the song is still the library's.
    EXPECT_EQ(run({QStringLiteral("waveform"), path}).out, byId.out);
    EXPECT_EQ(cacheEntries().size(), 1);

    // The file is the library's song, so its cached peaks answer even once
    // the file is gone.
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(run({QStringLiteral("waveform"), id}).out, byId.out);
    const CliRun gone = run({QStringLiteral("waveform"), id, QStringLiteral("--points"), QStringLiteral("8")});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.err, QStringLiteral("The audio file could not be found at %1.\n").arg(path));
}

TEST_F(CliWaveformTest, FailuresPrintTheEnginesTextAndUsageErrorsExitWithTwo)
{
    CliRun result = run({QStringLiteral("waveform"), test::fixturePath(QStringLiteral("bad/random.mp3"))});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, QStringLiteral("The file \u201Crandom.mp3\u201D could not be read as audio: its format is not recognised\n"));
    EXPECT_EQ(result.out, QString());

    result = run({QStringLiteral("waveform"), test::fixturePath(QStringLiteral("signals/short.wav")), QStringLiteral("--points"), QStringLiteral("4097")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, QStringLiteral("The requested waveform resolution is invalid.\n"));

    result = run({QStringLiteral("waveform"), QUuid::createUuid().toString(QUuid::WithoutBraces)});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("varno-cli: no song with the id "))) << result.err.toStdString();

    EXPECT_EQ(run({QStringLiteral("waveform"), scratch(QStringLiteral("nothing.mp3"))}).exitCode, 1);
    EXPECT_EQ(run({QStringLiteral("waveform"), QStringLiteral("--points"), QStringLiteral("many")}).exitCode, 2);
    EXPECT_EQ(run({QStringLiteral("waveform")}).exitCode, 2);
}
