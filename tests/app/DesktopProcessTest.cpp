#include "PrivateSessionBus.h"
#include "TestSupport.h"

#include "fixtures/FixtureGenerator.h"
#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include <csignal>
#include <sys/stat.h>

using namespace varno;

namespace {

// The real app started as a user would start it, offscreen on the null
// output, with files on its command line; every child is killed at the end.
class DesktopProcessTest : public test::DataFolderTest {
protected:
    void TearDown() override
    {
        for (QProcess* process : std::as_const(m_children)) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
        DataFolderTest::TearDown();
    }

    QProcess& startApp(const QStringList& arguments, const QProcessEnvironment& environment)
    {
        auto* process = new QProcess;
        m_children.append(process);
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(VARNO_APP_BINARY), arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        return *process;
    }
    static bool finish(QProcess& process, int timeoutMs = 60000)
    {
        return test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::milliseconds(timeoutMs));
    }

    QString copy(const QString& fixture, const QString& name)
    {
        const QString path = scratch(name);
        EXPECT_TRUE(QFile::copy(test::fixturePath(fixture), path));
        return path;
    }

    // A FLAC file of `seconds` without tags, so the app shows its name as
    // the title.
    QString writeUntaggedSong(const QString& name, double seconds)
    {
        const QString path = scratch(name);
        fixtures::Signal signal;
        signal.seconds = seconds;
        fixtures::writeAudioFile(path, fixtures::Format::Flac, signal);
        return path;
    }

    static QString run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        finish(process, 30000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    QList<QProcess*> m_children;
};

bool installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

} // namespace

TEST_F(DesktopProcessTest, ASecondStartHandsItsFilesToTheRunningAppWhichQuitsFromTheDesktopSavingTheSession)
{
    if (!installed("playerctl") || !installed("dbus-send"))
        GTEST_SKIP() << "playerctl and dbus-send come with scripts/bootstrap.sh";
    test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    const QProcessEnvironment environment = bus.environment();
    // Both songs last four minutes, so neither has ended by the time the
    // test asks what is playing, however slowly a busy machine starts them.
    const QString first = copy(QStringLiteral("signals/long-4min.mp3"), QStringLiteral("first.mp3"));
    const QString second = writeUntaggedSong(QStringLiteral("second.flac"), 240);
    const auto title = [&] { return run(QStringLiteral("playerctl"), {QStringLiteral("--player=varno"), QStringLiteral("metadata"), QStringLiteral("title")}, environment); };

    QProcess& app = startApp({first}, environment);
    ASSERT_TRUE(test::waitUntil([&] { return title() == QStringLiteral("Tagged Title"); }, std::chrono::seconds(60)));

    QProcess& again = startApp({QStringLiteral("file://") + second}, environment);
    ASSERT_TRUE(finish(again));
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return title() == QStringLiteral("second"); }, std::chrono::seconds(60)));
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_EQ(run(QStringLiteral("playerctl"), {QStringLiteral("--player=varno"), QStringLiteral("status")}, environment), QStringLiteral("Playing"));

    run(QStringLiteral("dbus-send"), {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.mpris.MediaPlayer2.varno"),
                                      QStringLiteral("/org/mpris/MediaPlayer2"), QStringLiteral("org.mpris.MediaPlayer2.Quit")},
        environment);
    ASSERT_TRUE(finish(app));
    EXPECT_EQ(app.exitCode(), 0) << app.readAllStandardError().toStdString();
    // The session written on the way out has the handed-over song playing.
    QString secondID;
    for (const QJsonValue song : QJsonDocument::fromJson(test::readFile(appFile(QStringLiteral("tracks.json")))).array())
        if (song[QStringLiteral("fileURL")].toString().endsWith(QStringLiteral("second.flac")))
            secondID = song[QStringLiteral("id")].toString();
    const QJsonObject session = QJsonDocument::fromJson(test::readFile(appFile(QStringLiteral("playback_state.json")))).object();
    EXPECT_FALSE(secondID.isEmpty());
    EXPECT_EQ(session[QStringLiteral("currentTrackID")].toString(), secondID);
    EXPECT_TRUE(session[QStringLiteral("isPlaying")].toBool());
}

TEST_F(DesktopProcessTest, WithoutASessionBusTheAppSaysSoOnceAndLaterStartsUseTheSocket)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + scratch(QStringLiteral("no-bus")));
    const QString first = copy(QStringLiteral("formats/tagged.mp3"), QStringLiteral("first.mp3"));
    const QString second = copy(QStringLiteral("formats/untagged.flac"), QStringLiteral("second.flac"));

    QProcess& app = startApp({first}, environment);
    ASSERT_TRUE(test::waitUntil([&] { return QFile(appFile(QStringLiteral("tracks.json"))).size() > 10; }, std::chrono::seconds(60)));
    QProcess& again = startApp({second}, environment);
    ASSERT_TRUE(finish(again));
    EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(appFile(QStringLiteral("tracks.json"))).contains("second.flac"); },
                                std::chrono::seconds(60)));

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(finish(app));
    EXPECT_EQ(app.exitCode(), 0);
    const QString output = QString::fromUtf8(app.readAllStandardOutput());
    EXPECT_EQ(output.count(QStringLiteral("No session bus: ")), 1) << output.toStdString();
}

TEST_F(DesktopProcessTest, WithoutARuntimeFolderLaterStartsFindTheAppThroughAPrivateFolderOfTheLibrary)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + scratch(QStringLiteral("no-bus")));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const QString first = copy(QStringLiteral("formats/tagged.mp3"), QStringLiteral("first.mp3"));
    const QString second = copy(QStringLiteral("formats/untagged.flac"), QStringLiteral("second.flac"));

    QProcess& app = startApp({first}, environment);
    ASSERT_TRUE(test::waitUntil([&] { return QFile(appFile(QStringLiteral("tracks.json"))).size() > 10; }, std::chrono::seconds(60)));
    const QString folder = appFile(QStringLiteral("Instance"));
    const QStringList sockets = QDir(folder).entryList(QDir::System);
    ASSERT_EQ(sockets.size(), 1) << sockets.join(QLatin1Char(' ')).toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(QFile::encodeName(appFolder()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    QProcess& again = startApp({second}, environment);
    ASSERT_TRUE(finish(again));
    EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(appFile(QStringLiteral("tracks.json"))).contains("second.flac"); },
                                std::chrono::seconds(60)));
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(finish(app));
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(DesktopProcessTest, TheInstallTreeHoldsTheProgramsTheDesktopEntryTheIconsAndTheMetainfo)
{
    const QString prefix = scratch(QStringLiteral("prefix"));
    QProcess install;
    install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(VARNO_BUILD_DIR), QStringLiteral("--prefix"), prefix});
    ASSERT_TRUE(finish(install, 60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const QString entry = prefix + QStringLiteral("/share/applications/org.varno.Music.desktop");
    QStringList expected {QStringLiteral("bin/varno"), QStringLiteral("bin/varno-cli"), QStringLiteral("share/applications/org.varno.Music.desktop"),
                          QStringLiteral("share/metainfo/org.varno.Music.metainfo.xml"),
                          QStringLiteral("share/icons/hicolor/scalable/apps/org.varno.Music.svg")};
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/org.varno.Music.png").arg(size);
    for (const QString& file : expected)
        EXPECT_TRUE(QFileInfo(prefix + QLatin1Char('/') + file).isFile()) << file.toStdString();
    EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/bin/varno")).isExecutable());

    // "Open With" offers the app for exactly the formats it plays.
    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(desktop.value(QStringLiteral("Exec")).toString(), QStringLiteral("varno %U"));
    const QString mimeTypes = QString::fromUtf8(test::readFile(entry)).section(QStringLiteral("MimeType="), 1).section(QLatin1Char('\n'), 0, 0);
    EXPECT_EQ(mimeTypes, supportedAudioMimeTypes().join(QLatin1Char(';')) + QLatin1Char(';'));

    if (installed("desktop-file-validate")) {
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        ASSERT_TRUE(finish(validate));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    }
    if (installed("appstreamcli")) {
        QProcess validate;
        validate.start(QStringLiteral("appstreamcli"),
                       {QStringLiteral("validate"), QStringLiteral("--no-net"), prefix + QStringLiteral("/share/metainfo/org.varno.Music.metainfo.xml")});
        ASSERT_TRUE(finish(validate));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    }
}
