#include "CliRunner.h"
#include "TestSupport.h"

#include "fixtures/FixtureGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

using namespace varno;
using test::CliRun;

namespace {

class CliHostileInputTest : public test::DataFolderTest {
protected:
    // QProcess passes arguments as text; through the shell varno-cli gets
    // the raw bytes of `arguments`, which may be written with printf escapes.
    CliRun runThroughShell(const QString& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" ") + arguments, QStringLiteral(VARNO_CLI_BINARY)});
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }
};

} // namespace

TEST_F(CliHostileInputTest, NamedPipesAndDevicesAreRefusedInsteadOfHanging)
{
    const QString pipe = scratch(QStringLiteral("x.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = scratch(QStringLiteral("zero.mp3"));
    const QString random = scratch(QStringLiteral("random.mp3"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/urandom"), random));

    const std::pair<QString, QString> items[] = {{pipe, QStringLiteral("a named pipe")}, {zero, QStringLiteral("a character device")},
                                                 {random, QStringLiteral("a character device")}};
    for (const auto& [path, kind] : items) {
        const QString reason = QStringLiteral("The file \u201C%1\u201D could not be read as audio: it is %2, not a regular file")
                                   .arg(QFileInfo(path).fileName(), kind);
        for (const char* command : {"probe", "import", "play"}) {
            SCOPED_TRACE(command + (' ' + path.toStdString()));
            const CliRun result = test::runCli({QLatin1String(command), path});
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_TRUE((result.out + result.err).contains(reason)) << (result.out + result.err).toStdString();
        }
    }
    EXPECT_EQ(test::runCli({QStringLiteral("list")}).out, QString());
}

TEST_F(CliHostileInputTest, NamesThatAreNotUtf8AreRefusedOneByOne)
{
    const QString refused = QStringLiteral("varno-cli: \uFFFD.mp3: the name is not valid UTF-8, so the library cannot keep this file\n");
    const QString good = test::fixturePath(QStringLiteral("formats/untagged.mp3"));

    CliRun result = runThroughShell(QStringLiteral("probe \"$(printf '\\377.mp3')\" '%1'").arg(good));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, refused);
    EXPECT_EQ(result.out.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("\"title\":\"untagged\""))) << result.out.toStdString();

    // With nothing left, the command does not run at all.
    result = runThroughShell(QStringLiteral("import \"$(printf '\\377.mp3')\""));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, refused);
    EXPECT_EQ(result.out, QString());
}

TEST_F(CliHostileInputTest, DataFolderThatCannotBeMadeEndsWithAMessageNotAHang)
{
    const QString notAFolder = scratch(QStringLiteral("data-file"));
    test::writeFile(notAFolder, "a file where the data folder should be");
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_DATA_HOME"), notAFolder);
    const QString song = test::fixturePath(QStringLiteral("formats/untagged.mp3"));
    for (const QStringList& arguments : {QStringList {QStringLiteral("list")}, QStringList {QStringLiteral("import"), song},
                                         QStringList {QStringLiteral("play"), song}}) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const CliRun result = test::runCli(arguments, environment);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.contains(QStringLiteral("OstrelMediaStudio"))) << result.err.toStdString();
    }
}

// A tag is text anyone can write: printed raw, an escape sequence in it
// could retitle the terminal or move the cursor, a carriage return could
// overwrite the line and a bidirectional override could reverse it. Every
// listing shows such characters as escapes; --json stays as it was.
TEST_F(CliHostileInputTest, ControlCharactersInTagsArePrintedAsEscapes)
{
    const QString path = scratch(QStringLiteral("music/trap.mp3"));
    QDir().mkpath(QFileInfo(path).path());
    fixtures::Tags tags;
    tags.title = QStringLiteral("Title\x1b]0;owned\x07 fake\r\nline");
    tags.artist = QStringLiteral("Art\u202Eist\ttab");
    tags.album = QStringLiteral("Album\x9b" "31m");
    fixtures::copyWithTags(test::fixturePath(QStringLiteral("formats/tagged.mp3")), path, tags);
    ASSERT_EQ(test::runCli({QStringLiteral("import"), path}).exitCode, 0);

    const QString escaped = QStringLiteral("Title\\e]0;owned\\x07 fake\\r\\nline \u2014 Art\\u202eist\\ttab \u2014 Album\\x9b31m");
    for (const QStringList& command : {QStringList {QStringLiteral("list")}, QStringList {QStringLiteral("search"), QStringLiteral("fake")}}) {
        const CliRun run = test::runCli(command);
        SCOPED_TRACE(command.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(escaped)) << run.out.toStdString();
        for (const QChar raw : {QChar(0x1b), QChar(0x07), QChar(u'\r'), QChar(0x202e), QChar(0x9b)})
            EXPECT_FALSE(run.out.contains(raw)) << int(raw.unicode());
        // One song, one line (a search adds its section heading).
        EXPECT_EQ(run.out.count(QLatin1Char('\n')), command.size() == 1 ? 1 : 2) << run.out.toStdString();
    }

    const CliRun json = test::runCli({QStringLiteral("list"), QStringLiteral("--json")});
    EXPECT_TRUE(json.out.contains(QStringLiteral("\\u001b]0;owned\\u0007"))) << json.out.toStdString();
}

TEST_F(CliHostileInputTest, DurationsOfAnySizePrintAsAClock)
{
    for (const char* name : {"one.mp3", "two.mp3", "three.mp3"}) {
        const QString path = scratch(QStringLiteral("music/") + QLatin1String(name));
        QDir().mkpath(QFileInfo(path).path());
        QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.mp3")), path);
        ASSERT_EQ(test::runCli({QStringLiteral("import"), path}).exitCode, 0);
    }
    // A hand-edited or damaged library may say anything a JSON number can.
    const QString library = appFile(QStringLiteral("tracks.json"));
    QByteArray stored = test::readFile(library);
    const QRegularExpression duration(QStringLiteral("\"duration\":[-0-9.e+]+"));
    int index = 0;
    for (const char* value : {"1e300", "3723.4", "0.5"}) {
        const QRegularExpressionMatch found = duration.match(QString::fromUtf8(stored), index);
        ASSERT_TRUE(found.hasMatch());
        stored.replace(found.capturedStart(), found.capturedLength(), QByteArray("\"duration\":") + value);
        index = found.capturedStart() + 12;
    }
    test::writeFile(library, stored);

    const CliRun run = test::runCli({QStringLiteral("list")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("(277777777777:46:40)"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("(1:02:03)"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("(0:01)"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("(-"))) << run.out.toStdString();
}

TEST_F(CliHostileInputTest, PreferencesThatCannotBeReadStopTheCommandWithTheReason)
{
    const QString settings = test::settingsFile();
    QFile::remove(settings);
    ASSERT_TRUE(QDir().mkpath(settings));
    const CliRun run = test::runCli({QStringLiteral("list")});
    QDir(settings).removeRecursively();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, QStringLiteral("varno-cli: The preferences in %1 could not be read: it is a folder.\n").arg(settings));
}

TEST_F(CliHostileInputTest, ALibraryFolderOpenToEveryoneIsClosedBeforeUse)
{
    ASSERT_TRUE(QDir().mkpath(appFolder()));
    ASSERT_EQ(::chmod(QFile::encodeName(appFolder()).constData(), 0755), 0);
    ASSERT_EQ(test::runCli({QStringLiteral("list")}).exitCode, 0);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(appFolder()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}
