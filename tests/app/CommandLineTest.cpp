// What a user of a terminal meets before the window: --version and --help
// of both programs (without a display), unknown options, the manual pages
// and the shell completion as `cmake --install` lays them out, and the one
// version shown everywhere.

#include "TestSupport.h"

#include "platform/ApplicationIdentity.h"
#include "ui/window/AboutWindow.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace varno;

namespace {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramRun run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

ProgramRun app(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return run(QStringLiteral(VARNO_APP_BINARY), arguments, environment);
}

ProgramRun cli(const QStringList& arguments)
{
    return run(QStringLiteral(VARNO_CLI_BINARY), arguments);
}

// The test environment without any way to reach a display.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

bool installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

} // namespace

TEST(CommandLine, theVersionIsTheProjectsInBothProgramsWithoutADisplay)
{
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(applicationVersion()).hasMatch()) << applicationVersion().toStdString();

    const ProgramRun version = app({QStringLiteral("--version")}, withoutDisplay());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("VARNO MUSIC %1\n").arg(applicationVersion()));
    EXPECT_EQ(version.err, QString());

    const ProgramRun cliVersion = cli({QStringLiteral("--version")});
    EXPECT_EQ(cliVersion.exitCode, 0);
    EXPECT_EQ(cliVersion.out, QStringLiteral("varno-cli (VARNO MUSIC) %1\n").arg(applicationVersion()));
    EXPECT_EQ(cliVersion.err, QString());
}

TEST(CommandLine, theAppsHelpNamesItsFilesOptionsEnvironmentAndFoldersWithoutADisplay)
{
    const ProgramRun help = app({QStringLiteral("--help")}, withoutDisplay());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, QString());
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: varno [FILE|URL...]\n"))) << help.out.toStdString();
    for (const char* text : {"--version", "--help", "VARNO_AUDIO_OUTPUT", "VARNO_NULL_OUTPUT_SPEED", "$XDG_DATA_HOME/OstrelMediaStudio",
                             "~/.local/share/OstrelMediaStudio", "$XDG_CONFIG_HOME/Varno/varno.conf", "varno-cli"})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(text))) << text;
    EXPECT_EQ(app({QStringLiteral("-h")}, withoutDisplay()).out, help.out);
}

TEST(CommandLine, theCliAnswersHelpAndDashDashHelpAlike)
{
    const ProgramRun help = cli({QStringLiteral("help")});
    const ProgramRun dashed = cli({QStringLiteral("--help")});
    EXPECT_EQ(dashed.exitCode, 0);
    EXPECT_EQ(dashed.err, QString());
    EXPECT_EQ(dashed.out, help.out);
    EXPECT_TRUE(dashed.out.contains(QStringLiteral("varno-cli --help | --version\n"))) << dashed.out.toStdString();
    EXPECT_EQ(cli({QStringLiteral("-h")}).out, help.out);
}

TEST(CommandLine, anUnknownOptionIsNamedInOneLineWithStatusTwo)
{
    const ProgramRun appRun = app({QStringLiteral("song.flac"), QStringLiteral("--shuffle")}, withoutDisplay());
    EXPECT_EQ(appRun.exitCode, 2);
    EXPECT_EQ(appRun.out, QString());
    EXPECT_EQ(appRun.err, QStringLiteral("varno: unknown option '--shuffle' (varno --help lists the options)\n"));

    const ProgramRun cliRun = cli({QStringLiteral("--shuffle"), QStringLiteral("list")});
    EXPECT_EQ(cliRun.exitCode, 2);
    EXPECT_EQ(cliRun.out, QString());
    EXPECT_EQ(cliRun.err, QStringLiteral("varno-cli: unknown option '--shuffle' (varno-cli help lists the commands)\n"));

    const ProgramRun missingValue = app({QStringLiteral("-style")}, withoutDisplay());
    EXPECT_EQ(missingValue.exitCode, 2);
    EXPECT_EQ(missingValue.err, QStringLiteral("varno: option '-style' needs a value\n"));
}

// After "--" nothing is an option: the app goes on to start, and without a
// display says so.
TEST(CommandLine, argumentsAfterDoubleDashAreFilesEvenWithADash)
{
    const ProgramRun started = app({QStringLiteral("--"), QStringLiteral("--help")}, withoutDisplay());
    EXPECT_EQ(started.exitCode, 1);
    EXPECT_EQ(started.out, QString());
    EXPECT_TRUE(started.err.startsWith(QStringLiteral("varno: cannot start: no display"))) << started.err.toStdString();
}

TEST(CommandLine, theAboutWindowShowsTheVersion)
{
    AboutWindow about;
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Version %1").arg(applicationVersion()))) << texts.join(QLatin1Char('|')).toStdString();
}

namespace {

// One `cmake --install` of the build for every case below, as a user's
// prefix would hold it.
class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_prefix = new QTemporaryDir;
        QProcess install;
        install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(VARNO_BUILD_DIR), QStringLiteral("--prefix"), s_prefix->path()});
        ASSERT_TRUE(install.waitForFinished(60000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete s_prefix;
        s_prefix = nullptr;
    }
    static QString installedFile(const QString& relative) { return s_prefix->path() + QLatin1Char('/') + relative; }

    // The page as a reader sees it, through man(1) when it is there, which
    // also reports what groff warns of; else the source with its markup
    // taken out, which is enough to find names in.
    static QString manualText(const QString& page)
    {
        const QString path = installedFile(QStringLiteral("share/man/man1/%1.1.gz").arg(page));
        if (installed("man")) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("200"));
            environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
            const ProgramRun shown = run(QStringLiteral("man"), {QStringLiteral("--warnings"), QStringLiteral("-l"), path}, environment);
            EXPECT_EQ(shown.exitCode, 0);
            EXPECT_EQ(shown.err, QString()) << page.toStdString();
            return shown.out;
        }
        QString source = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), path}).out;
        source.replace(QStringLiteral("\\-"), QStringLiteral("-")).remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]|\"")));
        source.remove(QRegularExpression(QStringLiteral("^\\.[A-Z]+ ?"), QRegularExpression::MultilineOption));
        return source;
    }

    // Bash's answer to Tab at the end of `line`, with the installed
    // completion loaded the way bash-completion loads it.
    static QStringList complete(const QString& line)
    {
        QStringList words = line.split(QLatin1Char(' '));
        words[0] = QStringLiteral(VARNO_CLI_BINARY);
        const QString script = QStringLiteral(
            "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _varno_cli \"$1\"; printf '%s\\n' \"${COMPREPLY[@]}\"");
        const ProgramRun answer = run(QStringLiteral("bash"), QStringList {QStringLiteral("-c"), script, installedFile(QStringLiteral("share/bash-completion/completions/varno-cli"))} + words);
        EXPECT_EQ(answer.exitCode, 0) << line.toStdString();
        EXPECT_EQ(answer.err, QString()) << line.toStdString();
        QStringList offered = answer.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        offered.sort();
        return offered;
    }

    static QTemporaryDir* s_prefix;
};

QTemporaryDir* InstalledTree::s_prefix = nullptr;

// Every line of the usage that starts a command ("  playlist show ID ...")
// gives its words before the first argument.
QStringList commandsOf(const QString& usage)
{
    QStringList commands;
    static const QRegularExpression line(QStringLiteral("^  ([a-z][a-z-]*(?: (?:show|create|folder|smart|rename|add|remove|delete|play|import|export))?)\\b"),
                                         QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(usage); it.hasNext();)
        commands << it.next().captured(1);
    return commands;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList matchesOf(const QString& pattern, const QString& text)
{
    QStringList found;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        found << it.next().captured(0);
    found.removeDuplicates();
    return found;
}

} // namespace

TEST_F(InstalledTree, holdsTheManualPagesTheCompletionAndTheReleaseButNotThePackagesOwnFiles)
{
    for (const char* file : {"share/man/man1/varno.1.gz", "share/man/man1/varno-cli.1.gz", "share/bash-completion/completions/varno-cli",
                             "share/zsh/vendor-completions/_varno-cli"})
        EXPECT_TRUE(QFileInfo(installedFile(QString::fromLatin1(file))).isFile()) << file;
    // The copyright and changelog are for the Debian package alone.
    EXPECT_FALSE(QFileInfo::exists(installedFile(QStringLiteral("share/doc"))));

    const QByteArray metainfo = test::readFile(installedFile(QStringLiteral("share/metainfo/org.varno.Music.metainfo.xml")));
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<release version=\"%1\" date=\"").arg(applicationVersion()).toUtf8())) << metainfo.toStdString();
}

TEST_F(InstalledTree, theCliManualHasEveryCommandAndOptionOfTheUsage)
{
    const QString usage = cli({QStringLiteral("help")}).out;
    const QString manual = manualText(QStringLiteral("varno-cli"));
    const QStringList commands = commandsOf(usage);
    EXPECT_GE(commands.size(), 20) << usage.toStdString();
    for (const QString& command : commands)
        EXPECT_TRUE(manual.contains(QRegularExpression(QStringLiteral("^\\s*%1\\b").arg(command), QRegularExpression::MultilineOption)))
            << command.toStdString();
    for (const QString& option : matchesOf(QStringLiteral("--[a-z][a-z-]*"), usage))
        EXPECT_TRUE(manual.contains(option)) << option.toStdString();
    for (const char* text : {"ENVIRONMENT", "VARNO_AUDIO_OUTPUT", "VARNO_NULL_OUTPUT_SPEED", "FILES", "EXIT STATUS"})
        EXPECT_TRUE(manual.contains(QString::fromLatin1(text))) << text;
    EXPECT_TRUE(manual.contains(QStringLiteral("VARNO MUSIC %1").arg(applicationVersion())));
}

TEST_F(InstalledTree, theAppsManualHasEveryOptionAndVariableOfItsHelp)
{
    const QString help = app({QStringLiteral("--help")}, withoutDisplay()).out;
    const QString manual = manualText(QStringLiteral("varno"));
    for (const QString& name : matchesOf(QStringLiteral("--[a-z]*|VARNO_[A-Z_]+|\\$XDG_[A-Z_]+/[A-Za-z/.]+"), help))
        EXPECT_TRUE(manual.contains(name)) << name.toStdString();
    for (const char* text : {"ENVIRONMENT", "FILES", "EXIT STATUS", "varno-cli(1)"})
        EXPECT_TRUE(manual.contains(QString::fromLatin1(text))) << text;
}

class Completion : public InstalledTree {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_data.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    }

    static QString firstField(const QString& output, const QString& containing)
    {
        for (const QString& line : output.split(QLatin1Char('\n')))
            if (line.contains(containing))
                return line.section(QLatin1Char('\t'), 0, 0);
        return {};
    }

    QTemporaryDir m_data;
};

TEST_F(Completion, offersCommandsAndActions)
{
    EXPECT_EQ(complete(QStringLiteral("varno-cli pl")), (QStringList {QStringLiteral("play"), QStringLiteral("playlist"), QStringLiteral("playlists")}));
    EXPECT_EQ(complete(QStringLiteral("varno-cli --v")), QStringList {QStringLiteral("--version")});
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist s")), (QStringList {QStringLiteral("show"), QStringLiteral("smart")}));
    EXPECT_EQ(complete(QStringLiteral("varno-cli list ")), (QStringList {QStringLiteral("--json"), QStringLiteral("--sort")}));
    EXPECT_EQ(complete(QStringLiteral("varno-cli list --json --sort al")),
              (QStringList {QStringLiteral("album"), QStringLiteral("album:desc"), QStringLiteral("albumArtist"), QStringLiteral("albumArtist:desc")}));
}

TEST_F(Completion, offersTheLibrarysSongsAndPlaylistsWhereAnIdGoes)
{
    ASSERT_EQ(cli({QStringLiteral("import"), test::fixturePath(QStringLiteral("formats/tagged.flac"))}).exitCode, 0);
    const QString song = cli({QStringLiteral("list")}).out.section(QLatin1Char('\t'), 0, 0);
    ASSERT_EQ(cli({QStringLiteral("playlist"), QStringLiteral("folder"), QStringLiteral("Trips")}).exitCode, 0);
    ASSERT_EQ(cli({QStringLiteral("playlist"), QStringLiteral("create"), QStringLiteral("Road")}).exitCode, 0);
    ASSERT_EQ(cli({QStringLiteral("playlist"), QStringLiteral("smart"), QStringLiteral("Jazz"), QStringLiteral("--rule"), QStringLiteral("Genre contains Jazz")}).exitCode, 0);
    const QString tree = cli({QStringLiteral("playlists")}).out;
    const QString folder = firstField(tree, QStringLiteral("Trips"));
    const QString road = firstField(tree, QStringLiteral("Road"));
    const QString jazz = firstField(tree, QStringLiteral("Jazz"));
    ASSERT_FALSE(song.isEmpty() || folder.isEmpty() || road.isEmpty() || jazz.isEmpty()) << tree.toStdString();

    EXPECT_EQ(complete(QStringLiteral("varno-cli remove ")), QStringList {song});
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist show ")), sorted({road, jazz}));
    // Songs are added to standard playlists only, and go in folders only.
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist add ")), QStringList {road});
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist add %1 ").arg(road)), QStringList {song});
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist create Later --folder ")), QStringList {folder});
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist delete ")), sorted({folder, road, jazz}));
}

// A library that cannot be read completes nothing and prints nothing over
// the command line being typed.
TEST_F(Completion, staysQuietWhenTheLibraryCannotBeRead)
{
    QDir(m_data.path()).mkpath(QStringLiteral("OstrelMediaStudio/playlist_records.json"));
    test::writeFile(m_data.path() + QStringLiteral("/OstrelMediaStudio/tracks.json"), "not json");
    EXPECT_EQ(complete(QStringLiteral("varno-cli remove ")), QStringList());
    EXPECT_EQ(complete(QStringLiteral("varno-cli playlist show ")), QStringList());
}
