#include "CliRunner.h"
#include "TestSupport.h"

#include <QDir>

using namespace varno;
using test::CliRun;

namespace {

// `varno-cli play` in a pipe, on the null output fifty times faster than
// real time: no keys are read and each song gets one line.
class CliPlayTest : public test::DataFolderTest {
protected:
    CliRun run(const QStringList& arguments) { return test::runCliFast(arguments); }

    QString copy(const QString& fixture, const QString& name)
    {
        const QString path = scratch(name);
        EXPECT_TRUE(QFile::copy(test::fixturePath(fixture), path));
        return path;
    }
};

} // namespace

TEST_F(CliPlayTest, PlaysFilesToTheEndImportingThemOnce)
{
    const QString a = copy(QStringLiteral("formats/tagged.mp3"), QStringLiteral("a.mp3"));
    const QString b = copy(QStringLiteral("formats/untagged.flac"), QStringLiteral("b.flac"));

    CliRun result = run({QStringLiteral("play"), a, b});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out, QStringLiteral("Playing: Tagged Title \u2014 Tagged Artist (0:02)\nPlaying: b (0:01)\n"));
    EXPECT_EQ(result.err, QString());

    // Songs already in the library are reused, by file or by id.
    const QString id = run({QStringLiteral("list")}).out.section(QLatin1Char('\t'), 0, 0);
    result = run({QStringLiteral("play"), id, b});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.out.count(QStringLiteral("Playing: ")), 2);
    EXPECT_EQ(run({QStringLiteral("list")}).out.count(QLatin1Char('\n')), 2);
}

TEST_F(CliPlayTest, SkipsSongsThatCannotPlayAndFailsWhenNoneCan)
{
    const QString good = copy(QStringLiteral("formats/tagged.wav"), QStringLiteral("good.wav"));
    const QString doomed = copy(QStringLiteral("formats/untagged.mp3"), QStringLiteral("doomed.mp3"));
    ASSERT_EQ(run({QStringLiteral("import"), good, doomed}).exitCode, 0);
    // The library holds it, but the file is gone by the time it should play.
    QFile::remove(doomed);
    const QStringList lines = run({QStringLiteral("list")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    const QString doomedID = lines.filter(QStringLiteral("\tdoomed")).value(0).section(QLatin1Char('\t'), 0, 0);
    ASSERT_FALSE(doomedID.isEmpty());

    CliRun result = run({QStringLiteral("play"), doomedID, good});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "The audio file could not be found at " + doomed + ".\n");
    EXPECT_EQ(result.out.count(QStringLiteral("Playing: ")), 1);

    result = run({QStringLiteral("play"), doomedID});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "The audio file could not be found at " + doomed + ".\n");

    result = run({QStringLiteral("play"), test::fixturePath(QStringLiteral("bad/random.mp3"))});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("Some files could not be imported:\nrandom.mp3: "))) << result.err.toStdString();

    result = run({QStringLiteral("play"), scratch(QStringLiteral("nowhere.mp3"))});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "varno-cli: " + scratch(QStringLiteral("nowhere.mp3")) + ": No such file or song\n");
}

TEST_F(CliPlayTest, FilesOfTypesTheLibraryDoesNotTakeAreRefusedWithTheSupportedList)
{
    for (const char* name : {"song.opus", "song.aif", "song"}) {
        const QString path = copy(QStringLiteral("formats/untagged.ogg"), QLatin1String(name));
        const CliRun result = run({QStringLiteral("play"), path});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "varno-cli: " + path + ": the file type is not supported; supported types: mp3, m4a, wav, flac, aac, ogg, wma, aiff\n");
        EXPECT_EQ(result.out, QString());
    }
}
