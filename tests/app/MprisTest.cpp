#include "PrivateSessionBus.h"
#include "TestSupport.h"
#include "UiHarness.h"
#include "FakeAudioPlayer.h"

#include "app/PlaybackRemote.h"
#include "media/OstrelArtworkCache.h"
#include "playback/OstrelAudioEngine.h"
#include "playback/OstrelQueueEngine.h"

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

using namespace varno;

namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kService = "org.mpris.MediaPlayer2.varno";

QByteArray redSquare()
{
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return png;
}

// The signals a client on the bus heard from the player.
class SignalLog final : public QObject {
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

    // Every property named in any change heard so far.
    QVariant lastChange(const QString& property) const
    {
        for (auto it = changes.crbegin(); it != changes.crend(); ++it)
            if (it->contains(property))
                return it->value(property);
        return {};
    }

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == QLatin1String(kPlayer))
            changes.append(changed);
    }
    void seeked(qlonglong position) { seeks.append(position); }
};

// The player's engines over fake players (200-second songs whose clock the
// test moves), published on a private bus, and a client on its own
// connection that calls asynchronously: the service answers on this
// thread's event loop, so a blocking call would wait for itself.
class MprisTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        if (!bus.isRunning())
            GTEST_SKIP() << "dbus-daemon is not installed";
        audio = std::make_unique<OstrelAudioEngine>(std::make_unique<test::FakeAudioPlayerFactory>(players));
        queue.setAudioEngine(audio.get());
        artwork = std::make_unique<OstrelArtworkCache>(CacheMetrics {1 << 20, 1 << 20}, scratch(QStringLiteral("covers")));
        PlaybackRemote::Hooks hooks;
        hooks.quit = [this] { ++quits; };
        hooks.raise = [this] { ++raises; };
        hooks.openUris = [this](const QStringList& uris) { opened += uris; };
        MprisIdentity identity {QStringLiteral("varno"), QStringLiteral("VARNO MUSIC"), QStringLiteral("org.varno.Music"), true,
                                {QStringLiteral("file")}, {QStringLiteral("audio/mpeg")}};
        remote = std::make_unique<PlaybackRemote>(bus.connect(), identity, queue, *audio, artwork.get(), scratch(QStringLiteral("now-playing")),
                                                  hooks);
        ASSERT_TRUE(remote->publish());
        client = bus.connect();
        client.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("PropertiesChanged"), &log, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        client.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kPlayer), QStringLiteral("Seeked"), &log,
                       SLOT(seeked(qlonglong)));
    }
    void TearDown() override
    {
        remote.reset();
        if (artwork)
            artwork->waitForIdle();
        QCoreApplication::processEvents();
        artwork.reset();
        DataFolderTest::TearDown();
    }

    // A song file in the scratch folder, or in `folder` below it.
    Track song(const QString& title, const QString& folder = {})
    {
        if (!folder.isEmpty())
            QDir().mkpath(scratch(folder));
        const QString path = scratch((folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + title + QStringLiteral(".mp3"));
        test::writeFile(path, "not really audio");
        Track track = test::makeTrack(title);
        track.fileURL = FileURL::fromLocalFile(path);
        track.duration = 200;
        track.artist = title + QStringLiteral(" Artist");
        track.album = QStringLiteral("Album");
        players->scripts.insert(path, test::FakePlayerScript {});
        return track;
    }
    TrackList songs(const QStringList& titles)
    {
        TrackList list;
        for (const QString& title : titles)
            list.append(std::make_shared<const Track>(song(title)));
        return list;
    }

    QDBusMessage send(QDBusMessage message)
    {
        QDBusPendingCall pending = client.asyncCall(message, 5000);
        EXPECT_TRUE(test::waitUntil([&] { return pending.isFinished(); }));
        EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
        return pending.reply();
    }
    QDBusMessage call(const QString& method, const QVariantList& arguments = {}, const char* interface = kPlayer)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                              QString::fromLatin1(interface), method);
        message.setArguments(arguments);
        return send(message);
    }
    QVariant property(const QString& name, const char* interface = kPlayer)
    {
        const QDBusMessage reply = call(QStringLiteral("Get"), {QString::fromLatin1(interface), name}, "org.freedesktop.DBus.Properties");
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    void setProperty(const QString& name, const QVariant& value)
    {
        call(QStringLiteral("Set"), {QString::fromLatin1(kPlayer), name, QVariant::fromValue(QDBusVariant(value))},
             "org.freedesktop.DBus.Properties");
    }
    QVariantMap metadata() { return qdbus_cast<QVariantMap>(property(QStringLiteral("Metadata")).value<QDBusArgument>()); }
    QString trackPath(const Track& track) { return MprisService::trackObjectPath(track.id.toString(QUuid::WithoutBraces)); }
    // Runs a command-line client against the private bus, when installed.
    std::optional<QString> playerctl(const QStringList& arguments)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty())
            return std::nullopt;
        QProcess process;
        process.setProcessEnvironment(bus.environment());
        process.start(QStringLiteral("playerctl"), QStringList {QStringLiteral("--player=varno")} + arguments);
        EXPECT_TRUE(test::waitUntil([&] { return process.state() == QProcess::NotRunning; }));
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    test::PrivateSessionBus bus;
    std::shared_ptr<test::FakeAudioPlayerFactory::Shared> players = std::make_shared<test::FakeAudioPlayerFactory::Shared>();
    std::unique_ptr<OstrelAudioEngine> audio;
    OstrelQueueEngine queue;
    std::unique_ptr<OstrelArtworkCache> artwork;
    std::unique_ptr<PlaybackRemote> remote;
    QDBusConnection client {QString()};
    SignalLog log;
    int quits = 0;
    int raises = 0;
    QStringList opened;
};

} // namespace

TEST_F(MprisTest, TheDesktopSeesWhoThePlayerIsAndWhatItPlays)
{
    EXPECT_EQ(property(QStringLiteral("Identity"), "org.mpris.MediaPlayer2").toString(), QStringLiteral("VARNO MUSIC"));
    EXPECT_EQ(property(QStringLiteral("DesktopEntry"), "org.mpris.MediaPlayer2").toString(), QStringLiteral("org.varno.Music"));
    EXPECT_EQ(property(QStringLiteral("SupportedUriSchemes"), "org.mpris.MediaPlayer2").toStringList(), QStringList {QStringLiteral("file")});
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    EXPECT_EQ(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
              QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));

    const TrackList list = songs({QStringLiteral("First"), QStringLiteral("Second")});
    queue.playNow(list, 0);
    ASSERT_TRUE(test::waitUntil([&] { return log.lastChange(QStringLiteral("PlaybackStatus")) == QStringLiteral("Playing"); }));
    const QVariantMap shown = metadata();
    EXPECT_EQ(shown.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(), trackPath(list[0]));
    EXPECT_EQ(shown.value(QStringLiteral("mpris:length")).metaType(), QMetaType::fromType<qlonglong>());
    EXPECT_EQ(shown.value(QStringLiteral("mpris:length")).toLongLong(), 200000000);
    EXPECT_EQ(shown.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("First"));
    EXPECT_EQ(shown.value(QStringLiteral("xesam:artist")).toStringList(), QStringList {QStringLiteral("First Artist")});
    EXPECT_EQ(shown.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Album"));
    EXPECT_TRUE(property(QStringLiteral("CanGoNext")).toBool());
    EXPECT_TRUE(property(QStringLiteral("CanSeek")).toBool());

    if (const std::optional<QString> status = playerctl({QStringLiteral("status")})) {
        EXPECT_EQ(*status, QStringLiteral("Playing"));
        EXPECT_EQ(*playerctl({QStringLiteral("metadata"), QStringLiteral("--format"), QStringLiteral("{{artist}} - {{title}}")}),
                  QStringLiteral("First Artist - First"));
        playerctl({QStringLiteral("next")});
        EXPECT_TRUE(test::waitUntil([&] { return queue.currentTrack() && queue.currentTrack()->title == QStringLiteral("Second"); }));
    }
}

TEST_F(MprisTest, CommandsMoveTheEnginesAndEveryChangeIsAnnounced)
{
    const TrackList list = songs({QStringLiteral("First"), QStringLiteral("Second")});
    queue.playNow(list, 0);

    call(QStringLiteral("PlayPause"));
    EXPECT_EQ(audio->playbackState(), PlaybackState::Paused);
    ASSERT_TRUE(test::waitUntil([&] { return log.lastChange(QStringLiteral("PlaybackStatus")) == QStringLiteral("Paused"); }));

    call(QStringLiteral("Next"));
    ASSERT_TRUE(queue.currentTrack());
    EXPECT_EQ(queue.currentTrack()->title, QStringLiteral("Second"));
    const auto announcedTitle = [&] {
        return qdbus_cast<QVariantMap>(log.lastChange(QStringLiteral("Metadata")).value<QDBusArgument>()).value(QStringLiteral("xesam:title"));
    };
    ASSERT_TRUE(test::waitUntil([&] { return announcedTitle() == QStringLiteral("Second"); }));
    EXPECT_FALSE(property(QStringLiteral("CanGoNext")).toBool());

    call(QStringLiteral("Seek"), {qlonglong(5000000)});
    EXPECT_DOUBLE_EQ(audio->currentTime(), 5.0);
    call(QStringLiteral("SetPosition"), {QVariant::fromValue(QDBusObjectPath(trackPath(list[1]))), qlonglong(30000000)});
    EXPECT_DOUBLE_EQ(audio->currentTime(), 30.0);
    EXPECT_EQ(property(QStringLiteral("Position")).toLongLong(), 30000000);
    // A position for a song that is not the current one is ignored.
    call(QStringLiteral("SetPosition"), {QVariant::fromValue(QDBusObjectPath(trackPath(list[0]))), qlonglong(10000000)});
    EXPECT_DOUBLE_EQ(audio->currentTime(), 30.0);
    ASSERT_TRUE(test::waitUntil([&] { return log.seeks.size() == 2; }));
    EXPECT_EQ(log.seeks, (QList<qlonglong> {5000000, 30000000}));

    setProperty(QStringLiteral("LoopStatus"), QStringLiteral("Playlist"));
    setProperty(QStringLiteral("Shuffle"), true);
    setProperty(QStringLiteral("Volume"), 0.25);
    EXPECT_EQ(queue.repeatMode(), RepeatMode::All);
    EXPECT_EQ(queue.shuffleMode(), ShuffleMode::Standard);
    EXPECT_FLOAT_EQ(audio->volume(), 0.25f);
    ASSERT_TRUE(test::waitUntil([&] { return log.lastChange(QStringLiteral("Volume")).isValid(); }));
    EXPECT_EQ(log.lastChange(QStringLiteral("LoopStatus")), QStringLiteral("Playlist"));
    EXPECT_EQ(log.lastChange(QStringLiteral("Shuffle")), true);
    EXPECT_EQ(log.lastChange(QStringLiteral("CanGoNext")), true);

    call(QStringLiteral("Previous"));
    EXPECT_EQ(audio->currentTime(), 0.0) << "past three seconds, Previous restarts the song";
    call(QStringLiteral("Raise"), {}, "org.mpris.MediaPlayer2");
    call(QStringLiteral("Quit"), {}, "org.mpris.MediaPlayer2");
    call(QStringLiteral("OpenUri"), {QStringLiteral("file:///music/a.flac")});
    call(QStringLiteral("OpenUri"), {QStringLiteral("https://example.org/a.flac")});
    EXPECT_EQ(raises, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(opened, QStringList {QStringLiteral("file:///music/a.flac")});
}

TEST_F(MprisTest, TheCoverIsOfferedAsAPictureFile)
{
    const TrackList list = songs({QStringLiteral("Covered")});
    const QByteArray png = redSquare();
    test::await(artwork->storeArtwork(png, list[0]));

    queue.playNow(list, 0);
    ASSERT_TRUE(test::waitUntil([&] { return metadata().contains(QStringLiteral("mpris:artUrl")); }));
    const QString file = QUrl(metadata().value(QStringLiteral("mpris:artUrl")).toString()).toLocalFile();
    EXPECT_TRUE(file.endsWith(QStringLiteral(".png")));
    EXPECT_EQ(test::readFile(file), png);
}

TEST_F(MprisTest, ASongWithoutACoverOfItsOwnOffersThePictureBesideItsFile)
{
    TrackList list;
    list.append(std::make_shared<const Track>(song(QStringLiteral("Beside"), QStringLiteral("Album"))));
    QImage picture(12, 12, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const QString cover = scratch(QStringLiteral("Album/folder.jpg"));
    ASSERT_TRUE(picture.save(cover, "JPG"));

    queue.playNow(list, 0);
    ASSERT_TRUE(test::waitUntil([&] { return metadata().contains(QStringLiteral("mpris:artUrl")); }));
    const QString file = QUrl(metadata().value(QStringLiteral("mpris:artUrl")).toString()).toLocalFile();
    EXPECT_TRUE(file.endsWith(QStringLiteral(".jpeg"))) << file.toStdString();
    EXPECT_EQ(test::readFile(file), test::readFile(cover));
}

TEST_F(MprisTest, TheCoverFileIsPrivateAndALinkPlantedInItsPlaceIsReplacedNotFollowed)
{
    const TrackList list = songs({QStringLiteral("Covered")});
    const QByteArray png = redSquare();
    test::await(artwork->storeArtwork(png, list[0]));
    // The folder as an older version left it, with a link where this song's
    // cover goes that leads to a file of the user's outside the cache.
    const QString folder = scratch(QStringLiteral("now-playing"));
    QDir().mkpath(folder);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    const QString outside = scratch(QStringLiteral("outside.txt"));
    test::writeFile(outside, "precious");
    const QString cover = folder + QStringLiteral("/cover-%1.png").arg(list[0].id.toString(QUuid::WithoutBraces));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(cover).constData()), 0);

    queue.playNow(list, 0);
    ASSERT_TRUE(test::waitUntil([&] { return metadata().contains(QStringLiteral("mpris:artUrl")); }));
    EXPECT_EQ(QUrl(metadata().value(QStringLiteral("mpris:artUrl")).toString()).toLocalFile(), cover);
    EXPECT_EQ(test::readFile(outside), QByteArray("precious"));
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(cover).constData(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(test::readFile(cover), png);
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST_F(MprisTest, WithoutABusThePlayerSaysSoInOneLineAndPlaysOn)
{
    QDBusConnection nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=") + scratch(QStringLiteral("no-bus")), QStringLiteral("nowhere"));
    MprisIdentity identity;
    identity.busName = QStringLiteral("varno");
    PlaybackRemote offline(nowhere, identity, queue, *audio, nullptr, QString(), {});
    bool published = true;
    const QString diagnostics = test::diagnosticsOf([&] { published = offline.publish(); });
    EXPECT_FALSE(published);
    EXPECT_EQ(diagnostics.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(diagnostics.startsWith(QStringLiteral("No session bus: "))) << diagnostics.toStdString();

    queue.playNow(songs({QStringLiteral("Still plays")}), 0);
    EXPECT_EQ(audio->playbackState(), PlaybackState::Playing);
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

#include "MprisTest.moc"
