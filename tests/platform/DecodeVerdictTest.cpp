// Damaged files get one verdict wherever they are decoded: the player, the
// PCM reader and the waveform reader each play the same frames of a file, or
// each fail on it with the same reason.

#include "TestSupport.h"

#include "AudioTestSupport.h"

#include "platform/FFmpegAudioFileReader.h"
#include "platform/FFmpegAudioPlayer.h"
#include "platform/FFmpegPcmReader.h"
#include "platform/MediaReader.h"
#include "platform/NullAudioOutput.h"

#include <QFileInfo>
#include <QTest>

#include <cctype>
#include <cmath>
#include <ostream>

using namespace varno;

namespace {

// What a decoder made of a file: the failure's reason (absent when the file
// played to its end) and the frames delivered before the end or the failure.
struct Verdict {
    std::optional<QString> failure;
    std::int64_t frames = 0;

    bool operator==(const Verdict&) const = default;
};

void PrintTo(const Verdict& verdict, std::ostream* os)
{
    if (verdict.failure)
        *os << "fails with \"" << verdict.failure->toStdString() << "\" after " << verdict.frames << " frames";
    else
        *os << "plays " << verdict.frames << " frames";
}

// Plays the file to its end on a null output many times faster than real
// time; a failure's reason is the one the player prints.
Verdict playerVerdict(const QString& path)
{
    const auto output = std::make_shared<audio::NullAudioOutput>(50.0);
    std::unique_ptr<FFmpegAudioPlayer> player;
    try {
        player = std::make_unique<FFmpegAudioPlayer>(path, output);
    } catch (const MediaReadError& error) {
        return {error.reason(), 0};
    }
    test::RecordingObserver observer;
    player->setObserver(&observer);
    bool finished = false;
    const QString printed = test::diagnosticsOf([&] {
        finished = player->play() && QTest::qWaitFor([&] { return !observer.finishes.empty(); }, 10000);
    });
    if (finished && observer.finishes.front().successfully)
        return {std::nullopt, static_cast<std::int64_t>(output->framesConsumed())};
    const QString name = QFileInfo(path).fileName();
    QString reason = printed.trimmed();
    for (const QString& prefix : {QStringLiteral("Playback of %1 stopped: ").arg(name), QStringLiteral("Cannot play %1: ").arg(name)}) {
        if (reason.startsWith(prefix))
            reason = reason.mid(prefix.size());
    }
    return {reason.isEmpty() ? QStringLiteral("<the player neither finished nor said why>") : reason,
            static_cast<std::int64_t>(output->framesConsumed())};
}

Verdict pcmReaderVerdict(const QString& path)
{
    try {
        FFmpegPcmReader reader(path);
        if (!reader.hasAudioTrack())
            return {QStringLiteral("<no audio track>"), 0};
        if (reader.addOutput() != FFmpegPcmReader::OutputResult::Added || !reader.startReading())
            return {reader.error().value_or(QStringLiteral("<no reason given>")), 0};
        std::int64_t frames = 0;
        while (const std::optional<PcmBlock> block = reader.copyNextBlock())
            frames += block->frameCount;
        if (reader.status() == FFmpegPcmReader::Status::Failed)
            return {reader.error().value_or(QStringLiteral("<no reason given>")), frames};
        return {std::nullopt, frames};
    } catch (const MediaReadError& error) {
        return {error.reason(), 0};
    }
}

// Reads a frame at a time, so that the frames delivered before a failure
// are counted exactly; the generator's larger reads get the same samples.
Verdict waveformReaderVerdict(const QString& path)
{
    std::int64_t frames = 0;
    try {
        FFmpegAudioFileReader reader(path);
        FloatPcmBuffer buffer(reader.channelCount(), 1);
        while (reader.read(buffer, 1) == 1)
            ++frames;
        return {std::nullopt, frames};
    } catch (const MediaReadError& error) {
        return {error.reason(), frames};
    }
}

struct DamagedFile {
    const char* fixture;
    // The reason all three give; null when the file plays to its end.
    const char* failure;
    // Audio that comes out before the end or the failure, at the least.
    double atLeastSeconds;
};

void PrintTo(const DamagedFile& file, std::ostream* os)
{
    *os << file.fixture;
}

class DecodeVerdictTest : public testing::TestWithParam<DamagedFile> {};

} // namespace

TEST_P(DecodeVerdictTest, playerPcmReaderAndWaveformReaderReachTheSameVerdict)
{
    const DamagedFile& file = GetParam();
    const QString path = test::fixturePath(QString::fromUtf8(file.fixture));
    const Verdict player = playerVerdict(path);
    EXPECT_EQ(player.failure, file.failure ? std::optional(QString::fromUtf8(file.failure)) : std::nullopt);
    EXPECT_GE(player.frames, std::llround(file.atLeastSeconds * 44100));
    EXPECT_EQ(pcmReaderVerdict(path), player);
    EXPECT_EQ(waveformReaderVerdict(path), player);
}

// All 4 s stereo sines at 44.1 kHz but for the broken ones.
INSTANTIATE_TEST_SUITE_P(DamagedFiles, DecodeVerdictTest,
                         testing::Values(
                             // The intact original of the damaged ones, for reference.
                             DamagedFile {"damaged/intact.m4a", nullptr, 3.9},
                             // Cut off half-way: what is there plays, and the end comes early.
                             DamagedFile {"damaged/cut-off.flac", nullptr, 1.0},
                             DamagedFile {"damaged/cut-off.mp3", nullptr, 1.5},
                             // A stretch of garbage costs only the packets it hit.
                             DamagedFile {"damaged/garbage-middle.mp3", nullptr, 3.0},
                             // The AAC decoder says "not implemented" about some of the
                             // garbage; that is a damaged packet like any other.
                             DamagedFile {"damaged/not-implemented.m4a", nullptr, 3.5},
                             // Garbage from the middle on: the first half plays, then
                             // the stream counts as broken.
                             DamagedFile {"bad/garbled-tail.m4a", "the audio data is damaged", 1.5},
                             // A valid container whose every packet is garbage.
                             DamagedFile {"damaged/no-audio.m4a", "the audio data is damaged", 0.0},
                             // An audio stream found in noise, with nothing stated about it.
                             DamagedFile {"bad/random.flac", "its audio format is not stated", 0.0},
                             DamagedFile {"bad/empty.mp3", "the file is empty", 0.0}),
                         [](const testing::TestParamInfo<DamagedFile>& info) {
                             std::string name = info.param.fixture;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             }
                             return name;
                         });
