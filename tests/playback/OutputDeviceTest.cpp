#include "BootSupport.h"
#include "FakeSinkOutput.h"
#include "TestSupport.h"

#include "platform/FFmpegAudioPlayer.h"
#include "ui/player/PlayerBarRules.h"

#include <QFileInfo>
#include <QSignalSpy>

using namespace varno;

namespace {

// The whole composition root playing to a sound server's sinks that come
// and go under the test.
class OutputDeviceTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        DataFolderTest::SetUp();
        sinks->present = {{QStringLiteral("builtin"), QStringLiteral("Built-in Audio")}, {QStringLiteral("usb-dac"), QStringLiteral("USB DAC")}};
        container = boot();
    }
    void TearDown() override
    {
        container.reset();
        DataFolderTest::TearDown();
    }

    std::unique_ptr<DIContainer> boot()
    {
        return test::bootContainer(std::make_unique<FFmpegAudioPlayerFactory>([sinks = sinks] { return std::make_shared<test::FakeSinkOutput>(sinks); }));
    }

    // What the player bar's banner says.
    std::optional<QString> banner()
    {
        return player::issueMessage(container->queueEngine().lastPlaybackError(), container->queueEngine().lastPersistenceError());
    }

    static Track song(const QString& fixture)
    {
        const QString path = test::fixturePath(fixture);
        return Track(QUuid::createUuid(), FileURL::fromLocalFile(path), QFileInfo(path).fileName(), QFileInfo(path).baseName(), 2.0,
                     Timestamp::fromSecondsSinceReferenceDate(786000000), std::nullopt);
    }

    std::shared_ptr<test::FakeSinkOutput::Sinks> sinks = std::make_shared<test::FakeSinkOutput::Sinks>();
    std::unique_ptr<DIContainer> container;
};

TEST_F(OutputDeviceTest, TheChosenSinkPlaysAndWhenItIsGoneTheDefaultPlaysOnAndTheBannerSaysSoOnce)
{
    AudioEngine& audio = container->audioEngine();
    QueueEngine& queue = container->queueEngine();
    EXPECT_EQ(audio.outputDevices(), (std::vector<AudioEngine::OutputDevice> {{QStringLiteral("builtin"), QStringLiteral("Built-in Audio")},
                                                                             {QStringLiteral("usb-dac"), QStringLiteral("USB DAC")}}));
    audio.setOutputDevice(QStringLiteral("usb-dac"));
    QSignalSpy told(&audio, &AudioEngine::outputDeviceMissing);
    queue.playNow(TrackList {song(QStringLiteral("formats/tagged.flac")), song(QStringLiteral("formats/tagged.mp3")),
                             song(QStringLiteral("formats/tagged.ogg")), song(QStringLiteral("formats/tagged.wav"))});
    EXPECT_EQ(sinks->streams, QStringList {QStringLiteral("usb-dac")});
    EXPECT_FALSE(banner());

    // The DAC is unplugged: the next song plays on the default sink, and the
    // banner says why.
    sinks->present.pop_back();
    queue.advanceToNext();
    EXPECT_EQ(sinks->streams.back(), QString());
    EXPECT_EQ(audio.playbackState(), PlaybackState::Playing);
    EXPECT_EQ(banner(), QStringLiteral("The output device \u201Cusb-dac\u201D is not connected; the system's default output is playing instead."));

    // Once: the banner dismissed, the songs after it play on the default
    // without a word, the DAC still the choice.
    queue.clearReportedErrors();
    queue.advanceToNext();
    EXPECT_EQ(sinks->streams.back(), QString());
    EXPECT_FALSE(banner());
    EXPECT_EQ(told.count(), 1);
    EXPECT_EQ(audio.outputDevice(), QStringLiteral("usb-dac"));

    // Plugged in again, it plays there.
    sinks->present.push_back({QStringLiteral("usb-dac"), QStringLiteral("USB DAC")});
    queue.advanceToNext();
    EXPECT_EQ(sinks->streams.back(), QStringLiteral("usb-dac"));
    EXPECT_FALSE(banner());
}

TEST_F(OutputDeviceTest, TheChoiceIsKeptForTheNextRun)
{
    container->audioEngine().setOutputDevice(QStringLiteral("usb-dac"));
    container.reset();
    container = boot();
    EXPECT_EQ(container->audioEngine().outputDevice(), QStringLiteral("usb-dac"));
    container->queueEngine().playNow(TrackList {song(QStringLiteral("formats/tagged.flac"))});
    EXPECT_EQ(sinks->streams, QStringList {QStringLiteral("usb-dac")});
}

} // namespace
